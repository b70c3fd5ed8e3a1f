#include "SysopCommands.h"

#include "AccountStore.h"
#include "BoardCommand.h"
#include "Bulletin.h"
#include "CharacterListing.h"
#include "HostLog.h"
#include "PasswordHash.h"
#include "RecordsCommands.h"
#include "SysopClient.h"

#include <BootVolume.h>
#include <ZenboUserName.h>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>


namespace {

const char* const kPlayersUsage =
	"Usage: zenbo players [--volume DIR]\n"
	"Lists every character of the boot volume: name, board name, level, hit\n"
	"points, gold and when it was last played (its last call in the board's\n"
	"records; the player file's last save for one with no call recorded),\n"
	"highest level first. Reads the player files and the records; the host\n"
	"need not run.\n";

const char* const kBulletinUsage =
	"Usage: zenbo bulletin [--format text|ansi|html] [--out FILE]"
	" [--volume DIR]\n"
	"Writes the Wall of Fame as a score bulletin: every character by level,\n"
	"with its weapon and armor. text and ansi (with colours) suit a board's\n"
	"bulletin menu, html a board's web site. Without --out it goes to\n"
	"standard output; with it, the file is replaced whole, so a web server\n"
	"never serves half of one. Run it from cron or a systemd timer.\n";

const char* const kWhoUsage =
	"Usage: zenbo who [--volume DIR]\n"
	"Lists the callers on the running host's board: the board name, how they\n"
	"came in (telnet, bridge, ...), where from (the address, or the terminal\n"
	"socket for stdio, local and drop-file play), how long they have been\n"
	"idle, and whether they are logging in, in the front room or in the\n"
	"door. A session whose caller's line dropped shows as away; \"paged\"\n"
	"marks a caller who paged the sysop, \"sysop\" one the sysop watches\n"
	"or chats with. It fits 80 columns: a longer field is cut, with \"..\".\n";

const char* const kKickUsage =
	"Usage: zenbo kick NAME [--reason TEXT] [--volume DIR]\n"
	"Tells the caller of that board name that the sysop disconnects them and\n"
	"closes their line. A session in the door ends as a hang-up does (the\n"
	"character is saved as of its last prompt, a fight as far as it was\n"
	"shown), also one whose caller is away. The reason is shown to the\n"
	"caller and logged: one line, control characters shown escaped, at most\n"
	"200 characters.\n";

const char* const kSpyUsage =
	"Usage: zenbo spy NAME [--volume DIR]\n"
	"Shows the screen of the caller of that board name on this terminal as\n"
	"it goes, as the caller sees it (the door's texts and the board's),\n"
	"starting with the line the caller is on. Read-only; it ends when the\n"
	"caller leaves or at Ctrl-C. The caller is told that the sysop watches\n"
	"(unless the host runs with spy-notice = false); each spy is logged. A\n"
	"terminal that falls far behind the caller's screen is let go.\n";

const char* const kChatUsage =
	"Usage: zenbo chat NAME | --wait [--volume DIR]\n"
	"Breaks in on the caller of that board name to chat: both see \"Chat\n"
	"with the sysop\" and each other's keys as they are typed. The door's\n"
	"session waits meanwhile. Esc or Ctrl-D ends the chat, and the caller's\n"
	"screen comes back with the line they were on. With --wait, waits for\n"
	"the next caller who pages the sysop from the front room (or one who\n"
	"paged and is still waiting) and chats with them.\n";

const char* const kStatusUsage =
	"Usage: zenbo status [--json] [--volume DIR]\n"
	"The running host's figures: version, uptime, callers by way in,\n"
	"sessions in the door, logins and failed logins today, locked names,\n"
	"the host's and the door's resident memory, threads and descriptors,\n"
	"and keys and door exchanges per second over the last minute. --json\n"
	"gives them as one JSON object for monitoring (a figure the system\n"
	"would not give is null).\n";

const char* const kSayUsage =
	"Usage: zenbo say TEXT... [--volume DIR]\n"
	"Shows a one-line notice from the sysop to every caller on the board at\n"
	"their next prompt (at once to those who stand at one), on a line of\n"
	"its own between the door's texts; the prompt is shown again after it.\n"
	"The words are joined by spaces; at most 200 printable characters.\n";

const char* const kPlayerUsage =
	"Usage: zenbo player NAME --delete [--volume DIR]\n"
	"Deletes the character of that board name (its player file); the next\n"
	"visit to the door starts a new one. Refused while the character is in\n"
	"the door. Goes through the running host, which knows who is in it.\n";

const char* const kAccountUsage =
	"Usage: zenbo account NAME"
	" --show|--create|--reset-password|--lock|--unlock"
	" [--volume DIR]\n"
	"  --show            shows the account's record: its lock, first and last\n"
	"                    call, number of calls and time online (read from the\n"
	"                    board's records; the host need not run)\n"
	"Changes the board account of that name on the running host:\n"
	"  --create          makes the account with a random password and prints\n"
	"                    it: for a name that plays without one (a board's\n"
	"                    node caller, whose name callers cannot register);\n"
	"                    its character is kept as it is\n"
	"  --reset-password  gives the account a new random password and prints\n"
	"                    it, for the sysop to pass on; the old one no longer\n"
	"                    works (a locked account stays locked)\n"
	"  --lock            nobody can log in under the name until --unlock;\n"
	"                    a caller on the board now stays (zenbo kick)\n"
	"  --unlock          the account's own password works again\n";

// A new password is this long: about 70 bits from the alphabet.
const size_t kNewPasswordLength = 12;

struct Arguments {
	const char*		volume = NULL;
	const char*		format = "text";
	const char*		out = NULL;
	bool			help = false;
};


// Reads --volume, and --format and --out where the command takes them.
bool
ParseArguments(int count, char** arguments, bool bulletin, Arguments* parsed)
{
	for (int i = 1; i < count; i++) {
		const char* argument = arguments[i];
		const char** value = NULL;
		if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
			parsed->help = true;
			continue;
		}
		if (strcmp(argument, "--volume") == 0)
			value = &parsed->volume;
		else if (bulletin && strcmp(argument, "--format") == 0)
			value = &parsed->format;
		else if (bulletin && strcmp(argument, "--out") == 0)
			value = &parsed->out;
		if (value == NULL) {
			HostLog("%s: unknown argument: %s (see zenbo %s --help)",
				arguments[0], argument, arguments[0]);
			return false;
		}
		if (i + 1 >= count || arguments[i + 1][0] == '\0') {
			HostLog("%s: %s needs a value", arguments[0], argument);
			return false;
		}
		*value = arguments[++i];
	}
	return true;
}


