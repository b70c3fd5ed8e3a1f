#pragma once

#include <SupportDefs.h>

// The sysop socket (SysopProtocol.h) in the boot volume's runtime folder:
// only the running host listens on it, and only the host's user may
// connect, as with the terminal socket.

#define kSysopSocketName	"zenbo.sysop"

// A listening, non-blocking, close-on-exec socket. The caller must hold the
// host's signature.
status_t ListenOnSysopSocket(int* descriptor);
void RemoveSysopSocket();
// A connected, blocking socket; B_ENTRY_NOT_FOUND when no host listens.
status_t ConnectToSysopSocket(int* descriptor);
