#include "SysopDesk.h"

#include "AccountFile.h"
#include "Board.h"
#include "CharacterListing.h"
#include "FrontRoom.h"
#include "HostLog.h"
#include "VraskPaths.h"

#include <BootVolume.h>
#include <Errors.h>
#include <ZenboUserName.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>


static const char* const kKickNotice
	= "The sysop has disconnected you. Good-bye.";
static const char* const kNoticeIntroduction = "*** Notice from the sysop: ";
static const size_t kMinPasswordHashLength = 20;


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


SysopDesk::SysopDesk(Board& board, AccountFile& accounts)
	:
	fBoard(board),
	fAccounts(accounts)
{
}


SysopConnection::Answer
SysopDesk::Handle(const std::vector<std::string>& words)
{
	const std::string& request = words[0];
	size_t arguments = words.size() - 1;
	if (request == "who" && arguments == 0)
		return _Who();
	if (request == "kick" && arguments == 1)
		return _Kick(words[1]);
	if (request == "say" && arguments == 1)
		return _Say(words[1]);
	if (request == "delete-player" && arguments == 1)
		return _DeletePlayer(words[1]);
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
	char line[256];
	snprintf(line, sizeof(line), "%-30s %-8s %-24s %6s  %s\n", "Name",
		"Came in", "Where", "Idle", "State");
	table += line;
	for (const Board::CallerView& caller : callers) {
		// The time a caller's own board left them, after the state.
		std::string state = caller.state;
		if (caller.timeLeft >= 0)
			state += ", " + FrontRoom::IdleText(caller.timeLeft) + " left";
		// The terminal and its window, which the caller may change at any
		// time (a phone turned on its side).
		if (caller.terminal.Length() > 0)
			state += std::string(", ") + caller.terminal.String();
		snprintf(line, sizeof(line), "%-30s %-8s %-24s %6s  %s\n",
			caller.name.Length() > 0 ? caller.name.String() : "-",
			caller.kind.Length() > 0 ? caller.kind.String() : "-",
			caller.where.String(), FrontRoom::IdleText(caller.idle).c_str(),
			state.c_str());
		table += line;
	}
	snprintf(line, sizeof(line), "%d %s on the board.\n", (int)callers.size(),
		callers.size() == 1 ? "caller" : "callers");
	table += line;
	return Done(table);
}


SysopConnection::Answer
SysopDesk::_Kick(const std::string& name)
{
	if (!fBoard.Kick(BString(name.c_str()), kKickNotice))
		return Failed("nobody called " + Printable(name) + " is on the board"
			" (see zenbo who)");
	return Done("Disconnected " + Printable(name) + ".\n");
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
	if (fAccounts.IsLoaded())
		return true;
	BString message;
	status_t status = fAccounts.Load(&message);
	if (status == B_OK)
		return true;
	*problem = message.Length() > 0 ? message.String()
		: strerror_status(status);
	return false;
}


SysopConnection::Answer
SysopDesk::_SetPassword(const std::string& name, const std::string& hash)
{
	if (hash.compare(0, 10, "$argon2id$") != 0
		|| hash.size() < kMinPasswordHashLength
		|| hash.find_first_of("\t\n") != std::string::npos) {
		return Failed("that is no Argon2id hash", 2);
	}
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
