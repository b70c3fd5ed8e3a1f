#include "FrontRoom.h"

#include <ZenboUserName.h>

#include <ctype.h>
#include <stdio.h>


const char* const FrontRoom::kPromptLine = "Your choice: ";


std::string
FrontRoom::Menu(const BString& name)
{
	return std::string("\n") + PrintableUserName(name).String()
		+ ", you are in the front room of the board.\n"
		"  (E) Enter Drelmoor\n"
		"  (W) Who is online\n"
		"  (P) Page the sysop\n"
		"  (G) Good-bye\n" + kPromptLine;
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
		case 'p':
			*shown = "P\n";
			return Choice::kPageSysop;
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
std::string
FrontRoom::WhoIsOnline(const std::vector<Presence>& callers)
{
	std::string list = "\nWho is online:\n";
	char line[160];
	snprintf(line, sizeof(line), "  %-30s %-11s %6s  %-22s %s\n", "Name",
		"Where", "Idle", "Terminal", "Way in");
	list += line;
	for (const Presence& caller : callers) {
		BString terminal = caller.terminal.Length() > 0 ? caller.terminal
			: BString("unknown");
		snprintf(line, sizeof(line), "  %-30s %-11s %6s  %-22s %s\n",
			PrintableUserName(caller.name).String(),
			caller.inDoor ? "in the door" : "front room",
			IdleText(caller.idle).c_str(),
			PrintableUserName(terminal).String(), caller.way);
		list += line;
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