// Replaces the file whole: written beside it, then renamed over it.
bool
WriteWhole(const char* path, const std::string& content)
{
	std::string temporary = std::string(path) + ".partial";
	int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC
		| O_CLOEXEC, 0644);
	if (file < 0)
		return false;
	size_t done = 0;
	while (done < content.size()) {
		ssize_t written = write(file, content.data() + done,
			content.size() - done);
		if (written < 0 && errno == EINTR)
			continue;
		if (written <= 0) {
			close(file);
			unlink(temporary.c_str());
			return false;
		}
		done += (size_t)written;
	}
	if (fsync(file) != 0 || close(file) != 0
		|| rename(temporary.c_str(), path) != 0) {
		unlink(temporary.c_str());
		return false;
	}
	return true;
}


bool
ReadCharactersOrSay(const char* command,
	std::vector<CharacterListing::Character>* entries)
{
	if (CharacterListing::ReadAll(entries) == B_OK)
		return true;
	HostLog("%s: the boot volume %s has no users folder (lay it out with"
		" zenbo --make-volume)", command, boot_volume_folder().String());
	return false;
}


int
RunPlayers(int count, char** arguments)
{
	Arguments parsed;
	if (!ParseArguments(count, arguments, false, &parsed))
		return 2;
	if (parsed.help) {
		fputs(kPlayersUsage, stdout);
		return 0;
	}
	UseVolumeFolder(parsed.volume);
	std::vector<CharacterListing::Character> entries;
	if (!ReadCharactersOrSay(arguments[0], &entries))
		return 1;
	// The player file's time moves only when its bytes are written; the
	// call that played the character says when it was played.
	std::map<std::string, time_t> lastCalls;
	if (ReadLastCallsByName(&lastCalls)) {
		for (CharacterListing::Character& entry : entries) {
			auto call = lastCalls.find(NameKey(entry.userName));
			if (call != lastCalls.end())
				entry.lastPlayed = call->second;
		}
	}
	fputs(FormatPlayerTable(entries).c_str(), stdout);
	return 0;
}


