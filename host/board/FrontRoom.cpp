#include "FrontRoom.h"

#include "ScreenFit.h"

#include <ZenboUserName.h>

#include <ctype.h>
#include <stdio.h>


const char* const FrontRoom::kPromptLine = "Your choice: ";


std::string
FrontRoom::Menu(const BString& name, const char* characters)
{
	std::string menu = std::string("\n") + PrintableUserName(name).String()
		+ ", you are in the front room of the board.\n"
		"  (E) Enter Drelmoor\n"
		"  (W) Who is online\n";
	if (characters != NULL)
		menu += std::string("  (C) Characters: ") + characters + "\n";
	return menu + "  (G) Good-bye\n" + kPromptLine;
}


FrontRoom::Choice
FrontRoom::ChoiceFor(char key, std::string* shown)
{
	switch (tolower((unsigned char)key)) {
		case 'e':
			*shown = "E\n";
			return Choice::kEnterDoor;
		case 'w':
			*shown = "W\n";
			return Choice::kWhoIsOnline;
		case 'c':
			*shown = "C\n";
			return Choice::kCharacters;
		case 'g':
			*shown = "G\n";
			return Choice::kGoodBye;
		default:
			shown->clear();
			return Choice::kNone;
	}
}


// Every field a caller can choose (the name, the terminal's type) is shown
// printable, so no caller drives another's terminal through the list.
// The terminal's type is the one field of no fixed width (a type of 40
// letters and the window's COLSxROWS): it is cut to what the window leaves,
// never wrapped into the next caller's line. Below 80 columns each caller
// takes two lines, the name on the first.
std::string
FrontRoom::WhoIsOnline(const std::vector<Presence>& callers, int32 columns)
{
	size_t width = (size_t)ScreenFit::ColumnsFor(columns);
	bool wide = width >= (size_t)ScreenFit::kDefaultColumns;
	std::string list = "\nWho is online:\n";
	char line[512];
	// "  " name, where, idle, the terminal, " " and the way in.
	int terminalWidth = (int)width - 2 - 31 - 12 - 7 - 7;
	if (wide) {
		snprintf(line, sizeof(line), "  %-30s %-11s %6s %-*s %s", "Name",
			"Where", "Idle", terminalWidth, "Terminal", "Way in");
		list += line;
		list += "\n";
	}
	for (const Presence& caller : callers) {
		BString terminal = caller.terminal.Length() > 0 ? caller.terminal
			: BString("unknown");
		const char* where = caller.inDoor ? "in the door" : "front room";
		std::string name = PrintableUserName(caller.name).String();
		std::string shownTerminal = PrintableUserName(terminal).String();
		if (wide) {
			snprintf(line, sizeof(line), "  %-30s %-11s %6s %-*.*s %s",
				name.c_str(), where, IdleText(caller.idle).c_str(),
				terminalWidth, terminalWidth, shownTerminal.c_str(),
				caller.way);
			list += line;
			list += "\n";
			continue;
		}
		list += ScreenFit::Wrapped("  " + name, (int32)width) + "\n";
		snprintf(line, sizeof(line), "    %s, idle %s, %s, %s", where,
			IdleText(caller.idle).c_str(), caller.way,
			shownTerminal.c_str());
		list += std::string(line).substr(0, width) + "\n";
	}
	return list;
}


std::string
FrontRoom::IdleText(bigtime_t idle)
{
	int64 seconds = idle / 1000000;
	char text[32];
	snprintf(text, sizeof(text), "%lld:%02lld", (long long)(seconds / 60),
		(long long)(seconds % 60));
	return text;
}
