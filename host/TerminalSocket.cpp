#include "TerminalSocket.h"

#include <BootVolume.h>
#include <Errors.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>


namespace {

// An address for the socket file, and the folder descriptor that keeps a
// long path reachable while the address is in use.
class SocketAddress {
public:
								SocketAddress() = default;
								SocketAddress(const SocketAddress&) = delete;
			SocketAddress&		operator=(const SocketAddress&) = delete;
								~SocketAddress()
								{
									if (fFolder >= 0)
										close(fFolder);
								}

			status_t			SetTo()
			{
				BString folder;
				status_t status = runtime_folder(&folder);
				if (status != B_OK)
					return status;

				BString path = folder;
				path << "/" << kTerminalSocketName;
				memset(&fAddress, 0, sizeof(fAddress));
				fAddress.sun_family = AF_UNIX;
				if ((size_t)path.Length() < sizeof(fAddress.sun_path)) {
					strcpy(fAddress.sun_path, path.String());
					return B_OK;
				}

				// The kernel follows /proc/self/fd/<n> to the folder itself,
				// so the socket lands where the long path says.
				fFolder = open(folder.String(),
					O_PATH | O_DIRECTORY | O_CLOEXEC);
				if (fFolder < 0)
					return status_from_errno(errno);
				snprintf(fAddress.sun_path, sizeof(fAddress.sun_path),
					"/proc/self/fd/%d/%s", fFolder, kTerminalSocketName);
				return B_OK;
			}

			const sockaddr*		Address() const
									{ return (const sockaddr*)&fAddress; }
			socklen_t			Length() const
									{ return sizeof(fAddress); }
			const char*			Path() const { return fAddress.sun_path; }

private:
			sockaddr_un			fAddress;
			int					fFolder = -1;
};

}	// namespace


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
	SocketAddress address;
	status_t status = address.SetTo();
	if (status != B_OK)
		return status;

	int socketFD = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC,
		0);
	if (socketFD < 0)
		return status_from_errno(errno);

	unlink(address.Path());
	if (bind(socketFD, address.Address(), address.Length()) != 0
		|| listen(socketFD, 16) != 0) {
		status = status_from_errno(errno);
		close(socketFD);
		return status;
	}
	*descriptor = socketFD;
	return B_OK;
}


void
RemoveTerminalSocket()
{
	SocketAddress address;
	if (address.SetTo() == B_OK)
		unlink(address.Path());
}


status_t
ConnectToTerminalSocket(int* descriptor)
{
	SocketAddress address;
	status_t status = address.SetTo();
	if (status != B_OK)
		return status;

	int socketFD = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (socketFD < 0)
		return status_from_errno(errno);
	if (connect(socketFD, address.Address(), address.Length()) != 0) {
		// Nobody listens on a socket file left by a host that has gone or
		// is going: for a bridge that is the same as no host at all.
		status = errno == ECONNREFUSED
			? B_ENTRY_NOT_FOUND : status_from_errno(errno);
		close(socketFD);
		return status;
	}
	*descriptor = socketFD;
	return B_OK;
}
