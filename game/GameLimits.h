#pragma once

#include <SupportDefs.h>
#include <ZenboUserName.h>

#include <stdint.h>

// The limits of the game, each named once: the rules, the screens and the
// balance tool all read them from here.

// The cave levels, from the top to the bottom of the caves.
const int32 kShallowestCaveLevel = 1;
const int32 kDeepestCaveLevel = 10;

// The day's allowance of cave fights; the daily reset restores it.
const int32 kDailyFightAllowance = 15;

// A new character's purse.
const int32 kStartingGold = 100;

// A character's name follows the board's rule for user names.
const int32 kMaxCharacterNameLength = kMaxUserNameLength;

// The bounds of every number a record or a data file holds.
const int32 kLeastInt32 = INT32_MIN;
const int32 kMostInt32 = INT32_MAX;


// A value worked out wide, brought back into int32: a record read from a
// tampered player file can hold any int32, so every rule computes in 64 bits
// and holds the result at the bounds rather than letting it wrap.
inline int32
ClampedToInt32(int64 value)
{
	if (value > kMostInt32)
		return kMostInt32;
	if (value < kLeastInt32)
		return kLeastInt32;
	return (int32)value;
}


// Truncated toward zero as the growth rules want, held at the bounds where a
// double does not fit int32 instead of leaving the conversion undefined.
inline int32
TruncatedToInt32(double value)
{
	if (value >= (double)kMostInt32)
		return kMostInt32;
	if (value <= (double)kLeastInt32)
		return kLeastInt32;
	return (int32)value;
}
