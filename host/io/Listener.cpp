#include "Listener.h"

#include <AppDefs.h>
#include <Errors.h>
#include <Looper.h>

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <sys/socket.h>
#include <unistd.h>


// Enough for a burst of callers while the looper is busy with one.
static const int kListenBacklog = 64;
static const int kCallerSendBuffer = 32 * 1024;


static uint16
PortOf(const sockaddr_storage& address)
{
	return ntohs(address.ss_family == AF_INET6
		? ((const sockaddr_in6*)&address)->sin6_port
		: ((const sockaddr_in*)&address)->sin_port);
}


// Without the port: the board counts callers by their address.
static BString
AddressOf(const sockaddr_storage& peer)
{
	char text[INET6_ADDRSTRLEN] = "?";
	if (peer.ss_family == AF_INET6) {
		inet_ntop(AF_INET6, &((const sockaddr_in6*)&peer)->sin6_addr, text,
			sizeof(text));
	} else if (peer.ss_family == AF_INET) {
		inet_ntop(AF_INET, &((const sockaddr_in*)&peer)->sin_addr, text,
			sizeof(text));
	}
	return BString(text);
}


static void
TuneCaller(int peer)
{
	// Keys are small and must not wait for more to fill a segment.
	int yes = 1;
	setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
	// A fixed send buffer: left to grow, the kernel would take megabytes
	// for a caller who does not read, where the door should wait instead.
	int sendBuffer = kCallerSendBuffer;
	setsockopt(peer, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof(sendBuffer));
}


static int
BoundSocket(const addrinfo& entry, status_t* status)
{
	int listener = socket(entry.ai_family,
		entry.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, entry.ai_protocol);
	if (listener < 0) {
		*status = status_from_errno(errno);
		return -1;
	}
	int yes = 1;
	setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
	if (bind(listener, entry.ai_addr, entry.ai_addrlen) != 0
		|| listen(listener, kListenBacklog) != 0) {
		*status = status_from_errno(errno);
		close(listener);
		return -1;
	}
	return listener;
}


Listener::Listener(BLooper& looper, AcceptHook accepted, FailureHook failed)
	:
	fLooper(looper),
	fAccepted(std::move(accepted)),
	fFailed(std::move(failed))
{
}


Listener::~Listener()
{
	Stop();
}


status_t
Listener::ListenOnTcp(const char* address, uint16 port)
{
	if (fDescriptor >= 0)
		return B_NOT_ALLOWED;
	addrinfo hints = {};
	hints.ai_family = AF_UNSPEC;
	hints.ai_socktype = SOCK_STREAM;
	hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
	addrinfo* found = NULL;
	char service[8];
	snprintf(service, sizeof(service), "%u", (unsigned)port);
	if (getaddrinfo(address, service, &hints, &found) != 0)
		return B_NAME_NOT_FOUND;

	status_t status = B_ERROR;
	int listener = -1;
	for (addrinfo* entry = found; entry != NULL && listener < 0;
			entry = entry->ai_next) {
		listener = BoundSocket(*entry, &status);
	}
	freeaddrinfo(found);
	if (listener < 0)
		return status;

	sockaddr_storage bound = {};
	socklen_t length = sizeof(bound);
	getsockname(listener, (sockaddr*)&bound, &length);
	status = _Watch(listener);
	if (status != B_OK)
		return status;
	fPort = PortOf(bound);
	fTcp = true;
	return B_OK;
}


status_t
Listener::Adopt(int descriptor)
{
	if (fDescriptor >= 0)
		return B_NOT_ALLOWED;
	if (descriptor < 0)
		return B_BAD_VALUE;
	return _Watch(descriptor);
}


void
Listener::Stop()
{
	if (fDescriptor < 0)
		return;
	fLooper.UnwatchDescriptor(fDescriptor);
	close(fDescriptor);
	fDescriptor = -1;
}


// #pragma mark -


// A socket the looper cannot watch is of no use: it is closed at once.
status_t
Listener::_Watch(int descriptor)
{
	status_t status = fLooper.WatchDescriptor(descriptor,
		B_DESCRIPTOR_READABLE, [this](int, uint32) { _AcceptAll(); });
	if (status != B_OK) {
		close(descriptor);
		return status;
	}
	fDescriptor = descriptor;
	return B_OK;
}


void
Listener::_AcceptAll()
{
	// The hook may stop the listener (a host shutting down); the loop
	// ends with it.
	while (fDescriptor >= 0) {
		sockaddr_storage peer = {};
		socklen_t length = sizeof(peer);
		int descriptor = accept4(fDescriptor, (sockaddr*)&peer, &length,
			SOCK_NONBLOCK | SOCK_CLOEXEC);
		if (descriptor < 0 && errno == EINTR)
			continue;
		if (descriptor < 0) {
			if (errno != EAGAIN && errno != EWOULDBLOCK && fFailed)
				fFailed(status_from_errno(errno));
			return;
		}
		BString address;
		if (fTcp) {
			TuneCaller(descriptor);
			address = AddressOf(peer);
		}
		fAccepted(descriptor, address);
	}
}