int
RunBulletin(int count, char** arguments)
{
	Arguments parsed;
	if (!ParseArguments(count, arguments, true, &parsed))
		return 2;
	if (parsed.help) {
		fputs(kBulletinUsage, stdout);
		return 0;
	}
	BulletinFormat format;
	if (strcmp(parsed.format, "text") == 0)
		format = BulletinFormat::kText;
	else if (strcmp(parsed.format, "ansi") == 0)
		format = BulletinFormat::kAnsi;
	else if (strcmp(parsed.format, "html") == 0)
		format = BulletinFormat::kHtml;
	else {
		HostLog("bulletin: --format is text, ansi or html, not %s",
			parsed.format);
		return 2;
	}
	UseVolumeFolder(parsed.volume);
	std::vector<CharacterListing::Character> entries;
	if (!ReadCharactersOrSay(arguments[0], &entries))
		return 1;

	time_t now = time(NULL);
	struct tm local;
	localtime_r(&now, &local);
	char date[16];
	strftime(date, sizeof(date), "%Y-%m-%d", &local);
	std::string bulletin = FormatBulletin(entries, format, date);

	if (parsed.out == NULL) {
		fputs(bulletin.c_str(), stdout);
		return 0;
	}
	if (!WriteWhole(parsed.out, bulletin)) {
		HostLog("bulletin: cannot write %s: %s", parsed.out,
			strerror(errno));
		return 1;
	}
	return 0;
}


// The arguments of a command through the host: its words (a name, a
// text), its one action flag where it has one, and --volume.
struct HostArguments {
	std::vector<std::string> words;
	const char*		action = NULL;
	const char*		volume = NULL;
	bool			help = false;
};


bool
ParseHostArguments(int count, char** arguments,
	const std::vector<const char*>& actions, HostArguments* parsed)
{
	const char* command = arguments[0];
	for (int i = 1; i < count; i++) {
		const char* argument = arguments[i];
		if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
			parsed->help = true;
			continue;
		}
		if (strcmp(argument, "--volume") == 0) {
			if (i + 1 >= count || arguments[i + 1][0] == '\0') {
				HostLog("%s: --volume needs a value", command);
				return false;
			}
			parsed->volume = arguments[++i];
			continue;
		}
		bool isAction = false;
		for (const char* action : actions) {
			if (strcmp(argument, action) != 0)
				continue;
			if (parsed->action != NULL && strcmp(parsed->action, action) != 0) {
				HostLog("%s: give one of %s and %s, not both", command,
					parsed->action, action);
				return false;
			}
			parsed->action = action;
			isAction = true;
		}
		if (isAction)
			continue;
		if (argument[0] == '-' && argument[1] != '\0') {
			HostLog("%s: unknown argument: %s (see zenbo %s --help)", command,
				argument, command);
			return false;
		}
		parsed->words.push_back(argument);
	}
	return true;
}


