#pragma once

#include <String.h>

// Paths that begin with "/boot" name the boot volume. On this platform the
// boot volume is a folder: the one named by the environment variable
// BOOT_VOLUME, or else $XDG_DATA_HOME/drelmoor/boot (~/.local/share/...).
// Every kit resolves "/boot" paths inside that folder and refuses a path
// that would leave it: ".." anywhere in a path gives B_NOT_ALLOWED, and a
// link that points out of the volume (any absolute link, or a relative one
// that climbs above it) gives B_CROSS_DEVICE_LINK. Links that stay inside
// are followed. Other absolute paths are plain paths of the machine.

// The folder that stands for "/boot", as an absolute path of the machine.
BString boot_volume_folder();

// The machine's path for a path of the platform: "/boot/a/b" gives
// <boot volume folder>/a/b; other paths come back unchanged. Refuses "..".
status_t resolve_boot_path(const char* path, BString* machinePath);

// The runtime folder of the boot volume ("/boot/var/run"), where running
// applications keep their sockets and locks; created when missing.
status_t runtime_folder(BString* machinePath);

// Creates the folder and every missing folder above it (for "/boot" paths
// the volume's own folder too).
status_t create_directory(const char* path, mode_t mode);
