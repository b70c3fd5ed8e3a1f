#include "SysopSocket.h"

#include <BootVolume.h>
#include <Errors.h>


// A sysop runs one command at a time; a few may wait.
static const int kSysopBacklog = 4;


status_t
ListenOnSysopSocket(int* descriptor)
{
	return listen_on_runtime_socket(kSysopSocketName, kSysopBacklog,
		descriptor);
}


void
RemoveSysopSocket()
{
	remove_runtime_socket(kSysopSocketName);
}


status_t
ConnectToSysopSocket(int* descriptor)
{
	status_t status = connect_to_runtime_socket(kSysopSocketName, descriptor);
	// A socket file left by a host that has gone is no host either.
	if (status == B_BAD_PORT_ID)
		return B_ENTRY_NOT_FOUND;
	return status;
}
