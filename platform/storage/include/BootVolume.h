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
B_EXPORT BString boot_volume_folder();

// The machine's path for a path of the platform: "/boot/a/b" gives
// <boot volume folder>/a/b; other paths come back unchanged. Refuses "..".
B_EXPORT status_t resolve_boot_path(const char* path, BString* machinePath);

// The runtime folder of the boot volume ("/boot/var/run"), where running
// applications keep their sockets and locks; created when missing, and
// only the owner's (mode 0700, set again when it was wider). A folder of
// another user gives B_NOT_ALLOWED.
B_EXPORT status_t runtime_folder(BString* machinePath);

// Sockets in the runtime folder
//
// A running program is reached through a Unix socket of a known name in the
// runtime folder. The descriptors these give belong to the caller, who
// closes them. A folder path too long for a socket address (a volume deep in
// other folders) is reached through the folder's open descriptor, so names
// work wherever the volume lies.

// A listening socket of that name, non-blocking and close-on-exec, with room
// for backlog waiting connections; only its owner may connect to it. The caller guarantees that no other
// program listens on the name (by holding a lock): a socket file that is
// still there was left by one that is gone, and is replaced.
B_EXPORT status_t listen_on_runtime_socket(const char* name, int backlog,
	int* socket);

// A blocking, close-on-exec socket connected to the one of that name.
// Nobody listens when there is no socket file (B_ENTRY_NOT_FOUND) or when
// one is left but no program accepts on it (B_BAD_PORT_ID); other failures
// come as their errno's status. The runtime folder is looked up once per
// boot volume, since programs may connect for every message they send.
B_EXPORT status_t connect_to_runtime_socket(const char* name, int* socket);

// Removes the socket file of that name, when the program that listened on
// it stops listening.
B_EXPORT void remove_runtime_socket(const char* name);

// Creates the folder and every missing folder above it (for "/boot" paths
// the volume's own folder too).
B_EXPORT status_t create_directory(const char* path, mode_t mode);
