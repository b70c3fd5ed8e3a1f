#include "BoardCommand.h"

#include "HostLog.h"
#include "RloginBoards.h"

#include <BootVolume.h>
#include <Errors.h>

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>


static const char* const kBoardUsage =
	"Usage: zenbo board add TAG --address ADDRESS [--address ADDRESS...]\n"
	"                       [--max-callers N] [--volume DIR]\n"
	"       zenbo board list [--volume DIR]\n"
	"       zenbo board remove TAG [--volume DIR]\n"
	"The boards whose callers play here over RLogin (zenbo --rlogin). A\n"
	"board has a tag (1 to 8 letters and digits; its callers are Name@TAG\n"
	"here), the IP addresses it calls from, and how many of its callers may\n"
	"play at once (default 20). add prints the board's new secret, which the\n"
	"board sends as its RLogin user name; list shows no secret. The boards\n"
	"are kept in /boot/home/Zenbo/boards, readable by its owner alone; a\n"
	"running host reads it again when it changed.\n";


namespace {

struct BoardArguments {
	std::vector<std::string> words;
	std::vector<std::string> addresses;
	int32			maxCallers = 20;
	bool			help = false;
};


bool
ParseBoardArguments(int count, char** arguments, BoardArguments* parsed)
{
	for (int i = 2; i < count; i++) {
		const char* argument = arguments[i];
		if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
			parsed->help = true;
			continue;
		}
		if (argument[0] != '-') {
			parsed->words.push_back(argument);
			continue;
		}
		if (i + 1 >= count || arguments[i + 1][0] == '\0') {
			HostLog("board: %s needs a value", argument);
			return false;
		}
		const char* value = arguments[++i];
		if (strcmp(argument, "--address") == 0)
			parsed->addresses.push_back(value);
		else if (strcmp(argument, "--volume") == 0) {
			std::string path(value);
			char folder[PATH_MAX];
			if (path[0] != '/' && getcwd(folder, sizeof(folder)) != NULL)
				path = std::string(folder) + "/" + path;
			setenv("BOOT_VOLUME", path.c_str(), 1);
		} else if (strcmp(argument, "--max-callers") == 0) {
			char* end = NULL;
			long number = strtol(value, &end, 10);
			if (end == value || *end != '\0' || number < 1
				|| number > 100000) {
				HostLog("board: --max-callers needs a whole number of at"
					" least 1");
				return false;
			}
			parsed->maxCallers = (int32)number;
		} else {
			HostLog("board: unknown argument: %s (see zenbo board --help)",
				argument);
			return false;
		}
	}
	return true;
}


// Two commands at once would each write what the other did not read: the
// host's folder is locked meanwhile.
int
LockFolder(BString* path)
{
	BString folder;
	if (resolve_boot_path("/boot/home/Zenbo", &folder) != B_OK
		|| create_directory(folder.String(), 0755) != B_OK) {
		return -1;
	}
	if (resolve_boot_path(kBoardsFilePath, path) != B_OK)
		return -1;
	int lock = open(folder.String(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (lock >= 0 && flock(lock, LOCK_EX) != 0) {
		close(lock);
		return -1;
	}
	return lock;
}

}	// namespace


int
RunBoardCommand(int count, char** arguments)
{
	BoardArguments parsed;
	if (!ParseBoardArguments(count, arguments, &parsed))
		return 2;
	if (parsed.help) {
		fputs(kBoardUsage, stdout);
		return 0;
	}
	const std::string action = parsed.words.empty() ? "" : parsed.words[0];
	size_t wanted = action == "list" ? 1 : 2;
	if ((action != "add" && action != "list" && action != "remove")
		|| parsed.words.size() != wanted
		|| (action != "add" && !parsed.addresses.empty())) {
		fputs(kBoardUsage, stderr);
		return 2;
	}

	BString path;
	int lock = LockFolder(&path);
	if (lock < 0) {
		HostLog("board: cannot reach the host's folder of the volume %s",
			boot_volume_folder().String());
		return 1;
	}
	RloginBoards boards;
	BString problem;
	if (boards.Load(path.String(), &problem) != B_OK) {
		HostLog("board: %s", problem.String());
		close(lock);
		return 1;
	}

	int status = 0;
	if (action == "list") {
		printf("%-8s %-7s %s\n", "Tag", "Callers", "Addresses");
		for (const RloginBoards::Entry& entry : boards.Entries()) {
			std::string addresses;
			for (const std::string& address : entry.addresses)
				addresses += (addresses.empty() ? "" : ", ") + address;
			printf("%-8s %7d %s\n", entry.tag.String(),
				(int)entry.maxCallers, addresses.c_str());
		}
	} else if (action == "remove") {
		BString tag(parsed.words[1].c_str());
		if (!boards.Remove(tag)) {
			HostLog("board: there is no board %s",
				RloginBoards::IsValidTag(tag) ? tag.String() : "of that tag");
			status = 1;
		} else if (boards.Save(path.String()) != B_OK) {
			HostLog("board: cannot write %s", path.String());
			status = 1;
		}
	} else {
		RloginBoards::Entry entry;
		entry.tag = parsed.words[1].c_str();
		entry.addresses = parsed.addresses;
		entry.maxCallers = parsed.maxCallers;
		entry.secret = RloginBoards::NewSecret();
		if (boards.Add(entry, &problem) != B_OK) {
			HostLog("board: %s", problem.String());
			status = strstr(problem.String(), "already") != NULL ? 1 : 2;
		} else if (boards.Save(path.String()) != B_OK) {
			HostLog("board: cannot write %s", path.String());
			status = 1;
		} else {
			printf("The secret of %s: %s\n", entry.tag.String(),
				entry.secret.c_str());
		}
	}
	close(lock);
	return status;
}
