#include <BootVolume.h>

#include <errno.h>
#include <fcntl.h>
#include <mutex>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <Errors.h>


// The Linux mechanics under the runtime folder's sockets: socket addresses,
// bind, listen and connect.


namespace {

// The address of a name in a folder, and the folder's descriptor that keeps
// a long path reachable while the address is in use.
class SocketAddress {
public:
								SocketAddress() = default;
								SocketAddress(const SocketAddress&) = delete;
			SocketAddress&		operator=(const SocketAddress&) = delete;
								~SocketAddress();

			status_t			SetTo(const BString& folder, const char* name);

			const sockaddr*		Address() const
									{ return (const sockaddr*)&fAddress; }
			socklen_t			Length() const { return sizeof(fAddress); }
			// Removes a socket file of the name.
			void				Unlink() const;
			// Lets nobody but the owner connect to the socket file.
			status_t			RestrictToOwner() const;

private:
			sockaddr_un			fAddress;
			int					fFolder = -1;
			const char*			fName = nullptr;
};


SocketAddress::~SocketAddress()
{
	if (fFolder >= 0)
		close(fFolder);
}


status_t
SocketAddress::SetTo(const BString& folder, const char* name)
{
	if (name == nullptr || name[0] == '\0' || strchr(name, '/') != nullptr)
		return B_BAD_VALUE;
	fName = name;
	memset(&fAddress, 0, sizeof(fAddress));
	fAddress.sun_family = AF_UNIX;
	int length = snprintf(fAddress.sun_path, sizeof(fAddress.sun_path),
		"%s/%s", folder.String(), name);
	if (length > 0 && size_t(length) < sizeof(fAddress.sun_path))
		return B_OK;

	// A socket address holds only about a hundred bytes. The kernel resolves
	// /proc/self/fd/<n> like the folder itself, so the socket lands where
	// the long path says.
	fFolder = open(folder.String(), O_PATH | O_DIRECTORY | O_CLOEXEC);
	if (fFolder < 0)
		return status_from_errno(errno);
	length = snprintf(fAddress.sun_path, sizeof(fAddress.sun_path),
		"/proc/self/fd/%d/%s", fFolder, name);
	if (length > 0 && size_t(length) < sizeof(fAddress.sun_path))
		return B_OK;
	return B_NAME_TOO_LONG;
}


void
SocketAddress::Unlink() const
{
	if (fFolder >= 0)
		unlinkat(fFolder, fName, 0);
	else
		unlink(fAddress.sun_path);
}


status_t
SocketAddress::RestrictToOwner() const
{
	int result = fFolder >= 0 ? fchmodat(fFolder, fName, 0600, 0)
		: chmod(fAddress.sun_path, 0600);
	return result == 0 ? B_OK : status_from_errno(errno);
}


// The runtime folder for connecting. Only a folder that was found is kept,
// for the boot volume it was found on.
status_t
cached_runtime_folder(BString* folder)
{
	static std::mutex sLock;
	static std::string sVolume;
	static BString sFolder;

	const char* volume = getenv("BOOT_VOLUME");
	std::string key = volume != nullptr ? volume : "";
	std::lock_guard<std::mutex> lock(sLock);
	if (sFolder.Length() == 0 || sVolume != key) {
		BString found;
		status_t status = runtime_folder(&found);
		if (status != B_OK)
			return status;
		sVolume = key;
		sFolder = found;
	}
	*folder = sFolder;
	return B_OK;
}

}	// namespace


status_t
listen_on_runtime_socket(const char* name, int backlog, int* socket)
{
	if (socket == nullptr)
		return B_BAD_VALUE;
	BString folder;
	status_t status = runtime_folder(&folder);
	if (status != B_OK)
		return status;
	SocketAddress address;
	status = address.SetTo(folder, name);
	if (status != B_OK)
		return status;

	int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC,
		0);
	if (listener < 0)
		return status_from_errno(errno);
	address.Unlink();
	// The mode is narrowed before the socket listens, so that nobody else
	// ever gets through; the folder keeps others out anyway.
	if (bind(listener, address.Address(), address.Length()) != 0) {
		status = status_from_errno(errno);
		close(listener);
		return status;
	}
	status = address.RestrictToOwner();
	if (status == B_OK && listen(listener, backlog) != 0)
		status = status_from_errno(errno);
	if (status != B_OK) {
		address.Unlink();
		close(listener);
		return status;
	}
	*socket = listener;
	return B_OK;
}


status_t
connect_to_runtime_socket(const char* name, int* socket)
{
	if (socket == nullptr)
		return B_BAD_VALUE;
	BString folder;
	status_t status = cached_runtime_folder(&folder);
	if (status != B_OK)
		return status;
	SocketAddress address;
	status = address.SetTo(folder, name);
	if (status != B_OK)
		return status;

	int connection = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (connection < 0)
		return status_from_errno(errno);
	int result;
	do {
		result = connect(connection, address.Address(), address.Length());
	} while (result != 0 && errno == EINTR);
	if (result != 0) {
		status = errno == ECONNREFUSED
			? B_BAD_PORT_ID : status_from_errno(errno);
		close(connection);
		return status;
	}
	*socket = connection;
	return B_OK;
}


void
remove_runtime_socket(const char* name)
{
	BString folder;
	SocketAddress address;
	if (runtime_folder(&folder) == B_OK && address.SetTo(folder, name) == B_OK)
		address.Unlink();
}
