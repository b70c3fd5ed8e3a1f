#include <Directory.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <Entry.h>
#include <Errors.h>

#include "BootAccess.h"

using namespace BPrivate;


struct BDirectory::Private {
	DIR*		stream = nullptr;
	BString		path;
};


BDirectory::BDirectory()
{
}


BDirectory::BDirectory(const char* path)
{
	SetTo(path);
}


BDirectory::~BDirectory()
{
	Unset();
}


status_t
BDirectory::SetTo(const char* path)
{
	Unset();
	PlatformPath parsed;
	status_t status = parse_platform_path(path, &parsed);
	if (status != B_OK)
		return fStatus = status;

	int descriptor = -1;
	status = open_platform_path(parsed.path.String(), O_RDONLY | O_DIRECTORY,
		0, &descriptor);
	if (status != B_OK)
		return fStatus = status;

	DIR* stream = fdopendir(descriptor);
	if (stream == nullptr) {
		status = status_from_errno(errno);
		close(descriptor);
		return fStatus = status;
	}
	fPrivate = new Private;
	fPrivate->stream = stream;
	fPrivate->path = parsed.path;
	return fStatus = B_OK;
}


status_t
BDirectory::InitCheck() const
{
	return fStatus;
}


void
BDirectory::Unset()
{
	if (fPrivate != nullptr) {
		closedir(fPrivate->stream);
		delete fPrivate;
		fPrivate = nullptr;
	}
	fStatus = B_NO_INIT;
}


// With traverse, an entry whose link leads nowhere reachable (nothing there,
// or outside the volume) names nothing, and is passed over.
status_t
BDirectory::GetNextEntry(BEntry* entry, bool traverse)
{
	if (entry == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK) {
		entry->Unset();
		return fStatus;
	}

	while (true) {
		errno = 0;
		struct dirent* next = readdir(fPrivate->stream);
		if (next == nullptr) {
			entry->Unset();
			return errno != 0 ? status_from_errno(errno) : B_ENTRY_NOT_FOUND;
		}
		if (strcmp(next->d_name, ".") == 0 || strcmp(next->d_name, "..") == 0)
			continue;

		BString path(fPrivate->path);
		if (path != "/")
			path << "/";
		path << next->d_name;
		status_t status = entry->SetTo(path.String(), traverse);
		if (status == B_OK)
			return B_OK;
		if (!traverse)
			return status;
	}
}


status_t
BDirectory::Rewind()
{
	if (fStatus != B_OK)
		return fStatus;
	rewinddir(fPrivate->stream);
	return B_OK;
}


// Counting reads the folder from its start; the walk in progress carries on
// where it was afterwards.
int32
BDirectory::CountEntries()
{
	if (fStatus != B_OK)
		return fStatus;

	long position = telldir(fPrivate->stream);
	rewinddir(fPrivate->stream);
	int32 count = 0;
	struct dirent* next;
	while ((next = readdir(fPrivate->stream)) != nullptr) {
		if (strcmp(next->d_name, ".") != 0 && strcmp(next->d_name, "..") != 0)
			count++;
	}
	seekdir(fPrivate->stream, position);
	return count;
}
