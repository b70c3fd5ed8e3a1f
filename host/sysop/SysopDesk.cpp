#include "SysopDesk.h"

#include "AccountDatabase.h"
#include "Board.h"
#include "CharacterListing.h"
#include "FrontRoom.h"
#include "HostLog.h"
#include "PeerText.h"
#include "ProcessFigures.h"
#include "VraskPaths.h"

#include <BootVolume.h>
#include <Errors.h>
#include <ZenboUserName.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>


static const char* const kKickNotice
	= "The sysop has disconnected you. Good-bye.";
static const char* const kNoticeIntroduction = "*** Notice from the sysop: ";
static const char* const kKickReasonIntroduction = "The sysop's reason: ";
static const size_t kMinPasswordHashLength = 20;

// The sysop's who fits an 80-column terminal: the widths of its columns
// (a name as long as the longest on the board, at most the longest the
// rule allows; the longest way in, an IPv4 address, an idle time), and
// what is left for the state and the terminal.
static const int kWhoLineWidth = 80;
static const int kWhoMinNameWidth = 4;
static const int kWhoMaxNameWidth = 30;
static const int kWhoWayWidth = 6;
static const int kWhoWhereWidth = 15;
static const int kWhoIdleWidth = 5;

// The ways in zenbo status always names, so that a monitor finds each
// figure even while it is 0.
static const char* const kWaysIn[] = { "telnet", "ssh", "web", "rlogin",
	"bridge", "away" };


static SysopConnection::Answer
Done(const std::string& text)
{
	SysopConnection::Answer answer;
	answer.text = text;
	return answer;
}


static SysopConnection::Answer
Failed(const std::string& message, uint8 exitStatus = 1)
{
	SysopConnection::Answer answer;
	answer.done = false;
	answer.exitStatus = exitStatus;
	answer.text = message;
	return answer;
}


static std::string
Printable(const std::string& name)
{
	return PrintableUserName(BString(name.c_str())).String();
}


// A field cut to its column: what is cut shows as "..", so that a column
// never pushes the next out of place.
static std::string
Fit(const std::string& text, size_t width)
{
	if (text.size() <= width)
		return text;
	return text.substr(0, width - 2) + "..";
}


// As the front room's lists show it while it is short, then in hours, then
// days: never wider than the column.
static std::string
ShortTime(bigtime_t time)
{
	int64 seconds = time / 1000000;
	char text[32];
	if (seconds < 100 * 60)
		return FrontRoom::IdleText(time);
	if (seconds < 100 * 3600) {
		snprintf(text, sizeof(text), "%lldh%02lld", (long long)(seconds / 3600),
			(long long)(seconds / 60 % 60));
	} else
		snprintf(text, sizeof(text), "%lldd", (long long)(seconds / 86400));
	return text;
}


// "XTERM 80x24" as "80x24 XTERM"; a type without a window as it is.
static std::string
WindowFirst(const std::string& terminal)
{
	std::string type;
	std::string window;
	if (!FrontRoom::SplitWindow(terminal, &type, &window))
		return terminal;
	return window + " " + type;
}


// A reason for a caller's screen and the log: one line of printable
// characters, anything else shown as its escape, and no longer than a
// notice.
static std::string
CleanReason(const std::string& reason)
{
	std::string clean = PeerText::Escaped(reason);
	if (clean.size() > kMaxSysopNoticeLength)
		clean = clean.substr(0, kMaxSysopNoticeLength - 3) + "...";
	return clean;
}


SysopDesk::SysopDesk(Board& board, AccountDatabase& accounts)
	:
	fBoard(board),
	fAccounts(accounts),
	fStarted(time(NULL))
{
}


