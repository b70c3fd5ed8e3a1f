#pragma once

#include <String.h>

// The telnet listener's socket mechanics: a listening TCP socket at an
// address of this machine, and the callers it accepts, both non-blocking
// and close-on-exec.
status_t ListenForTelnet(const BString& address, uint16 port,
	int* descriptor, uint16* boundPort);
// B_WOULD_BLOCK when nobody waits; the caller's address as text.
status_t AcceptTelnetCaller(int listener, int* descriptor, BString* address);
