#pragma once

#include <String.h>

// The four places a character can be, by the whole, case-sensitive names
// that the player record holds. Anything else is no place: the prompt
// completes nothing there and no command works there.
enum class Location {
	kTown,
	kCaves,
	kBlacksmith,
	kHealers,
	kNowhere,
};


inline Location
LocationOf(const BString& name)
{
	if (name == "Town")
		return Location::kTown;
	if (name == "Caves")
		return Location::kCaves;
	if (name == "Blacksmith")
		return Location::kBlacksmith;
	if (name == "Healers")
		return Location::kHealers;
	return Location::kNowhere;
}


// Letter commands take either case. Only the ASCII letters fold: every
// other byte, those of 128 and above included, selects no command.
inline char
CommandOf(char key)
{
	if (key >= 'a' && key <= 'z')
		return (char)(key - 'a' + 'A');
	return key;
}