// Parses, shows the help or names what is missing; 0 when the command
// goes on, else the exit status (with -1 for a help that was shown).
int
CheckHostArguments(int count, char** arguments, const char* usage,
	const std::vector<const char*>& actions, size_t minWords,
	size_t maxWords, HostArguments* parsed)
{
	if (!ParseHostArguments(count, arguments, actions, parsed))
		return 2;
	if (parsed->help) {
		fputs(usage, stdout);
		return -1;
	}
	const char* command = arguments[0];
	if (parsed->words.size() < minWords || parsed->words.size() > maxWords) {
		HostLog("%s: %s (see zenbo %s --help)", command, minWords == 0
			? "takes no words" : parsed->words.size() < minWords
				? "needs a name" : "takes one name", command);
		return 2;
	}
	if (!actions.empty() && parsed->action == NULL) {
		std::string choices;
		for (const char* action : actions)
			choices += std::string(choices.empty() ? "" : " or ") + action;
		HostLog("%s: say what to do: %s (see zenbo %s --help)", command,
			choices.c_str(), command);
		return 2;
	}
	UseVolumeFolder(parsed->volume);
	return 0;
}


// Asks the host and prints its answer.
int
AskAndPrint(const char* command, const std::vector<std::string>& words)
{
	std::string text;
	int status = AskHost(command, words, &text);
	if (status == 0)
		fputs(text.c_str(), stdout);
	return status;
}


int
RunWho(int count, char** arguments)
{
	HostArguments parsed;
	int status = CheckHostArguments(count, arguments, kWhoUsage, {}, 0, 0,
		&parsed);
	if (status != 0)
		return status < 0 ? 0 : status;
	return AskAndPrint(arguments[0], { "who" });
}


int
RunKick(int count, char** arguments)
{
	// --reason takes a value, which may start with a dash.
	std::vector<char*> rest;
	const char* reason = NULL;
	for (int i = 0; i < count; i++) {
		if (i > 0 && strcmp(arguments[i], "--reason") == 0) {
			if (i + 1 >= count || arguments[i + 1][0] == '\0') {
				HostLog("%s: --reason needs a text", arguments[0]);
				return 2;
			}
			reason = arguments[++i];
			continue;
		}
		rest.push_back(arguments[i]);
	}
	HostArguments parsed;
	int status = CheckHostArguments((int)rest.size(), rest.data(), kKickUsage,
		{}, 1, 1, &parsed);
	if (status != 0)
		return status < 0 ? 0 : status;
	std::vector<std::string> words = { "kick", parsed.words[0] };
	if (reason != NULL)
		words.push_back(reason);
	return AskAndPrint(arguments[0], words);
}


int
RunSpy(int count, char** arguments)
{
	HostArguments parsed;
	int status = CheckHostArguments(count, arguments, kSpyUsage, {}, 1, 1,
		&parsed);
	if (status != 0)
		return status < 0 ? 0 : status;
	fprintf(stderr, "Watching the screen of %s; Ctrl-C ends.\n",
		PrintableUserName(BString(parsed.words[0].c_str())).String());
	return FollowHost(arguments[0], { "spy", parsed.words[0] },
		SysopWatch::kWatch);
}


int
RunChat(int count, char** arguments)
{
	HostArguments parsed;
	if (!ParseHostArguments(count, arguments, { "--wait" }, &parsed))
		return 2;
	if (parsed.help) {
		fputs(kChatUsage, stdout);
		return 0;
	}
	bool waits = parsed.action != NULL;
	if (parsed.words.size() != (waits ? 0 : 1)) {
		HostLog("%s: give a name or --wait (see zenbo %s --help)",
			arguments[0], arguments[0]);
		return 2;
	}
	UseVolumeFolder(parsed.volume);
	if (waits) {
		fprintf(stderr, "Waiting for a caller to page the sysop; Esc or"
			" Ctrl-D ends.\r\n");
		return FollowHost(arguments[0], { "chat-wait" }, SysopWatch::kChat);
	}
	fprintf(stderr, "Chat with %s; Esc or Ctrl-D ends.\r\n",
		PrintableUserName(BString(parsed.words[0].c_str())).String());
	return FollowHost(arguments[0], { "chat", parsed.words[0] },
		SysopWatch::kChat);
}


