#pragma once

#include <String.h>
#include <SupportDefs.h>

// The listening TCP sockets of the host's network ways in (telnet, SSH, the
// web terminal) and the callers they accept: non-blocking and close-on-exec,
// so that they can wait on the host's looper and never leak into the door's
// process. The address is a numeric IPv4 or IPv6 address or a name of this
// machine; port 0 takes an ephemeral one, which *boundPort then tells.
status_t ListenOnTcp(const char* address, uint16 port, int* descriptor,
	uint16* boundPort);

// Accepts one waiting caller, with the caller's address (without its port:
// the board counts callers by it) for the logs; B_WOULD_BLOCK when none
// waits.
status_t AcceptTcpCaller(int listener, int* descriptor, BString* address);
