#include "HostOptions.h"

#include "CharacterSet.h"
#include "ProxyGate.h"

#include <stdlib.h>
#include <string.h>

#include <string>


const char* const kDefaultTelnetAddress = "127.0.0.1:2323";
const char* const kDefaultSshAddress = "127.0.0.1:2222";
const char* const kDefaultWebAddress = "127.0.0.1:8080";
const char* const kDefaultRloginAddress = "127.0.0.1:5513";


// Before and after the SSH host key's line.
static const char* const kUsageStart =
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
	"                       --user or --dropfile; a terminal there is put\n"
	"                       in raw mode, and the host's lines go to the\n"
	"                       volume's var/run/zenbo.log (and to standard\n"
	"                       error when that is not the caller's terminal)\n"
	"  --host               run the host of the boot volume until stopped\n"
	"                       (stdio and local play start one when none runs;\n"
	"                       that one ends with its last terminal)\n"
	"  --telnet [[ADDRESS:]PORT]\n"
	"                       run the host until stopped and take telnet\n"
	"                       callers at ADDRESS:PORT (default 127.0.0.1:2323;\n"
	"                       port 0 picks a free one, which the log names);\n"
"                       callers register and log in with a board name\n"
	"  --ssh [[ADDRESS:]PORT]\n"
	"                       run the host until stopped and take SSH callers\n"
	"                       at ADDRESS:PORT (default 127.0.0.1:2222): the SSH\n"
	"                       user name is the board name and the password the\n"
	"                       account's; a new name registers through the\n"
	"                       client's questions, or logs in as \"new\" and\n"
	"                       registers in the terminal; a terminal and the\n"
	"                       board only (no commands, forwarding or sftp)\n";
static const char* const kUsageEnd =
	"  --web [[ADDRESS:]PORT]\n"
	"                       run the host until stopped and serve the web\n"
	"                       terminal at http://ADDRESS:PORT/ (default\n"
	"                       127.0.0.1:8080), from the page's files in\n"
	"                       share/zenbo/web beside the program; a page of\n"
	"                       another origin cannot open it, unless\n"
	"                       --web-origin ORIGIN (https://board.example)\n"
	"                       names it, as for a reverse proxy's page\n"
	"  --rlogin [[ADDRESS:]PORT]\n"
	"                       run the host until stopped and serve the door\n"
	"                       to other boards' callers over RLogin at\n"
	"                       ADDRESS:PORT (default 127.0.0.1:5513): only\n"
	"                       boards named with zenbo board add (or [[boards]]\n"
	"                       in the config file), from their addresses, with\n"
	"                       their secret as the RLogin client user and the\n"
	"                       caller's name as the server user; the caller\n"
	"                       plays as Name@TAG, straight in the door, and is\n"
	"                       back at the board on leaving it. RLogin is not\n"
	"                       encrypted: keep it on a private network or in\n"
	"                       an SSH tunnel (see docs/boards.md)\n"
	"                       (--telnet, --ssh, --web and --rlogin go\n"
	"                       together)\n"
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
	"                       name), known by its name or its content; the\n"
	"                       time left it gives is kept (warnings at 5, 2\n"
	"                       and 1 minutes, then the session ends)\n"
	"  --volume DIR         the boot volume (default: $BOOT_VOLUME, else\n"
	"                       ~/.local/share/drelmoor/boot)\n"
	"  --door PATH          the door program to launch (default: Drelmoor\n"
	"                       beside zenbo)\n"
	"  --data DIR           with --make-volume: where the data files come\n"
	"                       from (default: the installed or source copy)\n"
	"  --raw                with --stdio: pass bytes unchanged both ways, for\n"
	"                       scripts; without it the bridge speaks a caller's\n"
	"                       line discipline (CR LF, CR NUL, CR or LF is one\n"
	"                       Enter, BS and DEL one backspace, a line ends in\n"
	"                       CR LF, control sequences never reach the screen)\n"
	"  --verbose            with --stdio: the host's lines to standard error\n"
	"                       even when it is the caller's terminal\n"
	"\n"
	"Options of the host for network callers (telnet, SSH, web):\n"
	"  --grace SECONDS      how long a session in the door waits for a caller\n"
	"                       whose line dropped to call again (default 180)\n"
	"  --idle SECONDS       a caller who types nothing this long is told and\n"
	"                       disconnected, warned a minute before (default 600)\n"
	"  --max-callers N      callers on the board at once (default 200)\n"
	"  --max-prelogin N     connections not logged in yet, from their accept\n"
	"                       on, whatever the way in (default 128)\n"
	"  --max-prelogin-per-address N\n"
	"                       the same from one address (default 16)\n"
	"  --failure-delay SECONDS\n"
	"                       the pause after a first wrong password, doubled\n"
	"                       after each next one (default 1)\n"
	"  --no-spy-notice      zenbo spy watches a caller's screen without\n"
	"                       telling them (spy-notice = false in the config)\n"
	"  --lock-window SECONDS\n"
	"                       a board name whose password was wrong 10 times\n"
	"                       within this time is locked for as long, on every\n"
	"                       way in (default 600)\n"
	"  --trusted-proxy ADDRESS\n"
	"                       a reverse proxy at this IPv4 or IPv6 address\n"
	"                       names its callers: the web terminal takes the\n"
	"                       last hop of X-Forwarded-For, telnet and SSH a\n"
	"                       PROXY protocol header (version 1 or 2), which\n"
	"                       its connections must send first; the limits and\n"
	"                       the log then see the caller (repeatable)\n"
	"  --charset cp437|latin1\n"
	"                       the character set of the door's texts and keys\n"
	"                       (default cp437); callers whose terminal speaks\n"
	"                       UTF-8 (the web terminal, SSH, telnet terminals\n"
	"                       of the xterm family) get it in UTF-8, and a\n"
	"                       character they type becomes its one 8-bit key\n"
	"  --config FILE        take settings from a TOML file of option names\n"
	"                       and values (volume = \"/srv/drelmoor\"); the\n"
	"                       command line wins over the file\n"
	"\n"
	"Sysop's commands (each with --help):\n"
	"  zenbo players        every character: level, hit points, gold\n"
	"  zenbo bulletin       the Wall of Fame as a text, ANSI or HTML bulletin\n"
	"  zenbo calls [--last N] [--name NAME]\n"
	"                       the board's last calls: who, how, how long, how\n"
	"                       they ended, where from\n"
	"  zenbo account NAME --show\n"
	"                       an account's calls, first and last, time online\n"
	"Through the running host (its sysop socket, the host's user's only):\n"
	"  zenbo who            the callers on the board, how and where from\n"
	"  zenbo kick NAME [--reason TEXT]\n"
	"                       tell a caller (and why) and disconnect them\n"
	"  zenbo spy NAME       watch a caller's screen as it goes (Ctrl-C ends)\n"
	"  zenbo chat NAME | --wait\n"
	"                       chat with a caller, or with the next who pages\n"
	"                       (Esc or Ctrl-D ends)\n"
	"  zenbo status [--json]\n"
	"                       uptime, callers, logins, memory, keys per second\n"
	"  zenbo say TEXT       a notice for every caller at their next prompt\n"
	"  zenbo player NAME --delete\n"
	"                       delete a character (not while it is in the door)\n"
	"  zenbo account NAME --reset-password|--lock|--unlock\n"
	"                       a new random password (printed), or lock or\n"
	"                       unlock the board account\n"
	"Of the volume itself (no host needed):\n"
	"  zenbo board add TAG --address ADDRESS [--max-callers N]\n"
	"                       name a board whose callers play here over\n"
	"                       RLogin; prints its new secret\n"
	"  zenbo board list | remove TAG\n"
	"                       the boards named, or forget one\n"
	"\n"
	"Exit status: 0 when the session ended, 1 on an error, 2 on a usage\n"
	"mistake, 3 when the door closed in the middle of the session.\n";


