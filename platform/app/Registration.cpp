#include "Registration.h"

#include <BootVolume.h>

#include <ctype.h>
#include <mutex>
#include <stdlib.h>
#include <string>
#include <stdio.h>
#include <string.h>


Registration::~Registration()
{
	Unregister();
}


status_t
Registration::Register(const char* signature)
{
	if (signature == NULL || signature[0] == '\0')
		return B_BAD_VALUE;
	status_t status = runtime_folder(&fFolderPath);
	if (status == B_OK)
		status = posix::OpenFolder(fFolderPath.String(), &fFolder);
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
	status = posix::ListenUnix(fFolderPath.String(), fFolder.Get(),
		fSocketName.String(), &fListener);
	if (status != B_OK) {
		fLock.Close();
		fSocketName = "";
	}
	return status;
}


void
Registration::Unregister()
{
	// The socket file goes before the lock, so that the next holder of the
	// signature never finds our socket after it has bound its own.
	if (fListener.IsValid()) {
		fListener.Close();
		posix::RemoveFile(fFolder.Get(), fSocketName.String());
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

	// Sessions make a messenger for every message they send, so the runtime
	// folder is looked up once per boot volume, not once per message.
	static std::mutex sCacheLock;
	static std::string sCachedVolume;
	static BString sCachedFolder;
	const char* volume = getenv("BOOT_VOLUME");
	std::string volumeKey = volume != NULL ? volume : "";
	BString folderPath;
	{
		std::lock_guard<std::mutex> lock(sCacheLock);
		if (sCachedFolder.Length() == 0 || sCachedVolume != volumeKey) {
			BString found;
			if (runtime_folder(&found) != B_OK)
				return B_NAME_NOT_FOUND;
			sCachedVolume = volumeKey;
			sCachedFolder = found;
		}
		folderPath = sCachedFolder;
	}

	BString socketName = FileName(signature);
	socketName << ".sock";
	return posix::ConnectUnix(folderPath.String(), socketName.String(), socket);
}
