#include "Posix.h"

#include <Errors.h>

#include <OS.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace BPrivate {


namespace posix {


bigtime_t
MonotonicTime()
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return bigtime_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}


Descriptor&
Descriptor::operator=(Descriptor&& other) noexcept
{
	if (this != &other) {
		Close();
		fFD = other.Release();
	}
	return *this;
}


int
Descriptor::Release()
{
	int fd = fFD;
	fFD = -1;
	return fd;
}


void
Descriptor::Close()
{
	if (fFD >= 0)
		close(fFD);
	fFD = -1;
}


status_t
LockFile(int folder, const char* name, Descriptor* lock)
{
	Descriptor file(openat(folder, name, O_RDWR | O_CREAT | O_CLOEXEC, 0600));
	if (!file.IsValid())
		return status_from_errno(errno);
	int result;
	do {
		result = flock(file.Get(), LOCK_EX | LOCK_NB);
	} while (result != 0 && errno == EINTR);
	if (result != 0)
		return errno == EWOULDBLOCK ? B_NAME_IN_USE : status_from_errno(errno);
	*lock = std::move(file);
	return B_OK;
}


status_t
OpenFolder(const char* path, Descriptor* folder)
{
	Descriptor opened(open(path, O_PATH | O_DIRECTORY | O_CLOEXEC));
	if (!opened.IsValid())
		return status_from_errno(errno);
	*folder = std::move(opened);
	return B_OK;
}


status_t
Accept(int listener, Descriptor* socket)
{
	while (true) {
		int fd = accept4(listener, NULL, NULL, SOCK_NONBLOCK | SOCK_CLOEXEC);
		if (fd >= 0) {
			*socket = Descriptor(fd);
			return B_OK;
		}
		if (errno == EINTR || errno == ECONNABORTED)
			continue;
		if (errno == EAGAIN || errno == EWOULDBLOCK)
			return B_WOULD_BLOCK;
		return status_from_errno(errno);
	}
}


status_t
OpenSpare(Descriptor* spare)
{
	Descriptor opened(open("/dev/null", O_RDONLY | O_CLOEXEC));
	if (!opened.IsValid())
		return status_from_errno(errno);
	*spare = std::move(opened);
	return B_OK;
}


// Waits for the events until the deadline; B_TIMED_OUT after it.
static status_t
WaitFor(int socket, short events, bigtime_t deadline)
{
	while (true) {
		int timeout = -1;
		if (deadline != B_INFINITE_TIMEOUT) {
			bigtime_t left = deadline - MonotonicTime();
			if (left <= 0)
				return B_TIMED_OUT;
			timeout = int((left + 999) / 1000);
		}
		pollfd entry = {socket, events, 0};
		int result = poll(&entry, 1, timeout);
		if (result > 0)
			return B_OK;
		if (result == 0)
			return B_TIMED_OUT;
		if (errno != EINTR)
			return status_from_errno(errno);
	}
}


static bigtime_t
DeadlineAfter(bigtime_t timeout)
{
	if (timeout == B_INFINITE_TIMEOUT)
		return B_INFINITE_TIMEOUT;
	bigtime_t now = MonotonicTime();
	if (timeout > B_INFINITE_TIMEOUT - now)
		return B_INFINITE_TIMEOUT;
	return now + timeout;
}


status_t
SendAll(int socket, const char* data, size_t size, bigtime_t timeout)
{
	bigtime_t deadline = DeadlineAfter(timeout);
	while (size > 0) {
		ssize_t sent = send(socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
		if (sent > 0) {
			data += sent;
			size -= sent;
			continue;
		}
		if (sent < 0 && errno == EINTR)
			continue;
		if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
			status_t status = WaitFor(socket, POLLOUT, deadline);
			if (status != B_OK)
				return status;
			continue;
		}
		return B_BAD_PORT_ID;
	}
	return B_OK;
}


status_t
SendSome(int socket, const char* data, size_t size, size_t* sent)
{
	*sent = 0;
	while (*sent < size) {
		ssize_t count = send(socket, data + *sent, size - *sent,
			MSG_NOSIGNAL | MSG_DONTWAIT);
		if (count > 0) {
			*sent += size_t(count);
			continue;
		}
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
			return B_OK;
		return B_BAD_PORT_ID;
	}
	return B_OK;
}


status_t
Receive(int socket, char* buffer, size_t size, bigtime_t timeout,
	size_t* received)
{
	if (timeout != B_INFINITE_TIMEOUT) {
		status_t status = WaitFor(socket, POLLIN, DeadlineAfter(timeout));
		if (status != B_OK)
			return status;
	}
	while (true) {
		ssize_t result = recv(socket, buffer, size, 0);
		if (result > 0) {
			*received = size_t(result);
			return B_OK;
		}
		if (result == 0)
			return B_BAD_PORT_ID;
		if (errno == EINTR)
			continue;
		if (errno == EAGAIN || errno == EWOULDBLOCK)
			return B_WOULD_BLOCK;
		return B_BAD_PORT_ID;
	}
}


void
Shutdown(int socket)
{
	shutdown(socket, SHUT_RDWR);
}


bool
IsHungUp(int socket)
{
	pollfd entry = {socket, POLLRDHUP, 0};
	return poll(&entry, 1, 0) > 0
		&& (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}


pid_t
PeerProcess(int socket)
{
	ucred credentials;
	socklen_t length = sizeof(credentials);
	if (getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
		return -1;
	return credentials.pid;
}


}	// namespace posix


}	// namespace BPrivate
