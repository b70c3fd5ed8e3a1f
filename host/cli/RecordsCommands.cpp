#include "RecordsCommands.h"

#include "AccountDatabase.h"
#include "FrontRoom.h"
#include "HostLog.h"

#include <ZenboUserName.h>

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>


namespace {

const char* const kCallsUsage =
	"Usage: zenbo calls [--last N] [--name NAME] [--volume DIR]\n"
	"Lists the board's last calls, the newest first (20 unless --last says\n"
	"otherwise, at most 10000): when each began, the board name, the way in\n"
	"(telnet, ssh, web, bridge, rlogin), how long it lasted and how it ended\n"
	"(good-bye, dropped, idle, kicked, taken over, time up, shut down; online\n"
	"while it goes on; a call the host died under is dropped, its length\n"
	"unknown: ?), and where it came from. --name lists the calls of\n"
	"one board name (in any case). Reads the board's records; the host need\n"
	"not run.\n";

const int32 kDefaultCalls = 20;
const int32 kMaxCalls = 10000;
const size_t kScreenWidth = 80;
const size_t kMaxNameWidth = 30;


// A count of calls: digits alone, 1 to kMaxCalls.
bool
ParseCount(const char* text, int32* count)
{
	size_t length = strlen(text);
	if (length == 0 || length > 5 || strspn(text, "0123456789") != length)
		return false;
	long value = strtol(text, NULL, 10);
	if (value < 1 || value > kMaxCalls)
		return false;
	*count = (int32)value;
	return true;
}


bool
OpenRecords(const char* command, AccountDatabase* records)
{
	BString problem;
	status_t status = records->Open(AccountDatabase::Access::kReadOnly,
		&problem);
	if (status == B_OK)
		return true;
	HostLog("%s: %s", command, problem.String());
	return false;
}


std::string
Padded(const std::string& text, size_t width)
{
	return text.size() >= width ? text
		: text + std::string(width - text.size(), ' ');
}


std::string
EndingText(const CallRecord& call)
{
	return call.ended ? CallEndingName(call.ending) : "online";
}

}	// namespace


// The volume of --volume for every reader of the board's files, made
// absolute so that a later change of folder does not move it.
void
UseVolumeFolder(const char* volume)
{
	if (volume == NULL)
		return;
	std::string path(volume);
	if (path[0] != '/') {
		char folder[PATH_MAX];
		if (getcwd(folder, sizeof(folder)) != NULL)
			path = std::string(folder) + "/" + path;
	}
	setenv("BOOT_VOLUME", path.c_str(), 1);
}


std::string
FormatCallTable(const std::vector<CallRecord>& calls)
{
	std::vector<std::string> names;
	std::vector<std::string> addresses;
	size_t nameWidth = 4;
	size_t addressWidth = 4;
	for (const CallRecord& call : calls) {
		names.push_back(EscapedUserName(call.name).String());
		addresses.push_back(EscapedUserName(call.address).String());
		nameWidth = std::max(nameWidth,
			std::min(names.back().size(), kMaxNameWidth));
		addressWidth = std::max(addressWidth, addresses.back().size());
	}
	// When, name, way in, length and ending; then the address, in its own
	// column when every one fits beside them.
	size_t fixed = 16 + 2 + nameWidth + 2 + 6 + 2 + 8 + 2 + 10;
	bool addressInColumn = fixed + 2 + addressWidth <= kScreenWidth;
	size_t indent = 16 + 2;

	std::string table = Padded("When", 16) + "  " + Padded("Name", nameWidth)
		+ "  " + Padded("Way in", 6) + "  " + Padded("Length", 8) + "  "
		+ (addressInColumn ? Padded("Ended", 10) + "  From" : "Ended")
		+ "\n";
	for (size_t i = 0; i < calls.size(); i++) {
		const CallRecord& call = calls[i];
		std::string line = FrontRoom::WhenText(call.start) + "  ";
		if (names[i].size() > nameWidth) {
			// A name longer than the column stands on a line of its own.
			line += names[i] + "\n" + std::string(indent + nameWidth, ' ');
		} else
			line += Padded(names[i], nameWidth);
		// A call that goes on has lasted until now.
		CallRecord lasted = call;
		if (!call.ended) {
			lasted.ended = true;
			lasted.end = time(NULL);
		}
		std::string length = FrontRoom::LengthText(lasted);
		line += "  " + Padded(PrintableUserName(call.way).String(), 6) + "  "
			+ std::string(length.size() < 8 ? 8 - length.size() : 0, ' ')
			+ length + "  ";
		if (addressInColumn)
			line += Padded(EndingText(call), 10) + "  " + addresses[i];
		else {
			line += EndingText(call) + "\n" + std::string(indent, ' ')
				+ "from " + addresses[i];
		}
		// No trailing blanks.
		line.erase(line.find_last_not_of(' ') + 1);
		table += line + "\n";
	}
	return table;
}