SysopConnection::Answer
SysopDesk::Handle(const std::vector<std::string>& words,
	SysopConnection& connection)
{
	const std::string& request = words[0];
	size_t arguments = words.size() - 1;
	if (request == "who" && arguments == 0)
		return _Who();
	if (request == "kick" && (arguments == 1 || arguments == 2))
		return _Kick(words[1], arguments == 2 ? words[2] : "");
	if (request == "status" && arguments <= 1)
		return _Status(arguments == 1 && words[1] == "json");
	if (request == "spy" && arguments == 1)
		return _Spy(words[1], connection);
	if (request == "chat" && arguments == 1)
		return _Chat(words[1], connection);
	if (request == "chat-wait" && arguments == 0)
		return _WaitForPage(connection);
	if (request == "say" && arguments == 1)
		return _Say(words[1]);
	if (request == "delete-player" && arguments == 1)
		return _DeletePlayer(words[1]);
	if (request == "create-account" && arguments == 2)
		return _CreateAccount(words[1], words[2]);
	if (request == "set-password" && arguments == 2)
		return _SetPassword(words[1], words[2]);
	if (request == "lock" && arguments == 1)
		return _SetLocked(words[1], true);
	if (request == "unlock" && arguments == 1)
		return _SetLocked(words[1], false);
	return Failed("this host does not know the request " + Printable(request)
		+ " (a zenbo of another version?)", 2);
}


SysopConnection::Answer
SysopDesk::_Who()
{
	std::vector<Board::CallerView> callers = fBoard.ListCallers();
	std::string table;
	int nameWidth = kWhoMinNameWidth;
	for (const Board::CallerView& caller : callers)
		nameWidth = std::max(nameWidth, (int)caller.name.Length());
	nameWidth = std::min(nameWidth, kWhoMaxNameWidth);
	const int stateWidth = kWhoLineWidth - nameWidth - kWhoWayWidth
		- kWhoWhereWidth - kWhoIdleWidth - 4;
	char line[256];
	snprintf(line, sizeof(line), "%-*s %-*s %-*s %*s %s\n", nameWidth,
		"Name", kWhoWayWidth, "Way", kWhoWhereWidth, "Where", kWhoIdleWidth,
		"Idle", "State");
	table += line;
	for (const Board::CallerView& caller : callers) {
		// The time a caller's own board left them, and whether the sysop
		// is wanted or already there, after the state.
		std::string state = caller.state;
		if (caller.timeLeft >= 0) {
			state = std::string(caller.state == std::string("in the door")
				? "door" : caller.state) + ", " + ShortTime(caller.timeLeft)
				+ " left";
		} else if (caller.watched)
			state += ", sysop";
		else if (caller.paged)
			state += ", paged";
		// The window and the terminal, which the caller may change at any
		// time (a phone turned on its side): last, as the least needed, and
		// the window before the type's name, which is cut first.
		if (caller.terminal.Length() > 0)
			state += ", " + WindowFirst(caller.terminal.String());
		snprintf(line, sizeof(line), "%-*s %-*s %-*s %*s %s\n",
			nameWidth, Fit(caller.name.Length() > 0
				? caller.name.String() : "-", nameWidth).c_str(),
			kWhoWayWidth, Fit(caller.kind.Length() > 0 ? caller.kind.String()
				: "-", kWhoWayWidth).c_str(),
			kWhoWhereWidth, Fit(caller.where.String(), kWhoWhereWidth).c_str(),
			kWhoIdleWidth, ShortTime(caller.idle).c_str(),
			Fit(state, stateWidth).c_str());
		table += line;
	}
	snprintf(line, sizeof(line), "%d %s on the board.\n", (int)callers.size(),
		callers.size() == 1 ? "caller" : "callers");
	table += line;
	return Done(table);
}


SysopConnection::Answer
SysopDesk::_Kick(const std::string& name, const std::string& reason)
{
	std::string notice = kKickNotice;
	std::string clean = CleanReason(reason);
	if (!clean.empty())
		notice += std::string("\n") + kKickReasonIntroduction + clean;
	if (!fBoard.Kick(BString(name.c_str()), notice.c_str(), clean))
		return Failed("nobody called " + Printable(name) + " is on the board"
			" (see zenbo who)");
	return Done("Disconnected " + Printable(name) + ".\n");
}


static std::string
Megabytes(int64 bytes)
{
	if (bytes < 0)
		return "?";
	char text[32];
	snprintf(text, sizeof(text), "%.1f MiB", (double)bytes / (1024 * 1024));
	return text;
}


static std::string
Figure(int64 value)
{
	return value < 0 ? "?" : std::to_string((long long)value);
}


// -1 (a figure /proc would not give) is null in JSON, never a number a
// monitor could take for a reading.
static std::string
JsonFigure(int64 value)
{
	return value < 0 ? "null" : std::to_string((long long)value);
}


