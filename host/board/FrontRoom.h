#pragma once

#include "CallLog.h"

#include <String.h>
#include <SupportDefs.h>

#include <string>
#include <vector>

// The board's front room, where a logged-in caller stands outside the door:
// its menu, the choice a key makes, and the list of who is online. It
// decides and words; the board keeps the callers and acts on the choice.
class FrontRoom {
public:
	enum class Choice {
		kNone,
		kEnterDoor,
		kWhoIsOnline,
		kLastCallers,
		kChangePassword,
		kPageSysop,
		kCharacters,
		kGoodBye,
	};

	// One caller on the list of who is online.
	struct Presence {
		BString			name;
		bool			inDoor = false;
		bigtime_t		idle = 0;
		BString			terminal;
		const char*		way = "";
	};

	static	const char* const	kPromptLine;

	// With the choice of characters for a terminal that offers one: what
	// it speaks now ("UTF-8").
	static	std::string			Menu(const BString& name,
									const char* characters = NULL);
	// The choice of the key, and the letter to show for it.
	static	Choice				ChoiceFor(char key, std::string* shown);
	// The list laid out for the caller's window: a line per caller from 80
	// columns on, two in a narrower one; 0 when the width is unknown.
	static	std::string			WhoIsOnline(
									const std::vector<Presence>& callers,
									int32 columns = 0);
	// The last calls, the newest first: name, way in, when (the board's
	// local time) and how long; never where from.
	static	std::string			LastCallers(
									const std::vector<CallRecord>& calls);
	// Hours, minutes and seconds, as the lists show a call's length.
	static	std::string			LengthText(const CallRecord& call);
	static	std::string			WhenText(time_t when);
	// Minutes and seconds, as the lists show idle times.
	static	std::string			IdleText(bigtime_t idle);
	// A terminal as the lists have it ("XTERM 80x24"), parted into its
	// type and its window ("80x24"); false when it names no window.
	static	bool				SplitWindow(const std::string& terminal,
									std::string* type, std::string* window);
};
