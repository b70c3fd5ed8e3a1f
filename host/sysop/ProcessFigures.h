#pragma once

#include <SupportDefs.h>

#include <sys/types.h>

// What Linux's /proc tells of a process, for zenbo status: its resident
// memory, threads and open descriptors. Reading them never fails loudly; a
// figure that cannot be read is -1.
struct ProcessFigures {
	int64				residentBytes = -1;
	int32				threads = -1;
	int32				descriptors = -1;

	static	ProcessFigures		Of(pid_t process);
	// The host's children (the door it started), their figures summed;
	// *count tells how many there are.
	static	ProcessFigures		OfChildren(pid_t parent, int32* count);
};