SysopConnection::Answer
SysopDesk::_Status(bool json)
{
	Board::Figures figures = fBoard.CountFigures();
	ProcessFigures host = ProcessFigures::Of(getpid());
	int32 doors = 0;
	ProcessFigures door = ProcessFigures::OfChildren(getpid(), &doors);
	int64 uptime = (int64)(time(NULL) - fStarted);
	int32 callers = 0;
	for (auto& entry : figures.callersByWay)
		callers += entry.second;
	std::vector<std::string> ways(std::begin(kWaysIn), std::end(kWaysIn));
	for (auto& entry : figures.callersByWay) {
		if (std::find(ways.begin(), ways.end(), entry.first) == ways.end())
			ways.push_back(entry.first);
	}
	auto count = [&](const std::string& way) {
		auto found = figures.callersByWay.find(way);
		return found != figures.callersByWay.end() ? found->second : 0;
	};

	char text[4096];
	if (json) {
		std::string byWay;
		for (const std::string& way : ways) {
			byWay += (byWay.empty() ? "" : ", ") + std::string("\"") + way
				+ "\": " + std::to_string(count(way));
		}
		snprintf(text, sizeof(text), "{\"version\": \"%s\","
			" \"uptime_seconds\": %lld, \"callers\": %d,"
			" \"callers_by_way\": {%s}, \"sessions\": %d,"
			" \"logins_today\": %d, \"failed_logins_today\": %d,"
			" \"locked_names\": %d, \"host\": {\"resident_bytes\": %s,"
			" \"threads\": %s, \"descriptors\": %s}, \"door\":"
			" {\"processes\": %d, \"resident_bytes\": %s, \"threads\": %s,"
			" \"descriptors\": %s}, \"keys_per_second\": %.2f,"
			" \"door_exchanges_per_second\": %.2f}\n", DRELMOOR_VERSION,
			(long long)uptime, (int)callers, byWay.c_str(),
			(int)figures.sessions, (int)figures.loginsToday,
			(int)figures.failedLoginsToday, (int)figures.lockedNames,
			JsonFigure(host.residentBytes).c_str(),
			JsonFigure(host.threads).c_str(),
			JsonFigure(host.descriptors).c_str(), (int)doors,
			JsonFigure(doors > 0 ? door.residentBytes : 0).c_str(),
			JsonFigure(doors > 0 ? door.threads : 0).c_str(),
			JsonFigure(doors > 0 ? door.descriptors : 0).c_str(),
			figures.keysPerSecond, figures.exchangesPerSecond);
		return Done(text);
	}

	std::string byWay;
	for (const std::string& way : ways) {
		if (count(way) > 0) {
			byWay += (byWay.empty() ? " (" : ", ") + way + " "
				+ std::to_string(count(way));
		}
	}
	if (!byWay.empty())
		byWay += ")";
	std::string doorLine = doors == 0 ? std::string("not running")
		: Megabytes(door.residentBytes) + " resident, "
			+ Figure(door.threads) + " threads, " + Figure(door.descriptors)
			+ " descriptors";
	snprintf(text, sizeof(text),
		"zenbo %s, up %lldd %02lld:%02lld:%02lld\n"
		"Callers:               %d%s\n"
		"Sessions in the door:  %d\n"
		"Logins today:          %d (failed: %d)\n"
		"Locked names:          %d\n"
		"Host:                  %s resident, %s threads, %s descriptors\n"
		"Door:                  %s\n"
		"Per second, last minute: %.2f keys, %.2f door exchanges\n",
		DRELMOOR_VERSION, (long long)(uptime / 86400),
		(long long)(uptime / 3600 % 24), (long long)(uptime / 60 % 60),
		(long long)(uptime % 60), (int)callers, byWay.c_str(),
		(int)figures.sessions, (int)figures.loginsToday,
		(int)figures.failedLoginsToday, (int)figures.lockedNames,
		Megabytes(host.residentBytes).c_str(), Figure(host.threads).c_str(),
		Figure(host.descriptors).c_str(), doorLine.c_str(),
		figures.keysPerSecond, figures.exchangesPerSecond);
	return Done(text);
}


