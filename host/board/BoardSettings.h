#pragma once

#include "CharacterSet.h"

#include <SupportDefs.h>

// What a sysop sets about the board's callers (see zenbo --help).
struct BoardSettings {
	bigtime_t			grace = 180000000;
	bigtime_t			idle = 600000000;
	int32				maxCallers = 200;
	bigtime_t			failureDelay = 1000000;
	bigtime_t			loginTimeout = 60000000;
	int32				maxUnknownPerAddress = 5;
	int32				maxPasswordTries = 3;
	// A name that fails this often within the window is locked for as long.
	int32				lockFailures = 10;
	bigtime_t			lockWindow = 600000000;
	// The warning before an idle caller is disconnected, at most this much
	// before the end (half the idle time when that is shorter).
	bigtime_t			idleWarning = 60000000;
	// Whether a caller is told that the sysop watches their screen.
	bool				spyNotice = true;
	// The character set of the door's texts and keys (--charset).
	DoorCharset			charset = DoorCharset::kCp437;
	// Network connections not logged in, from their accept on, whatever
	// the way in: in all, and from one address.
	int32				maxPending = 128;
	int32				maxPendingPerAddress = 16;
};
