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
// the first to arrive syncs for every save that is waiting by then, while
// the others wait for it, so that a thousand sessions saving at once cost
// the disk a few syncs and not a thousand. Every save still returns only
// after its own bytes and its own rename were synced.
//
// Content equal to what the file holds already is not written again and
// gives B_OK. On any failure (a full disk, a write error, a folder that
// cannot be made) the file keeps its previous content, nothing is left
// under the temporary name, and the error is returned.
status_t save_file_atomically(const char* path, const char* temporaryFolder,
	const void* data, size_t size);

// How many syncs the saves of this team have asked of the disk so far; for
// measuring how well saves share them.
int64 count_save_syncs();
