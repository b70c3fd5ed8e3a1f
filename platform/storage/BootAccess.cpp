#include "BootAccess.h"

#include <errno.h>
#include <string.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include <BootVolume.h>
#include <Errors.h>

namespace BPrivate {


static std::atomic<bool> sWalkFallback{false};


void
set_boot_walk_fallback(bool enabled)
{
	sWalkFallback = enabled;
}


static int
open_volume_folder()
{
	BString folder = boot_volume_folder();
	return open(folder.String(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}


// Resolution without openat2: each component opened on its own, links
// refused at every step. Returns a descriptor or -1 with errno set.
static int
open_by_walk(int volume, const BString& relative, int flags, mode_t mode)
{
	if (relative == ".")
		return openat(volume, ".", flags | O_NOFOLLOW, mode);

	int current = dup(volume);
	if (current < 0)
		return -1;
	const char* text = relative.String();
	int32 start = 0;
	for (int32 i = 0; i <= relative.Length(); i++) {
		if (text[i] != '/' && text[i] != '\0')
			continue;
		BString name(text + start, i - start);
		start = i + 1;
		bool last = text[i] == '\0';
		int next;
		if (last) {
			next = openat(current, name.String(), flags | O_NOFOLLOW, mode);
		} else {
			next = openat(current, name.String(),
				O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
		}
		int error = errno;
		close(current);
		if (next < 0) {
			errno = error;
			return -1;
		}
		current = next;
	}
	// O_PATH with O_NOFOLLOW opens a link itself rather than failing: that
	// descriptor would lead nowhere the caller could check, so refuse it.
	struct stat info;
	if ((flags & O_PATH) != 0 && fstat(current, &info) == 0
		&& S_ISLNK(info.st_mode)) {
		close(current);
		errno = ELOOP;
		return -1;
	}
	return current;
}


// Whether this kernel lets us use openat2. Asked once, on a path that
// always opens: a sandbox that filters the call may answer EPERM instead of
// ENOSYS, and a real permission problem would never come from "/".
static bool
openat2_available()
{
	static const bool sAvailable = [] {
		struct open_how how = {};
		how.flags = O_PATH | O_CLOEXEC;
		int descriptor = (int)syscall(SYS_openat2, AT_FDCWD, "/", &how,
			sizeof(how));
		if (descriptor < 0)
			return false;
		close(descriptor);
		return true;
	}();
	return sAvailable;
}


static int
open_beneath(int volume, const BString& relative, int flags, mode_t mode)
{
	if (sWalkFallback || !openat2_available())
		return open_by_walk(volume, relative, flags, mode);

	struct open_how how = {};
	how.flags = (uint64)flags;
	how.mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? mode : 0;
	how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
	int descriptor;
	do {
		descriptor = (int)syscall(SYS_openat2, volume, relative.String(), &how,
			sizeof(how));
	} while (descriptor < 0 && (errno == EINTR || errno == EAGAIN));
	return descriptor;
}


status_t
open_platform_path(const char* path, int flags, mode_t mode, int* descriptor)
{
	if (descriptor == nullptr)
		return B_BAD_VALUE;
	PlatformPath parsed;
	status_t status = parse_platform_path(path, &parsed);
	if (status != B_OK)
		return status;

	flags |= O_CLOEXEC;
	int result;
	if (parsed.onBootVolume) {
		int volume = open_volume_folder();
		if (volume < 0)
			return status_from_errno(errno);
		result = open_beneath(volume, parsed.relative, flags, mode);
		int error = errno;
		close(volume);
		errno = error;
	} else {
		do {
			result = open(parsed.path.String(), flags, mode);
		} while (result < 0 && errno == EINTR);
	}
	if (result < 0)
		return status_from_errno(errno);
	*descriptor = result;
	return B_OK;
}


status_t
open_platform_parent(const char* path, int* folder, BString* leaf)
{
	if (folder == nullptr || leaf == nullptr)
		return B_BAD_VALUE;
	PlatformPath parsed;
	status_t status = parse_platform_path(path, &parsed);
	if (status != B_OK)
		return status;

	const char* text = parsed.path.String();
	const char* slash = strrchr(text, '/');
	BString parent;
	if (slash == nullptr)
		parent = ".";
	else if (slash == text)
		parent = "/";
	else
		parent.SetTo(text, (int32)(slash - text));
	BString name(slash != nullptr ? slash + 1 : text);

	// The volume's own folder has no name inside the volume to act on.
	if (parsed.onBootVolume && parsed.relative == ".")
		return B_NOT_ALLOWED;
	if (name.Length() == 0)
		return B_BAD_VALUE;

	status = open_platform_path(parent.String(), O_PATH | O_DIRECTORY, 0,
		folder);
	if (status != B_OK)
		return status;
	*leaf = name;
	return B_OK;
}


}	// namespace BPrivate
