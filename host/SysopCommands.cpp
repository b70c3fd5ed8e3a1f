#include "SysopCommands.h"

#include "Bulletin.h"
#include "HostLog.h"
#include "PlayerRoster.h"

#include <BootVolume.h>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>


namespace {

const char* const kPlayersUsage =
	"Usage: zenbo players [--volume DIR]\n"
	"Lists every character of the boot volume: name, board name, level, hit\n"
	"points, gold and when it was last played, highest level first. Reads\n"
	"the player files; the host need not run.\n";

const char* const kBulletinUsage =
	"Usage: zenbo bulletin [--format text|ansi|html] [--out FILE]"
	" [--volume DIR]\n"
	"Writes the Wall of Fame as a score bulletin: every character by level,\n"
	"with its weapon and armor. text and ansi (with colours) suit a board's\n"
	"bulletin menu, html a board's web site. Without --out it goes to\n"
	"standard output; with it, the file is replaced whole, so a web server\n"
	"never serves half of one. Run it from cron or a systemd timer.\n";

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


void
UseVolume(const char* volume)
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
ReadRosterOrSay(const char* command, std::vector<RosterEntry>* entries)
{
	if (ReadRoster(entries) == B_OK)
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
	UseVolume(parsed.volume);
	std::vector<RosterEntry> entries;
	if (!ReadRosterOrSay(arguments[0], &entries))
		return 1;
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
	UseVolume(parsed.volume);
	std::vector<RosterEntry> entries;
	if (!ReadRosterOrSay(arguments[0], &entries))
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


struct Command {
	const char*		name;
	int				(*run)(int count, char** arguments);
};

const Command kCommands[] = {
	{ "players", RunPlayers },
	{ "bulletin", RunBulletin },
};

}	// namespace


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
