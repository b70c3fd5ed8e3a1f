#include "TcpListenSocket.h"

#include <Errors.h>

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>


// Enough for a burst of callers while the looper is busy with one.
static const int kListenBacklog = 64;
static const int kCallerSendBuffer = 32 * 1024;


status_t
ListenOnTcp(const char* address, uint16 port, int* descriptor,
	uint16* boundPort)
{
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
	for (addrinfo* entry = found; entry != NULL; entry = entry->ai_next) {
		int listener = socket(entry->ai_family,
			entry->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
			entry->ai_protocol);
		if (listener < 0) {
			status = status_from_errno(errno);
			continue;
		}
		int yes = 1;
		setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
		if (bind(listener, entry->ai_addr, entry->ai_addrlen) != 0
			|| listen(listener, kListenBacklog) != 0) {
			status = status_from_errno(errno);
			close(listener);
			continue;
		}
		sockaddr_storage bound = {};
		socklen_t length = sizeof(bound);
		getsockname(listener, (sockaddr*)&bound, &length);
		if (boundPort != NULL) {
			*boundPort = ntohs(bound.ss_family == AF_INET6
				? ((sockaddr_in6*)&bound)->sin6_port
				: ((sockaddr_in*)&bound)->sin_port);
		}
		*descriptor = listener;
		freeaddrinfo(found);
		return B_OK;
	}
	freeaddrinfo(found);
	return status;
}


status_t
AcceptTcpCaller(int listener, int* descriptor, BString* address)
{
	sockaddr_storage peer = {};
	socklen_t length = sizeof(peer);
	int caller;
	do {
		caller = accept4(listener, (sockaddr*)&peer, &length,
			SOCK_NONBLOCK | SOCK_CLOEXEC);
	} while (caller < 0 && errno == EINTR);
	if (caller < 0) {
		return errno == EAGAIN || errno == EWOULDBLOCK ? B_WOULD_BLOCK
			: status_from_errno(errno);
	}
	// Keys are small and must not wait for more to fill a segment.
	int yes = 1;
	setsockopt(caller, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
	// A fixed send buffer: left to grow, the kernel would take megabytes
	// for a caller who does not read, where the door should wait instead.
	int sendBuffer = kCallerSendBuffer;
	setsockopt(caller, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof(sendBuffer));

	char text[INET6_ADDRSTRLEN] = "?";
	if (peer.ss_family == AF_INET6) {
		inet_ntop(AF_INET6, &((sockaddr_in6*)&peer)->sin6_addr, text,
			sizeof(text));
	} else if (peer.ss_family == AF_INET) {
		inet_ntop(AF_INET, &((sockaddr_in*)&peer)->sin_addr, text,
			sizeof(text));
	}
	if (address != NULL)
		address->SetTo(text);
	*descriptor = caller;
	return B_OK;
}
