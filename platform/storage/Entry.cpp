#include <Entry.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <Errors.h>

#include "BootAccess.h"

using namespace BPrivate;


static const int32 kMaxLinksFollowed = 16;


// What the entry's name refers to, without following a last link.
static status_t
stat_entry(const char* path, struct stat* info)
{
	int folder = -1;
	BString leaf;
	status_t status = open_platform_parent(path, &folder, &leaf);
	if (status == B_NOT_ALLOWED) {
		// The volume's root has no name in a folder; look at it directly.
		int descriptor = -1;
		status = open_platform_path(path, O_PATH | O_DIRECTORY, 0, &descriptor);
		if (status != B_OK)
			return status;
		status = fstat(descriptor, info) == 0 ? B_OK : status_from_errno(errno);
		close(descriptor);
		return status;
	}
	if (status != B_OK)
		return status;
	status = fstatat(folder, leaf.String(), info, AT_SYMLINK_NOFOLLOW) == 0
		? B_OK : status_from_errno(errno);
	close(folder);
	return status;
}


// The folder part of a normalised path of the platform.
static BString
parent_of(const BString& path)
{
	const char* text = path.String();
	const char* slash = strrchr(text, '/');
	if (slash == nullptr)
		return BString(".");
	if (slash == text)
		return BString("/");
	return BString(text, (int32)(slash - text));
}


// Follows links from the path until it names something that is not a link,
// and gives that as a path of the platform. A link is followed only when its
// target stays a path of the same kind: inside the volume for "/boot" paths,
// where an absolute target or a climb above the volume is refused.
static status_t
follow_links(const BString& start, BString* resolved)
{
	BString path = start;
	for (int32 followed = 0; followed <= kMaxLinksFollowed; followed++) {
		PlatformPath parsed;
		status_t status = parse_platform_path(path.String(), &parsed);
		if (status != B_OK)
			return status;
		struct stat info;
		status = stat_entry(parsed.path.String(), &info);
		if (status != B_OK)
			return status;
		if (!S_ISLNK(info.st_mode)) {
			*resolved = parsed.path;
			return B_OK;
		}

		int folder = -1;
		BString leaf;
		status = open_platform_parent(parsed.path.String(), &folder, &leaf);
		if (status != B_OK)
			return status;
		char target[B_PATH_NAME_LENGTH];
		ssize_t length = readlinkat(folder, leaf.String(), target,
			sizeof(target) - 1);
		int error = errno;
		close(folder);
		if (length < 0)
			return status_from_errno(error);
		if ((size_t)length >= sizeof(target) - 1)
			return B_NAME_TOO_LONG;
		target[length] = '\0';

		BString next;
		if (target[0] == '/') {
			if (parsed.onBootVolume)
				return B_CROSS_DEVICE_LINK;
			next = target;
		} else {
			// Climbs in a relative target are taken textually from the
			// link's folder; one that would climb above the volume (or the
			// machine's root) is refused.
			BString folderPath = parent_of(parsed.path);
			const char* cursor = target;
			while (*cursor != '\0') {
				const char* end = strchrnul(cursor, '/');
				BString name(cursor, (int32)(end - cursor));
				if (name == "..") {
					if (folderPath == "/" || folderPath == "."
						|| (parsed.onBootVolume && folderPath == "/boot")) {
						return B_CROSS_DEVICE_LINK;
					}
					folderPath = parent_of(folderPath);
				} else if (name.Length() > 0 && name != ".") {
					if (folderPath != "/")
						folderPath << "/";
					folderPath << name;
				}
				cursor = *end == '/' ? end + 1 : end;
			}
			next = folderPath;
		}
		path = next;
	}
	return B_LINK_LIMIT;
}


BEntry::BEntry()
{
}


BEntry::BEntry(const char* path, bool traverse)
{
	SetTo(path, traverse);
}


BEntry::BEntry(const BEntry& other) = default;
BEntry& BEntry::operator=(const BEntry& other) = default;
BEntry::~BEntry() = default;


