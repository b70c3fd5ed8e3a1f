#pragma once

#include <String.h>

#include <fcntl.h>

namespace BPrivate {

// Opening the platform's paths on Linux. A "/boot" path is opened relative
// to a descriptor of the boot volume's folder, so that no step of it, link or
// "..", can leave the volume; other absolute paths are the machine's own.
// Private to the platform: the kits use it, no public header includes it.

// A path of the platform taken apart: whether it names the boot volume and
// its components, "." and empty ones dropped. ".." is refused
// (B_NOT_ALLOWED): a path of the platform never climbs.
struct PlatformPath {
			bool				onBootVolume = false;
			BString				path;		// normalised: "/boot/a/b" or "/x/y"
			BString				relative;	// "a/b" beneath the volume, "." for its root
};

status_t parse_platform_path(const char* path, PlatformPath* parsed);

// Opens the path with open(2) flags (O_CLOEXEC is added). For "/boot" paths a
// link or a step that would leave the volume gives B_CROSS_DEVICE_LINK.
status_t open_platform_path(const char* path, int flags, mode_t mode,
	int* descriptor);

// Opens the folder that holds the path's last component (an O_PATH
// descriptor) and gives that component's name, for the *at(2) calls that
// work on a name in a folder: unlink, rename, mkdir, readlink, stat.
status_t open_platform_parent(const char* path, int* folder, BString* leaf);

// For tests of the fallback: resolve "/boot" paths one component at a time
// as on a kernel without openat2(2). That walk refuses every link, inside
// the volume too, since it cannot follow one safely.
B_EXPORT void set_boot_walk_fallback(bool enabled);

}	// namespace BPrivate