int
RunStatus(int count, char** arguments)
{
	HostArguments parsed;
	if (!ParseHostArguments(count, arguments, { "--json" }, &parsed))
		return 2;
	if (parsed.help) {
		fputs(kStatusUsage, stdout);
		return 0;
	}
	if (!parsed.words.empty()) {
		HostLog("%s: takes no words (see zenbo %s --help)", arguments[0],
			arguments[0]);
		return 2;
	}
	UseVolumeFolder(parsed.volume);
	return AskAndPrint(arguments[0],
		{ "status", parsed.action != NULL ? "json" : "text" });
}


int
RunSay(int count, char** arguments)
{
	HostArguments parsed;
	int status = CheckHostArguments(count, arguments, kSayUsage, {}, 1,
		(size_t)count, &parsed);
	if (status != 0)
		return status < 0 ? 0 : status;
	std::string text;
	for (const std::string& word : parsed.words)
		text += (text.empty() ? "" : " ") + word;
	return AskAndPrint(arguments[0], { "say", text });
}


int
RunPlayer(int count, char** arguments)
{
	HostArguments parsed;
	int status = CheckHostArguments(count, arguments, kPlayerUsage,
		{ "--delete" }, 1, 1, &parsed);
	if (status != 0)
		return status < 0 ? 0 : status;
	return AskAndPrint(arguments[0], { "delete-player", parsed.words[0] });
}


int
RunAccount(int count, char** arguments)
{
	HostArguments parsed;
	int status = CheckHostArguments(count, arguments, kAccountUsage,
		{ "--show", "--create", "--reset-password", "--lock", "--unlock" },
		1, 1,
		&parsed);
	if (status != 0)
		return status < 0 ? 0 : status;
	const std::string& name = parsed.words[0];
	if (strcmp(parsed.action, "--show") == 0)
		return ShowAccountRecord(arguments[0], name);
	if (strcmp(parsed.action, "--lock") == 0)
		return AskAndPrint(arguments[0], { "lock", name });
	if (strcmp(parsed.action, "--unlock") == 0)
		return AskAndPrint(arguments[0], { "unlock", name });

	// Hashed here, not on the host's looper, which serves every caller;
	// only the hash travels.
	std::string password;
	std::string hash;
	if (MakeRandomPassword(kNewPasswordLength, &password) != B_OK
		|| HashPassword(password, &hash) != B_OK) {
		HostLog("%s: cannot make a new password", arguments[0]);
		return 1;
	}
	std::string storedName;
	const char* request = strcmp(parsed.action, "--create") == 0
		? "create-account" : "set-password";
	status = AskHost(arguments[0], { request, name, hash }, &storedName);
	if (status != 0)
		return status;
	printf("The new password of %s: %s\n", storedName.c_str(),
		password.c_str());
	return 0;
}


struct Command {
	const char*		name;
	int				(*run)(int count, char** arguments);
};

const Command kCommands[] = {
	{ "players", RunPlayers },
	{ "bulletin", RunBulletin },
	{ "who", RunWho },
	{ "kick", RunKick },
	{ "spy", RunSpy },
	{ "chat", RunChat },
	{ "status", RunStatus },
	{ "say", RunSay },
	{ "player", RunPlayer },
	{ "account", RunAccount },
	{ "board", RunBoardCommand },
	{ "calls", RunCallsCommand },
};

}	// namespace


const char* const kSysopCommandList
	= "who, kick, spy, chat, status, say, players, player, account, board,"
		" bulletin and calls";


bool
IsSysopCommand(const char* name)
{
	for (const Command& command : kCommands) {
		if (strcmp(name, command.name) == 0)
			return true;
	}
	return false;
}


int
RunSysopCommand(int argumentCount, char** arguments)
{
	for (const Command& command : kCommands) {
		if (strcmp(arguments[0], command.name) == 0)
			return command.run(argumentCount, arguments);
	}
	return 2;
}