// An entry may name something that does not exist yet, but its folder must
// exist and be reachable, as for every later operation on it.
status_t
BEntry::SetTo(const char* path, bool traverse)
{
	Unset();
	PlatformPath parsed;
	status_t status = parse_platform_path(path, &parsed);
	if (status != B_OK)
		return fStatus = status;

	BString resolved = parsed.path;
	if (traverse) {
		status = follow_links(parsed.path, &resolved);
		if (status != B_OK)
			return fStatus = status;
	} else {
		struct stat info;
		status = stat_entry(parsed.path.String(), &info);
		if (status != B_OK && status != B_ENTRY_NOT_FOUND)
			return fStatus = status;
		if (status == B_ENTRY_NOT_FOUND) {
			int folder = -1;
			BString leaf;
			status = open_platform_parent(parsed.path.String(), &folder, &leaf);
			if (status != B_OK)
				return fStatus = status;
			close(folder);
		}
	}
	fPath = resolved;
	return fStatus = B_OK;
}


status_t
BEntry::InitCheck() const
{
	return fStatus;
}


void
BEntry::Unset()
{
	fPath = "";
	fStatus = B_NO_INIT;
}


bool
BEntry::Exists() const
{
	struct stat info;
	return fStatus == B_OK && stat_entry(fPath.String(), &info) == B_OK;
}


bool
BEntry::IsFile() const
{
	struct stat info;
	return fStatus == B_OK && stat_entry(fPath.String(), &info) == B_OK
		&& S_ISREG(info.st_mode);
}


bool
BEntry::IsDirectory() const
{
	struct stat info;
	return fStatus == B_OK && stat_entry(fPath.String(), &info) == B_OK
		&& S_ISDIR(info.st_mode);
}


bool
BEntry::IsSymLink() const
{
	struct stat info;
	return fStatus == B_OK && stat_entry(fPath.String(), &info) == B_OK
		&& S_ISLNK(info.st_mode);
}


status_t
BEntry::GetName(char* buffer) const
{
	if (buffer == nullptr)
		return B_BAD_VALUE;
	buffer[0] = '\0';
	if (fStatus != B_OK)
		return fStatus;

	const char* text = fPath.String();
	const char* slash = strrchr(text, '/');
	const char* name = slash != nullptr && slash[1] != '\0' ? slash + 1 : text;
	if (strlen(name) >= B_FILE_NAME_LENGTH)
		return B_NAME_TOO_LONG;
	strcpy(buffer, name);
	return B_OK;
}


const char*
BEntry::Path() const
{
	return fPath.String();
}


status_t
BEntry::Rename(const char* path, bool clobber)
{
	if (fStatus != B_OK)
		return fStatus;
	if (path == nullptr || path[0] == '\0')
		return B_BAD_VALUE;

	// A bare name renames within the entry's folder.
	BString target;
	if (strchr(path, '/') == nullptr)
		target << parent_of(fPath) << "/" << path;
	else
		target = path;

	PlatformPath from;
	PlatformPath to;
	status_t status = parse_platform_path(fPath.String(), &from);
	if (status == B_OK)
		status = parse_platform_path(target.String(), &to);
	if (status != B_OK)
		return status;
	if (from.onBootVolume != to.onBootVolume)
		return B_CROSS_DEVICE_LINK;

	int fromFolder = -1;
	int toFolder = -1;
	BString fromLeaf;
	BString toLeaf;
	status = open_platform_parent(from.path.String(), &fromFolder, &fromLeaf);
	if (status != B_OK)
		return status;
	status = open_platform_parent(to.path.String(), &toFolder, &toLeaf);
	if (status != B_OK) {
		close(fromFolder);
		return status;
	}

	int result = renameat2(fromFolder, fromLeaf.String(), toFolder,
		toLeaf.String(), clobber ? 0 : RENAME_NOREPLACE);
	if (result != 0 && !clobber && errno == EINVAL) {
		// A file system without RENAME_NOREPLACE: a hard link refuses an
		// existing target just as well, and the old name then goes.
		result = linkat(fromFolder, fromLeaf.String(), toFolder,
			toLeaf.String(), 0);
		if (result == 0)
			unlinkat(fromFolder, fromLeaf.String(), 0);
	}
	status = result == 0 ? B_OK : status_from_errno(errno);
	close(fromFolder);
	close(toFolder);
	if (status == B_OK)
		fPath = to.path;
	return status;
}


status_t
BEntry::Remove()
{
	if (fStatus != B_OK)
		return fStatus;
	struct stat info;
	status_t status = stat_entry(fPath.String(), &info);
	if (status != B_OK)
		return status;

	int folder = -1;
	BString leaf;
	status = open_platform_parent(fPath.String(), &folder, &leaf);
	if (status != B_OK)
		return status;
	int flags = S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0;
	status = unlinkat(folder, leaf.String(), flags) == 0
		? B_OK : status_from_errno(errno);
	close(folder);
	return status;
}
