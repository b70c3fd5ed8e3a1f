#pragma once

#include <String.h>

#include <time.h>

#include <vector>

// One character as the sysop's tools list it, read from its player file by
// the door's own reader.
struct RosterEntry {
	BString				userName;		// the player file's name
	BString				name;			// the character's, shown printable
	int32				level = 0;
	int32				hp = 0;
	int32				maxHP = 0;
	int32				gold = 0;
	BString				weapon;
	BString				armor;
	time_t				lastPlayed = 0;	// the player file's last save
};

// Every character of the current boot volume, sorted by level (highest
// first), then by name. A file that is no whole player file is passed over,
// as the Wall of Fame passes it over. B_ENTRY_NOT_FOUND when the volume has
// no users folder.
status_t ReadRoster(std::vector<RosterEntry>* entries);

// The character of one user; B_ENTRY_NOT_FOUND when there is none.
status_t FindRosterEntry(const BString& userName, RosterEntry* entry);