BString
HostUsage(const BString& sshFingerprint)
{
	BString usage(kUsageStart);
	if (sshFingerprint.Length() > 0) {
		usage << "                       the boot volume's host key: "
			<< sshFingerprint << "\n";
	} else {
		usage << "                       the host key (Ed25519) is made at the"
			" first start\n"
			"                       in /boot/home/Zenbo of the boot volume\n";
	}
	usage << kUsageEnd;
	return usage;
}


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
		{ "--web-origin", &HostOptions::webOrigin },
		{ "--charset", &HostOptions::charset },
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
		if (strcmp(argument, "--raw") == 0) {
			options->raw = true;
			known = true;
		}
		if (strcmp(argument, "--verbose") == 0) {
			options->verbose = true;
			known = true;
		}
		if (strcmp(argument, "--no-spy-notice") == 0
			|| strcmp(argument, "--spy-notice") == 0) {
			options->spyNotice = argument[2] != 'n';
			known = true;
		}
		struct WayName {
			const char*			name;
			BString HostOptions::*	address;
			const char*			defaultAddress;
		};
		static const WayName kWays[] = {
			{ "--telnet", &HostOptions::telnetAddress, kDefaultTelnetAddress },
			{ "--ssh", &HostOptions::sshAddress, kDefaultSshAddress },
			{ "--web", &HostOptions::webAddress, kDefaultWebAddress },
			{ "--rlogin", &HostOptions::rloginAddress,
				kDefaultRloginAddress },
		};
		for (const WayName& way : kWays) {
			size_t length = strlen(way.name);
			if (strncmp(argument, way.name, length) != 0
				|| (argument[length] != '\0' && argument[length] != '=')) {
				continue;
			}
			// The address is optional: a next argument that is no option
			// names it.
			BString& value = options->*way.address;
			if (argument[length] == '=')
				value = argument + length + 1;
			else if (i + 1 < argumentCount && arguments[i + 1][0] != '-')
				value = arguments[++i];
			else
				value = way.defaultAddress;
			BString address;
			uint16 port;
			if (SplitTelnetAddress(value, &address, &port) != B_OK) {
				error->SetTo(way.name);
				*error << " needs [ADDRESS:]PORT, not " << value;
				return B_BAD_VALUE;
			}
			if (options->command == HostOptions::Command::kNone)
				options->command = HostOptions::Command::kHost;
			known = true;
		}

		struct NumberName {
			const char*			name;
			int32 HostOptions::*	value;
			int32				minimum;
		};
		static const NumberName kNumbers[] = {
			{ "--grace", &HostOptions::graceSeconds, 0 },
			{ "--idle", &HostOptions::idleSeconds, 1 },
			{ "--max-callers", &HostOptions::maxCallers, 1 },
			{ "--lock-window", &HostOptions::lockWindowSeconds, 1 },
			{ "--max-prelogin", &HostOptions::maxPrelogin, 1 },
			{ "--max-prelogin-per-address",
				&HostOptions::maxPreloginPerAddress, 1 },
		};
		for (const NumberName& number : kNumbers) {
			if (strcmp(argument, number.name) != 0)
				continue;
			char* end = NULL;
			long value = i + 1 < argumentCount
				? strtol(arguments[i + 1], &end, 10) : -1;
			if (end == NULL || end == arguments[i + 1] || *end != '\0'
				|| value < number.minimum || value > 1000000) {
				error->SetTo(number.name);
				*error << " needs a whole number of at least "
					<< number.minimum;
				return B_BAD_VALUE;
			}
			options->*number.value = (int32)value;
			i++;
			known = true;
		}
		if (strcmp(argument, "--trusted-proxy") == 0) {
			if (i + 1 >= argumentCount
				|| CanonicalAddress(arguments[i + 1]).Length() == 0) {
				error->SetTo("--trusted-proxy needs an IPv4 or IPv6 address");
				if (i + 1 < argumentCount)
					*error << ", not " << arguments[i + 1];
				return B_BAD_VALUE;
			}
			options->trustedProxies.push_back(
				CanonicalAddress(arguments[++i]));
			known = true;
		}
		if (strcmp(argument, "--failure-delay") == 0) {
			char* end = NULL;
			double value = i + 1 < argumentCount
				? strtod(arguments[i + 1], &end) : -1;
			if (end == NULL || end == arguments[i + 1] || *end != '\0'
				|| value < 0 || value > 3600) {
				error->SetTo("--failure-delay needs a number of seconds");
				return B_BAD_VALUE;
			}
			options->failureDelay = (bigtime_t)(value * 1000000);
			i++;
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

	DoorCharset door;
	if (!CharacterSet::ParseName(options->charset.String(), &door)) {
		error->SetTo("--charset needs cp437 or latin1, not ");
		*error << options->charset;
		return B_BAD_VALUE;
	}
	if (options->command == HostOptions::Command::kNone) {
		error->SetTo("choose a mode: --local, --stdio, --host, --telnet,"
			" --ssh, --web, --rlogin or --make-volume");
		return B_BAD_VALUE;
	}
	if (options->command == HostOptions::Command::kStdio
		&& options->userName.Length() == 0
		&& options->dropFile.Length() == 0) {
		error->SetTo("--stdio needs --user NAME or --dropfile PATH");
		return B_BAD_VALUE;
	}
	if (options->raw && options->command != HostOptions::Command::kStdio) {
		error->SetTo("--raw goes with --stdio");
		return B_BAD_VALUE;
	}
	if (options->verbose
		&& options->command != HostOptions::Command::kStdio) {
		error->SetTo("--verbose goes with --stdio");
		return B_BAD_VALUE;
	}
	if (options->command != HostOptions::Command::kHost) {
		const char* way = options->telnetAddress.Length() > 0 ? "--telnet"
			: options->sshAddress.Length() > 0 ? "--ssh"
			: options->webAddress.Length() > 0 ? "--web"
			: options->rloginAddress.Length() > 0 ? "--rlogin" : NULL;
		if (way != NULL) {
			error->SetTo(way);
			*error << " runs the host; it goes with no other mode";
			return B_BAD_VALUE;
		}
	}
	if (options->userName.Length() > 0 && options->dropFile.Length() > 0) {
		error->SetTo("give --user or --dropfile, not both");
		return B_BAD_VALUE;
	}
	return B_OK;
}


status_t
SplitTelnetAddress(const BString& text, BString* address, uint16* port)
{
	std::string value(text.String());
	std::string host = "127.0.0.1";
	std::string number = value;
	size_t colon = value.rfind(':');
	if (colon != std::string::npos) {
		host = value.substr(0, colon);
		number = value.substr(colon + 1);
		if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
			host = host.substr(1, host.size() - 2);
		if (host.empty())
			return B_BAD_VALUE;
	}
	if (number.empty() || number.size() > 5
		|| number.find_first_not_of("0123456789") != std::string::npos) {
		return B_BAD_VALUE;
	}
	long parsed = strtol(number.c_str(), NULL, 10);
	if (parsed > 65535)
		return B_BAD_VALUE;
	address->SetTo(host.c_str());
	*port = (uint16)parsed;
	return B_OK;
}
