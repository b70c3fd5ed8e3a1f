#pragma once

#include <String.h>

// The Unix socket in the boot volume's runtime folder through which bridges
// hand their terminals to the host. Only the application that holds the
// host's signature listens on it, so a socket file left behind by a host
// that died is replaced by the next one. Paths longer than a socket address
// can hold (a deeply nested volume) are reached through the folder's open
// descriptor.

#define kTerminalSocketName	"zenbo.terminals"

// The machine's path of the socket, for messages.
status_t TerminalSocketPath(BString* path);

// A listening, non-blocking, close-on-exec socket; a stale socket file is
// removed first. The caller must hold the host's signature.
status_t ListenOnTerminalSocket(int* descriptor);
// Removes the socket file (when the listening host goes).
void RemoveTerminalSocket();

// A connected, blocking, close-on-exec socket; B_ENTRY_NOT_FOUND when no
// host listens.
status_t ConnectToTerminalSocket(int* descriptor);