static SysopConnection::Answer
WatchRefused(Board::Watch watch, const std::string& name,
	const BString& who)
{
	if (watch == Board::Watch::kAlreadyWatched) {
		return Failed(std::string(who.String()) + " is watched or in a chat"
			" already (end that first)");
	}
	return Failed("nobody called " + Printable(name) + " is on the board"
		" with a screen to watch (see zenbo who)");
}


SysopConnection::Answer
SysopDesk::_Spy(const std::string& name, SysopConnection& connection)
{
	BString who;
	Board::Watch watch = fBoard.Spy(BString(name.c_str()), &connection, &who);
	if (watch != Board::Watch::kStarted)
		return WatchRefused(watch, name, who);
	_Follow(connection, "Stopped watching.");
	SysopConnection::Answer answer;
	answer.staysOpen = true;
	return answer;
}


SysopConnection::Answer
SysopDesk::_Chat(const std::string& name, SysopConnection& connection)
{
	BString who;
	Board::Watch watch = fBoard.Chat(BString(name.c_str()), &connection, &who);
	if (watch != Board::Watch::kStarted)
		return WatchRefused(watch, name, who);
	_Follow(connection, "The chat has ended.");
	SysopConnection::Answer answer;
	answer.staysOpen = true;
	return answer;
}


SysopConnection::Answer
SysopDesk::_WaitForPage(SysopConnection& connection)
{
	_Follow(connection, "The chat has ended.");
	fBoard.WaitForPage(&connection);
	SysopConnection::Answer answer;
	answer.staysOpen = true;
	return answer;
}


// The sysop's keys go to the chat, the sysop's end or hang-up ends the
// watch, and the board forgets the connection when it goes.
void
SysopDesk::_Follow(SysopConnection& connection, const char* ended)
{
	Board& board = fBoard;
	SysopConnection* sysop = &connection;
	connection.SetKeysTyped([&board, sysop](const std::string& keys) {
		board.ChatTyped(sysop, keys);
	});
	std::string endedText = ended;
	connection.SetEndAsked([&board, sysop, endedText]() {
		board.Unwatch(sysop);
		sysop->Ended(endedText);
	});
	connection.SetGone([&board, sysop]() { board.Unwatch(sysop); });
}


SysopConnection::Answer
SysopDesk::_Say(const std::string& text)
{
	// One line of plain characters: nothing that moves a caller's cursor
	// or drives their terminal.
	for (char c : text) {
		if ((uint8)c < 0x20 || (uint8)c == 0x7f)
			return Failed("a notice is one line of printable characters");
	}
	if (text.empty() || text.size() > kMaxSysopNoticeLength) {
		return Failed("a notice has 1 to "
			+ std::to_string(kMaxSysopNoticeLength) + " characters");
	}
	int32 count = fBoard.Announce(kNoticeIntroduction + text);
	return Done("The notice goes to " + std::to_string(count)
		+ (count == 1 ? " caller" : " callers") + " at their next prompt.\n");
}


SysopConnection::Answer
SysopDesk::_DeletePlayer(const std::string& name)
{
	BString wanted(name.c_str());
	std::vector<CharacterListing::Character> entries;
	if (CharacterListing::ReadAll(&entries) != B_OK)
		return Failed("the boot volume has no users folder");
	// The player file is named as the board name was registered; the
	// sysop may type it in any case, as callers do.
	const CharacterListing::Character* found = NULL;
	for (const CharacterListing::Character& entry : entries) {
		if (entry.userName == wanted) {
			found = &entry;
			break;
		}
		if (NameKey(entry.userName) == NameKey(wanted))
			found = &entry;
	}
	if (found == NULL) {
		return Failed("there is no character of " + Printable(name)
			+ " (see zenbo players)");
	}
	BString userName = found->userName;
	if (fBoard.HasSeat(userName)) {
		return Failed(std::string(PrintableUserName(userName).String())
			+ " is in the door; the character can go once the session has"
			" ended (zenbo kick " + PrintableUserName(userName).String()
			+ ")");
	}
	BString bootPath(kUsersFolder);
	bootPath << userName;
	BString path;
	status_t status = resolve_boot_path(bootPath.String(), &path);
	if (status == B_OK && unlink(path.String()) != 0)
		status = status_from_errno(errno);
	if (status != B_OK) {
		return Failed("cannot delete " + std::string(path.String()) + ": "
			+ strerror_status(status));
	}
	HostLog("the sysop deleted the character of %s",
		EscapedUserName(userName).String());
	return Done("Deleted the character of "
		+ std::string(PrintableUserName(userName).String()) + ".\n");
}


