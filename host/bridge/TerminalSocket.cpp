#include "TerminalSocket.h"

#include <BootVolume.h>
#include <Errors.h>


// How many bridges may wait for the host to accept them.
static const int kTerminalBacklog = 16;


status_t
TerminalSocketPath(BString* path)
{
	status_t status = runtime_folder(path);
	if (status == B_OK)
		*path << "/" << kTerminalSocketName;
	return status;
}


status_t
ListenOnTerminalSocket(int* descriptor)
{
	return listen_on_runtime_socket(kTerminalSocketName, kTerminalBacklog,
		descriptor);
}


void
RemoveTerminalSocket()
{
	remove_runtime_socket(kTerminalSocketName);
}


status_t
ConnectToTerminalSocket(int* descriptor)
{
	status_t status = connect_to_runtime_socket(kTerminalSocketName,
		descriptor);
	// Nobody listens on a socket file left by a host that has gone or is
	// going: for a bridge that is the same as no host at all.
	if (status == B_BAD_PORT_ID)
		return B_ENTRY_NOT_FOUND;
	return status;
}
