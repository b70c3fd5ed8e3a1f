#include "TcpListenSocket.h"

#include <Errors.h>

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>


// Enough for a burst of callers while the looper is busy with one.
static const int kListenBacklog = 64;


status_t
ListenOnTcp(const char* address, uint16 port, int* descriptor,
	uint16* boundPort)
{
	sockaddr_storage storage = {};
	socklen_t length = 0;
	sockaddr_in* v4 = reinterpret_cast<sockaddr_in*>(&storage);
	sockaddr_in6* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
	if (inet_pton(AF_INET, address, &v4->sin_addr) == 1) {
		v4->sin_family = AF_INET;
		v4->sin_port = htons(port);
		length = sizeof(*v4);
	} else if (inet_pton(AF_INET6, address, &v6->sin6_addr) == 1) {
		v6->sin6_family = AF_INET6;
		v6->sin6_port = htons(port);
		length = sizeof(*v6);
	} else
		return B_BAD_VALUE;

	int fd = socket(storage.ss_family,
		SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return status_from_errno(errno);
	int on = 1;
	setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
	if (bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0
		|| listen(fd, kListenBacklog) != 0) {
		status_t status = status_from_errno(errno);
		close(fd);
		return status;
	}
	sockaddr_storage bound = {};
	socklen_t boundLength = sizeof(bound);
	getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
	if (boundPort != nullptr) {
		*boundPort = bound.ss_family == AF_INET
			? ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port)
			: ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
	}
	*descriptor = fd;
	return B_OK;
}


status_t
AcceptTcpCaller(int listener, int* descriptor, BString* address)
{
	sockaddr_storage peer = {};
	socklen_t length = sizeof(peer);
	int fd;
	do {
		fd = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
			SOCK_NONBLOCK | SOCK_CLOEXEC);
	} while (fd < 0 && errno == EINTR);
	if (fd < 0) {
		if (errno == EAGAIN || errno == EWOULDBLOCK)
			return B_WOULD_BLOCK;
		return status_from_errno(errno);
	}
	// Keys are small and each one should go at once.
	int on = 1;
	setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));

	char host[INET6_ADDRSTRLEN] = "?";
	uint16 port = 0;
	if (peer.ss_family == AF_INET) {
		sockaddr_in* v4 = reinterpret_cast<sockaddr_in*>(&peer);
		inet_ntop(AF_INET, &v4->sin_addr, host, sizeof(host));
		port = ntohs(v4->sin_port);
	} else if (peer.ss_family == AF_INET6) {
		sockaddr_in6* v6 = reinterpret_cast<sockaddr_in6*>(&peer);
		inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof(host));
		port = ntohs(v6->sin6_port);
	}
	if (address != nullptr) {
		address->SetTo(host);
		*address << ":" << uint32(port);
	}
	*descriptor = fd;
	return B_OK;
}
