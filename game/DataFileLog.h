#pragma once

#include <String.h>

// Tells the sysop, in the door's log (its standard error, which the host
// keeps), that a data file is broken: which file, which line, what is
// wrong. Players see what the game always shows for such a file; the log
// says it once, not at every draw or visit. A part of a file that reads well
// again is forgotten, so the same fault after a repair is told again.
//
// Shared by every session thread of the door; the record of what has been
// told is guarded by a lock of its own.
class DataFileLog {
public:
	// `part` names what was read (a file, or a file's section) and keys what
	// has been told; `line` 0 names no line.
	static	void				ReportBroken(const BString& part,
									const char* file, int32 line,
									const BString& problem);
	static	void				ReportSound(const BString& part);
};
