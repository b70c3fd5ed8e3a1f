#pragma once

#include <String.h>
#include <ZenboUserName.h>

// Reads the user name from a DOOR32.SYS drop file: the alias, its seventh
// line (lines end in CR LF or LF). B_BAD_DATA when the file has no usable
// alias, with what is wrong in problem when one is given; another status
// when it cannot be read.
status_t ReadDropFileUser(const char* path, BString* userName,
	BString* problem = NULL);
// The same from the file's bytes.
status_t ParseDropFileUser(const char* content, size_t size,
	BString* userName, BString* problem = NULL);
