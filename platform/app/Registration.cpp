#include "Registration.h"

#include <BootVolume.h>

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

namespace BPrivate {


Registration::~Registration()
{
	Unregister();
}


status_t
Registration::Register(const char* signature)
{
	if (signature == NULL || signature[0] == '\0')
		return B_BAD_VALUE;
	BString folderPath;
	status_t status = runtime_folder(&folderPath);
	if (status == B_OK)
		status = posix::OpenFolder(folderPath.String(), &fFolder);
	if (status != B_OK)
		return status;

	BString name = FileName(signature);
	BString lockName = name;
	lockName << ".lock";
	status = posix::LockFile(fFolder.Get(), lockName.String(), &fLock);
	if (status != B_OK)
		return status;

	fSocketName = name;
	fSocketName << ".sock";
	// The lock is held, so a socket file that is still there was left by an
	// application that is gone.
	int listener = -1;
	status = listen_on_runtime_socket(fSocketName.String(), SOMAXCONN,
		&listener);
	if (status != B_OK) {
		fLock.Close();
		fSocketName = "";
		return status;
	}
	fListener = posix::Descriptor(listener);
	return B_OK;
}


void
Registration::Unregister()
{
	// The socket file goes before the lock, so that the next holder of the
	// signature never finds our socket after it has bound its own.
	if (fListener.IsValid()) {
		fListener.Close();
		remove_runtime_socket(fSocketName.String());
	}
	fLock.Close();
	fFolder.Close();
}


BString
Registration::FileName(const char* signature)
{
	// FNV-1a over the whole signature tells signatures apart; the prefix
	// only helps a person who looks into the folder.
	uint64 hash = 0xcbf29ce484222325ULL;
	for (const char* c = signature; *c != '\0'; c++) {
		hash ^= uint8(*c);
		hash *= 0x100000001b3ULL;
	}

	const char* tail = strrchr(signature, '/');
	tail = tail != NULL ? tail + 1 : signature;
	BString name;
	for (int i = 0; tail[i] != '\0' && i < 24; i++) {
		char c = tail[i];
		name << (isalnum(uint8(c)) || c == '.' || c == '-' ? c : '_');
	}
	char hex[20];
	snprintf(hex, sizeof(hex), "-%016llx", (unsigned long long)hash);
	name << hex;
	return name;
}


status_t
Registration::Connect(const char* signature, posix::Descriptor* socket)
{
	if (signature == NULL || signature[0] == '\0')
		return B_BAD_VALUE;

	BString socketName = FileName(signature);
	socketName << ".sock";
	int connection = -1;
	status_t status = connect_to_runtime_socket(socketName.String(),
		&connection);
	switch (status) {
		case B_OK:
			*socket = posix::Descriptor(connection);
			return B_OK;
		case B_ENTRY_NOT_FOUND:
			// No socket file: no application holds the signature.
			return B_NAME_NOT_FOUND;
		case B_NO_MEMORY:
			// Out of descriptors: nothing is known about the application.
			return status;
		default:
			// A socket file that nobody accepts on was left by an
			// application that has gone, or is going.
			return B_BAD_PORT_ID;
	}
}


}	// namespace BPrivate
