#include <BootVolume.h>

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <Errors.h>

#include "BootAccess.h"

using namespace BPrivate;


static const char* const kBootPrefix = "/boot";
static const char* const kRuntimeFolder = "/boot/var/run";
static const mode_t kRuntimeFolderMode = 0700;


// The folder as configured, made absolute against the working folder, so
// that every later lookup means the same folder.
BString
boot_volume_folder()
{
	BString folder;
	const char* volume = getenv("BOOT_VOLUME");
	if (volume != nullptr && volume[0] != '\0') {
		folder = volume;
	} else {
		const char* data = getenv("XDG_DATA_HOME");
		if (data != nullptr && data[0] == '/') {
			folder = data;
		} else {
			const char* home = getenv("HOME");
			if (home == nullptr || home[0] == '\0') {
				struct passwd* user = getpwuid(getuid());
				home = user != nullptr ? user->pw_dir : "/tmp";
			}
			folder << home << "/.local/share";
		}
		folder << "/drelmoor/boot";
	}

	if (folder.ByteAt(0) != '/') {
		char* current = getcwd(nullptr, 0);
		if (current != nullptr) {
			BString absolute(current);
			absolute << "/" << folder;
			folder = absolute;
			free(current);
		}
	}
	while (folder.Length() > 1 && folder.ByteAt(folder.Length() - 1) == '/')
		folder.Truncate(folder.Length() - 1);
	return folder;
}


status_t
BPrivate::parse_platform_path(const char* path, PlatformPath* parsed)
{
	if (path == nullptr || path[0] == '\0' || parsed == nullptr)
		return B_BAD_VALUE;

	BString normalised;
	BString relative;
	bool absolute = path[0] == '/';
	const char* cursor = path;
	int32 count = 0;
	while (*cursor != '\0') {
		while (*cursor == '/')
			cursor++;
		const char* end = cursor;
		while (*end != '\0' && *end != '/')
			end++;
		int32 length = (int32)(end - cursor);
		if (length == 0)
			break;
		if (length == 2 && cursor[0] == '.' && cursor[1] == '.')
			return B_NOT_ALLOWED;
		if (!(length == 1 && cursor[0] == '.')) {
			if (count > 0 || absolute)
				normalised << "/";
			normalised.Append(cursor, length);
			if (count > 0) {
				if (count > 1)
					relative << "/";
				relative.Append(cursor, length);
			}
			count++;
		}
		cursor = end;
	}
	if (normalised.Length() == 0)
		normalised = absolute ? "/" : ".";

	parsed->onBootVolume = absolute && (normalised == kBootPrefix
		|| strncmp(normalised.String(), "/boot/", 6) == 0);
	parsed->path = normalised;
	parsed->relative = relative.Length() > 0 ? relative : BString(".");
	return B_OK;
}


status_t
resolve_boot_path(const char* path, BString* machinePath)
{
	if (machinePath == nullptr)
		return B_BAD_VALUE;
	PlatformPath parsed;
	status_t status = parse_platform_path(path, &parsed);
	if (status != B_OK)
		return status;

	if (!parsed.onBootVolume) {
		*machinePath = path;
		return B_OK;
	}
	BString result = boot_volume_folder();
	if (parsed.relative != ".")
		result << "/" << parsed.relative;
	*machinePath = result;
	return B_OK;
}


// Makes the machine folder with its parents; used only for the volume's own
// folder, which lies outside the volume and so cannot be made beneath it.
static status_t
create_machine_directory(const BString& folder, mode_t mode)
{
	BString partial;
	const char* text = folder.String();
	for (int32 i = 1; i <= folder.Length(); i++) {
		if (text[i] != '/' && text[i] != '\0')
			continue;
		partial.SetTo(text, i);
		if (mkdir(partial.String(), mode) != 0 && errno != EEXIST)
			return status_from_errno(errno);
	}
	struct stat info;
	if (stat(folder.String(), &info) != 0)
		return status_from_errno(errno);
	return S_ISDIR(info.st_mode) ? B_OK : B_NOT_A_DIRECTORY;
}


status_t
create_directory(const char* path, mode_t mode)
{
	PlatformPath parsed;
	status_t status = parse_platform_path(path, &parsed);
	if (status != B_OK)
		return status;

	if (!parsed.onBootVolume)
		return create_machine_directory(parsed.path, mode);

	status = create_machine_directory(boot_volume_folder(), mode);
	if (status != B_OK || parsed.relative == ".")
		return status;

	// One component at a time, each made in the folder above it as resolved
	// beneath the volume, so that a link on the way cannot lead outside.
	BString partial(kBootPrefix);
	const char* text = parsed.relative.String();
	int32 start = 0;
	for (int32 i = 0; i <= parsed.relative.Length(); i++) {
		if (text[i] != '/' && text[i] != '\0')
			continue;
		partial << "/";
		partial.Append(text + start, i - start);
		start = i + 1;

		int folder = -1;
		BString leaf;
		status = open_platform_parent(partial.String(), &folder, &leaf);
		if (status != B_OK)
			return status;
		int result = mkdirat(folder, leaf.String(), mode);
		int error = errno;
		close(folder);
		if (result != 0 && error != EEXIST)
			return status_from_errno(error);
	}

	// The last folder may have existed as something else, or as a link that
	// leads outside: check it the way every later open will see it.
	int descriptor = -1;
	status = open_platform_path(parsed.path.String(), O_PATH | O_DIRECTORY, 0,
		&descriptor);
	if (status == B_OK)
		close(descriptor);
	return status;
}


status_t
runtime_folder(BString* machinePath)
{
	if (machinePath == nullptr)
		return B_BAD_VALUE;
	status_t status = create_directory("/boot/var", 0755);
	if (status == B_OK)
		status = create_directory(kRuntimeFolder, kRuntimeFolderMode);
	if (status != B_OK)
		return status;

	// Whoever may enter the folder may speak to every running application
	// through its socket; the folder is the owner's alone. One made before
	// with a wider mode is narrowed; one of another user is not ours to use.
	int folder = -1;
	status = open_platform_path(kRuntimeFolder, O_RDONLY | O_DIRECTORY, 0,
		&folder);
	if (status != B_OK)
		return status;
	struct stat info;
	if (fstat(folder, &info) != 0)
		status = status_from_errno(errno);
	else if (info.st_uid != geteuid())
		status = B_NOT_ALLOWED;
	else if ((info.st_mode & 07777) != kRuntimeFolderMode
		&& fchmod(folder, kRuntimeFolderMode) != 0)
		status = status_from_errno(errno);
	close(folder);
	if (status != B_OK)
		return status;
	return resolve_boot_path(kRuntimeFolder, machinePath);
}
