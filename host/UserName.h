#pragma once

#include <String.h>

// Whether a name can be a user of the door. The door names the user's
// player file and session thread after it, so a name must be one plain file
// name: not empty, no "/", not "." or "..", no control characters, and
// short enough for a file name with room for the thread suffix.
bool IsValidUserName(const BString& name);

// Reads the user name from a DOOR32.SYS drop file: the alias, its seventh
// line (lines end in CR LF or LF). B_BAD_DATA when the file has no usable
// alias, another status when it cannot be read.
status_t ReadDropFileUser(const char* path, BString* userName);
// The same from the file's bytes.
status_t ParseDropFileUser(const char* content, size_t size,
	BString* userName);
