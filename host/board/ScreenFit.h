#pragma once

#include <SupportDefs.h>

#include <string>

// The host's own words fitted to a caller's window: a line longer than the
// window is broken at its last space that fits (or cut where none does),
// so that a narrow window never shows "a n" / "ew name". The door's texts
// never pass here: the game's screens are the game's, and the terminal
// wraps them.
class ScreenFit {
public:
	// The width the host's screens use when the terminal has not said.
	static	const int32			kDefaultColumns = 80;
	// The narrowest window the host's screens are laid out for.
	static	const int32			kNarrowestColumns = 40;

	// The text with every line fitted to the columns; as it is when the
	// columns are unknown (0).
	static	std::string			Wrapped(const std::string& text,
									int32 columns);
	// The columns to lay a screen out for: the terminal's, or the default
	// when it has not said, never fewer than the narrowest.
	static	int32				ColumnsFor(int32 reported);
};