bool
SysopDesk::_LoadAccounts(std::string* problem)
{
	// A host without telnet callers has not read them yet.
	if (fAccounts.IsOpen())
		return true;
	BString message;
	status_t status = fAccounts.Open(AccountDatabase::Access::kReadWrite,
		&message);
	if (status == B_OK)
		return true;
	*problem = message.Length() > 0 ? message.String()
		: strerror_status(status);
	return false;
}


static bool
IsPasswordHash(const std::string& hash)
{
	return hash.compare(0, 10, "$argon2id$") == 0
		&& hash.size() >= kMinPasswordHashLength
		&& hash.find_first_of("\t\n") == std::string::npos;
}


// The account of a name that plays without one (a board's node caller),
// or of any name the rule allows. The character, if there is one, is the
// door's and stays as it is; the account takes its name as its file has it.
SysopConnection::Answer
SysopDesk::_CreateAccount(const std::string& name, const std::string& hash)
{
	if (!IsPasswordHash(hash))
		return Failed("that is no Argon2id hash", 2);
	BString wanted(name.c_str());
	UserNameProblem problem = JudgeUserName(wanted);
	if (problem != UserNameProblem::kNone) {
		return Failed(Printable(name) + " cannot be a board name: the name "
			+ DescribeUserNameProblem(problem), 2);
	}
	if (name.find('@') != std::string::npos) {
		return Failed("a name with an @ is another board's caller's; choose"
			" one without", 2);
	}
	// Under the name its character's file has, which the door finds it by.
	BString userName;
	if (CharacterListing::FindUserName(wanted, &userName) == B_OK)
		wanted = userName;
	std::string loadProblem;
	if (!_LoadAccounts(&loadProblem))
		return Failed(loadProblem);
	status_t status = fAccounts.Add(wanted, hash);
	if (status == B_FILE_EXISTS)
		return Failed("there is already an account " + Printable(name));
	if (status != B_OK) {
		return Failed(std::string("cannot keep the accounts: ")
			+ strerror_status(status));
	}
	HostLog("the sysop made the account of %s",
		EscapedUserName(wanted).String());
	return Done(PrintableUserName(wanted).String());
}


SysopConnection::Answer
SysopDesk::_SetPassword(const std::string& name, const std::string& hash)
{
	if (!IsPasswordHash(hash))
		return Failed("that is no Argon2id hash", 2);
	std::string problem;
	if (!_LoadAccounts(&problem))
		return Failed(problem);
	BString storedName;
	status_t status = fAccounts.SetHash(BString(name.c_str()), hash,
		&storedName);
	if (status == B_ENTRY_NOT_FOUND)
		return Failed("there is no account " + Printable(name));
	if (status != B_OK) {
		return Failed(std::string("cannot keep the accounts: ")
			+ strerror_status(status));
	}
	HostLog("the sysop gave %s a new password",
		EscapedUserName(storedName).String());
	return Done(storedName.String());
}


SysopConnection::Answer
SysopDesk::_SetLocked(const std::string& name, bool locked)
{
	std::string problem;
	if (!_LoadAccounts(&problem))
		return Failed(problem);
	BString storedName;
	status_t status = fAccounts.SetLocked(BString(name.c_str()), locked,
		&storedName);
	if (status == B_ENTRY_NOT_FOUND)
		return Failed("there is no account " + Printable(name));
	if (status != B_OK) {
		return Failed(std::string("cannot keep the accounts: ")
			+ strerror_status(status));
	}
	HostLog("the sysop %s the account of %s", locked ? "locked" : "unlocked",
		EscapedUserName(storedName).String());
	std::string printable = PrintableUserName(storedName).String();
	std::string text = "The account of " + printable + " is "
		+ (locked ? "locked" : "unlocked") + ".\n";
	if (locked && fBoard.IsOnBoard(storedName)) {
		text += printable + " is on the board now; zenbo kick " + printable
			+ " disconnects them.\n";
	}
	return Done(text);
}
