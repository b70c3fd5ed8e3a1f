#pragma once

#include <SupportDefs.h>

#include <stddef.h>

// Saving a small file whole
//
// save_file_atomically puts new content in place of a file's so that a
// reader, a crash or a power cut meets either the old content whole or the
// new content whole, and returns only once the new content is on the disk.
// The bytes are written under a temporary name in temporaryFolder (created
// when missing; it must lie on the same volume as the file, since a rename
// cannot cross volumes), synced, renamed over the file, and the file's
// folder is synced so that the rename itself is kept.
//
// Saves that threads of the team make at the same time share their syncs:
// each thread syncs its own file while the others sync theirs, which the
// file system's journal may commit together, and the syncs of the folder are
// shared outright: whoever finds none running syncs the folder for every
// rename made so far, and the saves that come meanwhile share the next.
// Every save still returns only after its own bytes and its own rename
// were synced.
//
// Content equal to what the file holds already is not written again and
// gives B_OK. On any failure (a full disk, a write error, a folder that
// cannot be made) the file keeps its previous content, nothing is left
// under the temporary name, and the error is returned.
B_EXPORT status_t save_file_atomically(const char* path,
	const char* temporaryFolder, const void* data, size_t size);

// How many syncs (of a file or of a folder) the saves of this team have
// made so far; for measuring how well saves share them.
B_EXPORT int64 count_save_syncs();
