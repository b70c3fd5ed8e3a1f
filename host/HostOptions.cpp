#include "HostOptions.h"

#include <string.h>


const char* const kHostUsage =
	"Usage: zenbo MODE [OPTIONS]\n"
	"Zenbo, the board's host for the Drelmoor door.\n"
	"\n"
	"Modes:\n"
	"  --local              play on this terminal (raw mode); the user is\n"
	"                       the login name unless --user names another\n"
	"  --stdio              one user through standard input and output, as\n"
	"                       a BBS runs an external door: keys from standard\n"
	"                       input, the door's texts to standard output, the\n"
	"                       end of input means the user has gone; needs\n"
	"                       --user or --dropfile\n"
	"  --host               run the host of the boot volume until stopped\n"
	"                       (stdio and local play start one when none runs;\n"
	"                       that one ends with its last terminal)\n"
	"  --make-volume        lay out a boot volume: the door's data files and\n"
	"                       an empty users folder; existing files are kept\n"
	"  --help               show this text\n"
	"  --version            show the version\n"
	"\n"
	"Options:\n"
	"  --user NAME          the user's name on the board\n"
	"  --dropfile PATH      read the user's name from the board's drop file:\n"
	"                       DOOR32.SYS (its alias), DOOR.SYS (the alias, or\n"
	"                       the full name) or DORINFOx.DEF (first and last\n"
	"                       name), known by its name or its content\n"
	"  --volume DIR         the boot volume (default: $BOOT_VOLUME, else\n"
	"                       ~/.local/share/drelmoor/boot)\n"
	"  --door PATH          the door program to launch (default: Drelmoor\n"
	"                       beside zenbo)\n"
	"  --data DIR           with --make-volume: where the data files come\n"
	"                       from (default: the installed or source copy)\n"
	"  --config FILE        take settings from a TOML file of option names\n"
	"                       and values (volume = \"/srv/drelmoor\"); the\n"
	"                       command line wins over the file\n"
	"\n"
	"Sysop's commands (each with --help):\n"
	"  zenbo players        every character: level, hit points, gold\n"
	"  zenbo bulletin       the Wall of Fame as a text, ANSI or HTML bulletin\n"
	"\n"
	"Exit status: 0 when the session ended, 1 on an error, 2 on a usage\n"
	"mistake, 3 when the door closed in the middle of the session.\n";


status_t
ParseHostOptions(int argumentCount, const char* const* arguments,
	HostOptions* options, BString* error)
{
	struct ModeName {
		const char*				name;
		HostOptions::Command	command;
	};
	static const ModeName kModes[] = {
		{ "--local", HostOptions::Command::kLocal },
		{ "--stdio", HostOptions::Command::kStdio },
		{ "--host", HostOptions::Command::kHost },
		{ "--make-volume", HostOptions::Command::kMakeVolume },
		{ "--help", HostOptions::Command::kHelp },
	};
	struct ValueName {
		const char*				name;
		BString HostOptions::*	value;
	};
	static const ValueName kValues[] = {
		{ "--user", &HostOptions::userName },
		{ "--dropfile", &HostOptions::dropFile },
		{ "--volume", &HostOptions::volume },
		{ "--door", &HostOptions::doorProgram },
		{ "--data", &HostOptions::dataFolder },
	};

	for (int i = 1; i < argumentCount; i++) {
		const char* argument = arguments[i];
		bool known = false;

		for (const ModeName& mode : kModes) {
			if (strcmp(argument, mode.name) != 0)
				continue;
			if (options->command != HostOptions::Command::kNone
				&& options->command != mode.command) {
				error->SetTo("choose one mode");
				return B_BAD_VALUE;
			}
			options->command = mode.command;
			known = true;
		}
		if (strcmp(argument, "-h") == 0) {
			options->command = HostOptions::Command::kHelp;
			known = true;
		}
		if (strcmp(argument, "--while-terminals") == 0) {
			options->whileTerminals = true;
			known = true;
		}

		for (const ValueName& value : kValues) {
			size_t length = strlen(value.name);
			if (strncmp(argument, value.name, length) != 0)
				continue;
			if (argument[length] == '=') {
				options->*value.value = argument + length + 1;
			} else if (argument[length] == '\0') {
				if (i + 1 >= argumentCount) {
					error->SetTo(value.name);
					*error << " needs a value";
					return B_BAD_VALUE;
				}
				options->*value.value = arguments[++i];
			} else
				continue;
			if ((options->*value.value).Length() == 0) {
				error->SetTo(value.name);
				*error << " needs a value";
				return B_BAD_VALUE;
			}
			known = true;
		}

		if (!known) {
			error->SetTo("unknown argument: ");
			*error << argument;
			return B_BAD_VALUE;
		}
	}

	if (options->command == HostOptions::Command::kNone) {
		error->SetTo("choose a mode: --local, --stdio, --host or"
			" --make-volume");
		return B_BAD_VALUE;
	}
	if (options->command == HostOptions::Command::kStdio
		&& options->userName.Length() == 0
		&& options->dropFile.Length() == 0) {
		error->SetTo("--stdio needs --user NAME or --dropfile PATH");
		return B_BAD_VALUE;
	}
	if (options->userName.Length() > 0 && options->dropFile.Length() > 0) {
		error->SetTo("give --user or --dropfile, not both");
		return B_BAD_VALUE;
	}
	return B_OK;
}