int
RunCallsCommand(int count, char** arguments)
{
	const char* command = arguments[0];
	int32 last = kDefaultCalls;
	const char* name = NULL;
	const char* volume = NULL;
	for (int i = 1; i < count; i++) {
		const char* argument = arguments[i];
		if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
			fputs(kCallsUsage, stdout);
			return 0;
		}
		bool takesValue = strcmp(argument, "--last") == 0
			|| strcmp(argument, "--name") == 0
			|| strcmp(argument, "--volume") == 0;
		if (!takesValue) {
			HostLog("%s: unknown argument: %s (see zenbo %s --help)", command,
				EscapedUserName(argument).String(), command);
			return 2;
		}
		if (i + 1 >= count || arguments[i + 1][0] == '\0') {
			HostLog("%s: %s needs a value", command, argument);
			return 2;
		}
		const char* value = arguments[++i];
		if (strcmp(argument, "--last") == 0) {
			if (!ParseCount(value, &last)) {
				HostLog("%s: --last takes a number of calls from 1 to %d,"
					" not %s", command, (int)kMaxCalls,
					EscapedUserName(value).String());
				return 2;
			}
		} else if (strcmp(argument, "--name") == 0)
			name = value;
		else
			volume = value;
	}
	UseVolumeFolder(volume);

	AccountDatabase records;
	if (!OpenRecords(command, &records))
		return 1;
	std::vector<CallRecord> calls = records.LastCalls(last,
		BString(name != NULL ? name : ""));
	if (calls.empty()) {
		if (name != NULL) {
			printf("No calls of %s.\n", EscapedUserName(name).String());
		} else
			fputs("No calls yet.\n", stdout);
		return 0;
	}
	fputs(FormatCallTable(calls).c_str(), stdout);
	return 0;
}


int
ShowAccountRecord(const char* command, const std::string& name)
{
	AccountDatabase records;
	if (!OpenRecords(command, &records))
		return 1;
	AccountDatabase::Account account;
	status_t status = records.GetAccount(BString(name.c_str()), &account);
	if (status == B_ENTRY_NOT_FOUND) {
		HostLog("%s: there is no account %s", command,
			EscapedUserName(name.c_str()).String());
		return 1;
	}
	if (status != B_OK) {
		HostLog("%s: cannot read the board's records: %s", command,
			strerror_status(status));
		return 1;
	}
	long long seconds = (long long)account.secondsOnline;
	printf("Account:      %s%s\n", EscapedUserName(account.name).String(),
		account.locked ? " (locked)" : "");
	printf("First call:   %s\n", account.firstCall != 0
		? FrontRoom::WhenText(account.firstCall).c_str() : "never");
	printf("Last call:    %s\n", account.lastCall != 0
		? FrontRoom::WhenText(account.lastCall).c_str() : "never");
	printf("Calls:        %lld\n", (long long)account.calls);
	printf("Time online:  %lld:%02lld:%02lld\n", seconds / 3600,
		seconds / 60 % 60, seconds % 60);
	return 0;
}


bool
ReadLastCallsByName(std::map<std::string, time_t>* last)
{
	AccountDatabase records;
	BString problem;
	if (records.Open(AccountDatabase::Access::kReadOnly, &problem) != B_OK)
		return false;
	*last = records.LastCallsByName();
	return true;
}
