#pragma once

#include <String.h>
#include <SupportDefs.h>

// A listening TCP socket for the host's network ways in (SSH, the web
// terminal): non-blocking and close-on-exec, so that it can wait on the
// host's looper and never leaks into the door's process. The address is a
// numeric IPv4 or IPv6 address; port 0 takes an ephemeral one, which
// *boundPort then tells.
status_t ListenOnTcp(const char* address, uint16 port, int* descriptor,
	uint16* boundPort);

// Accepts one waiting caller as a non-blocking, close-on-exec socket, with
// the caller's address as "host:port" for the logs; B_WOULD_BLOCK when none
// waits.
status_t AcceptTcpCaller(int listener, int* descriptor, BString* address);
