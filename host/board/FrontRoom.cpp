#include "FrontRoom.h"

#include "ScreenFit.h"

#include <ZenboUserName.h>

#include <ctype.h>
#include <stdio.h>
#include <time.h>


const char* const FrontRoom::kPromptLine = "Your choice: ";


std::string
FrontRoom::Menu(const BString& name, const char* characters)
{
	std::string menu = std::string("\n") + PrintableUserName(name).String()
		+ ", you are in the front room of the board.\n"
		"  (E) Enter Drelmoor\n"
		"  (W) Who is online\n"
		"  (L) Last callers\n"
		"  (C) Change password\n"
		"  (P) Page the sysop\n";
	if (characters != NULL)
		menu += std::string("  (S) Character set: ") + characters + "\n";
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
		case 'l':
			*shown = "L\n";
			return Choice::kLastCallers;
		case 'c':
			*shown = "C\n";
			return Choice::kChangePassword;
		case 'p':
			*shown = "P\n";
			return Choice::kPageSysop;
		case 's':
			*shown = "S\n";
			return Choice::kCharacters;
		case 'g':
			*shown = "G\n";
			return Choice::kGoodBye;
		default:
			shown->clear();
			return Choice::kNone;
	}
}


// A terminal ("XTERM 80x24") in the width a list leaves it: the type's
// name is cut, with "..", before the window is, which the caller can
// change and the others may want to know.
static std::string
FittedTerminal(const std::string& terminal, size_t width)
{
	if (terminal.size() <= width)
		return terminal;
	std::string type;
	std::string window;
	if (!FrontRoom::SplitWindow(terminal, &type, &window)
		|| window.size() + 4 > width) {
		return terminal.substr(0, width);
	}
	return type.substr(0, width - window.size() - 3) + ".. " + window;
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
				terminalWidth, terminalWidth,
				FittedTerminal(shownTerminal, (size_t)terminalWidth).c_str(),
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
FrontRoom::LastCallers(const std::vector<CallRecord>& calls)
{
	std::string list = "\nLast callers:\n";
	if (calls.empty())
		return list + "  Nobody has called yet.\n";
	char line[160];
	snprintf(line, sizeof(line), "  %-30s %-7s %-16s %8s\n", "Name",
		"Way in", "When", "How long");
	list += line;
	for (const CallRecord& call : calls) {
		snprintf(line, sizeof(line), "  %-30s %-7s %-16s %8s\n",
			PrintableUserName(call.name).String(),
			PrintableUserName(call.way).String(), WhenText(call.start).c_str(),
			LengthText(call).c_str());
		list += line;
	}
	return list;
}


std::string
FrontRoom::LengthText(const CallRecord& call)
{
	if (!call.ended)
		return "online";
	// The host died under the call: its end went unrecorded.
	if (call.end == 0)
		return "?";
	long long seconds = call.end > call.start
		? (long long)(call.end - call.start) : 0;
	char text[32];
	snprintf(text, sizeof(text), "%lld:%02lld:%02lld", seconds / 3600,
		seconds / 60 % 60, seconds % 60);
	return text;
}


std::string
FrontRoom::WhenText(time_t when)
{
	struct tm local;
	char text[32];
	if (localtime_r(&when, &local) == NULL
		|| strftime(text, sizeof(text), "%Y-%m-%d %H:%M", &local) == 0) {
		return "?";
	}
	return text;
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


bool
FrontRoom::SplitWindow(const std::string& terminal, std::string* type,
	std::string* window)
{
	size_t space = terminal.rfind(' ');
	if (space == std::string::npos)
		return false;
	std::string last = terminal.substr(space + 1);
	size_t times = last.find('x');
	if (times == std::string::npos || times == 0 || times + 1 == last.size()
		|| last.find_first_not_of("0123456789x") != std::string::npos) {
		return false;
	}
	*type = terminal.substr(0, space);
	*window = last;
	return true;
}
