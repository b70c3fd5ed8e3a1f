#include "BootVolumeSetup.h"
#include "BridgeProtocol.h"
#include "Bridge.h"
#include "CharacterSet.h"
#include "DropFile.h"
#include "HostConfig.h"
#include "HostLog.h"
#include "HostOptions.h"
#include "HostSignals.h"
#include "SshHostKey.h"
#include "SysopCommands.h"
#include "TerminalSocket.h"
#include "ZenboHost.h"

#include <BootVolume.h>
#include <ZenboUserName.h>

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>


// The arguments with those of a config file (--config FILE) in front of
// them, so that the command line wins over the file.
static status_t
ExpandConfig(int argumentCount, char** arguments,
	std::vector<std::string>* words, RloginBoards* boards, BString* error)
{
	words->assign(1, arguments[0]);
	std::vector<std::string> rest;
	const char* config = NULL;
	for (int i = 1; i < argumentCount; i++) {
		if (strcmp(arguments[i], "--config") == 0) {
			if (i + 1 >= argumentCount) {
				error->SetTo("--config needs a value");
				return B_BAD_VALUE;
			}
			config = arguments[++i];
		} else if (strncmp(arguments[i], "--config=", 9) == 0)
			config = arguments[i] + 9;
		else
			rest.push_back(arguments[i]);
	}
	if (config != NULL) {
		status_t status = ReadHostConfig(config, words, boards, error);
		if (status != B_OK)
			return status;
	}
	words->insert(words->end(), rest.begin(), rest.end());
	return B_OK;
}


static BString
AbsolutePath(const BString& path)
{
	if (path.Length() > 0 && path[0] == '/')
		return path;
	char folder[PATH_MAX];
	if (getcwd(folder, sizeof(folder)) == NULL)
		return path;
	BString absolute(folder);
	absolute << "/" << path;
	return absolute;
}


// What every way of serving the door needs before it starts: a boot volume
// with the door's data, and a door program to launch.
static bool
CheckSetup(const HostOptions& options)
{
	BString problem;
	if (CheckBootVolume(&problem) != B_OK) {
		HostLog("%s", problem.String());
		return false;
	}
	if (access(options.doorProgram.String(), X_OK) != 0) {
		HostLog("no door program at %s (name one with --door PATH)",
			options.doorProgram.String());
		return false;
	}
	return true;
}


static BoardSettings
BoardSettingsFrom(const HostOptions& options)
{
	BoardSettings settings;
	settings.grace = (bigtime_t)options.graceSeconds * 1000000;
	settings.idle = (bigtime_t)options.idleSeconds * 1000000;
	settings.spyNotice = options.spyNotice;
	settings.maxCallers = options.maxCallers;
	settings.maxPending = options.maxPrelogin;
	settings.maxPendingPerAddress = options.maxPreloginPerAddress;
	settings.failureDelay = options.failureDelay;
	settings.lockWindow = (bigtime_t)options.lockWindowSeconds * 1000000;
	// Checked when the options were read.
	CharacterSet::ParseName(options.charset.String(), &settings.charset);
	return settings;
}


// The fingerprint of the boot volume's SSH host key for --help, when the
// key is there; it is never made here.
static BString
SshFingerprintForHelp()
{
	BString folder;
	if (resolve_boot_path(kHostFolderPath, &folder) != B_OK)
		return BString();
	BString path = folder;
	path << "/" << kSshHostKeyName;
	struct stat info;
	if (stat(path.String(), &info) != 0)
		return BString();
	SshHostKey key;
	BString problem;
	if (key.LoadOrMake(folder.String(), &problem) != B_OK)
		return BString("none usable (") + problem + ")";
	return key.Fingerprint();
}


static int
MakeVolume(const HostOptions& options)
{
	BString dataFolder = options.dataFolder;
	if (dataFolder.Length() == 0 && FindDoorDataFolder(&dataFolder) != B_OK) {
		HostLog("no complete set of the door's data files (monsters, weapons,"
			" armor) in %s/../share/drelmoor or the source tree; name a folder"
			" with --data", ProgramFolder().String());
		return kExitFailure;
	}
	BString report;
	status_t status = MakeBootVolume(AbsolutePath(dataFolder), &report);
	if (status != B_OK) {
		HostLog("cannot lay out the boot volume %s: %s",
			boot_volume_folder().String(), report.Length() > 0
				? report.String() : strerror_status(status));
		return kExitFailure;
	}
	HostLog("%s", report.String());
	return kExitSessionEnded;
}


static int
RunHost(const HostOptions& options, const RloginBoards& boards)
{
	if (!CheckSetup(options))
		return kExitFailure;

	// Before the application's threads start, so that all inherit the mask.
	status_t status = BlockHostSignals();
	if (status != B_OK) {
		HostLog("cannot take the host's signals: %s", strerror_status(status));
		return kExitFailure;
	}

	ZenboHost host(options.doorProgram, options.whileTerminals
		? ZenboHost::Lifetime::kWhileTerminals
		: ZenboHost::Lifetime::kUntilStopped, BoardSettingsFrom(options));
	status = host.InitCheck();
	if (status == B_NAME_IN_USE) {
		// A bridge that raced another one to start the host is served by
		// the other host: nothing is wrong.
		if (options.whileTerminals)
			return kExitSessionEnded;
		HostLog("a host already runs on the boot volume %s",
			boot_volume_folder().String());
		return kExitFailure;
	}
	BString problem;
	ZenboHost::WaysIn ways;
	ways.telnet = options.telnetAddress;
	ways.ssh = options.sshAddress;
	ways.web = options.webAddress;
	ways.webOrigin = options.webOrigin;
	ways.trustedProxies = options.trustedProxies;
	ways.rlogin = options.rloginAddress;
	ways.boards = boards;
	if (status == B_OK)
		status = host.Start(ways, &problem);
	if (status != B_OK) {
		HostLog("cannot start the host: %s", problem.Length() > 0
			? problem.String() : strerror_status(status));
		return kExitFailure;
	}

	BString socketPath;
	TerminalSocketPath(&socketPath);
	HostLog("serving the boot volume %s (terminals at %s)",
		boot_volume_folder().String(), socketPath.String());
	if (options.telnetAddress.Length() > 0) {
		BString address;
		uint16 port;
		SplitTelnetAddress(options.telnetAddress, &address, &port);
		HostLog("taking telnet callers at %s port %u", address.String(),
			(unsigned)host.TelnetPort());
	}
	if (options.sshAddress.Length() > 0) {
		BString address;
		uint16 port;
		SplitTelnetAddress(options.sshAddress, &address, &port);
		HostLog("taking SSH callers at %s port %u (host key %s)",
			address.String(), (unsigned)host.SshPort(),
			host.SshFingerprint().String());
	}
	if (options.webAddress.Length() > 0) {
		BString address;
		uint16 port;
		SplitTelnetAddress(options.webAddress, &address, &port);
		HostLog("serving the web terminal at %s port %u", address.String(),
			(unsigned)host.WebPort());
	}
	if (options.rloginAddress.Length() > 0) {
		BString address;
		uint16 port;
		SplitTelnetAddress(options.rloginAddress, &address, &port);
		HostLog("taking RLogin calls of other boards at %s port %u",
			address.String(), (unsigned)host.RloginPort());
	}
	host.Run();
	return kExitSessionEnded;
}


// The user's name, the telnet socket that a drop file hands down (-1 for
// standard I/O), the board's node (0 when unknown) and the time the board
// left its caller (-1 for no limit).
static bool
FindUserName(const HostOptions& options, BString* userName, int* telnetLine,
	int32* node, bigtime_t* timeLeft)
{
	*telnetLine = -1;
	*node = 0;
	*timeLeft = -1;
	if (options.dropFile.Length() > 0) {
		DropFile dropFile;
		BString error;
		status_t status = dropFile.Read(options.dropFile.String(), &error);
		if (status == B_BAD_DATA) {
			HostLog("the drop file %s cannot be used: %s",
				options.dropFile.String(), error.String());
			return false;
		}
		if (status != B_OK) {
			HostLog("cannot read the drop file %s: %s",
				options.dropFile.String(), strerror_status(status));
			return false;
		}
		*userName = dropFile.UserName();
		// Comm type 0 is a local caller and 1 a serial line, which boards
		// on this system pass as standard I/O; 2 is the caller's socket.
		if (dropFile.Comm() == DropFile::CommType::kTelnet)
			*telnetLine = dropFile.CommHandle();
		*node = dropFile.Node();
		*timeLeft = dropFile.TimeLeft();
		return true;
	}

	*userName = options.userName;
	if (userName->Length() == 0) {
		const passwd* account = getpwuid(getuid());
		const char* login = account != NULL ? account->pw_name
			: getenv("USER");
		userName->SetTo(login != NULL ? login : "");
	}
	UserNameProblem problem = JudgeUserName(*userName);
	if (problem != UserNameProblem::kNone) {
		HostLog("\"%s\" cannot be a user name: the name %s",
			EscapedUserName(*userName).String(),
			DescribeUserNameProblem(problem));
		return false;
	}
	return true;
}


// Where a bridge's terminal is, as the sysop sees it in zenbo who.
static BString
BridgePlace(Bridge::Mode mode, int32 node)
{
	BString place;
	if (node > 0)
		place << "node " << node;
	else if (mode == Bridge::Mode::kLocal && ttyname(STDIN_FILENO) != NULL)
		place = ttyname(STDIN_FILENO);
	else if (mode == Bridge::Mode::kTelnet)
		place = "a board's telnet line";
	else
		place = "standard I/O";
	if (node > 0 && mode == Bridge::Mode::kTelnet)
		place << ", telnet";
	return place;
}


// Whether standard error is the terminal the caller sees: a board that
// runs its door on the caller's pseudo-terminal gives it all three.
static bool
StandardErrorIsCallersScreen()
{
	struct stat errors;
	if (!isatty(STDERR_FILENO) || fstat(STDERR_FILENO, &errors) != 0)
		return false;
	for (int descriptor : { STDIN_FILENO, STDOUT_FILENO }) {
		struct stat caller;
		if (isatty(descriptor) && fstat(descriptor, &caller) == 0
			&& caller.st_rdev == errors.st_rdev) {
			return true;
		}
	}
	return false;
}


// A stdio bridge's lines are the sysop's, never the caller's: when its
// standard error is the caller's screen they go to the volume's log
// instead, unless the sysop asked for them there (--verbose).
static void
KeepLogOffTheCallersScreen(const HostOptions& options)
{
	if (options.verbose || !StandardErrorIsCallersScreen())
		return;
	// Only on a volume that is there: the runtime folder would be made.
	BString path;
	int log = -1;
	struct stat volume;
	if (stat(boot_volume_folder().String(), &volume) == 0
		&& S_ISDIR(volume.st_mode) && runtime_folder(&path) == B_OK) {
		path << "/zenbo.log";
		log = open(path.String(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
			0600);
	}
	SendHostLogTo(log, HostLogEcho::kLogFileOnly);
}


// Whether this terminal speaks UTF-8, as the locale names its characters:
// the first of LC_ALL, LC_CTYPE and LANG that is set, as the C library
// takes them.
static bool
LocaleSpeaksUtf8()
{
	for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
		const char* value = getenv(name);
		if (value == NULL || value[0] == '\0')
			continue;
		return strcasestr(value, "utf-8") != NULL
			|| strcasestr(value, "utf8") != NULL;
	}
	return false;
}


static int
RunBridge(const HostOptions& options)
{
	Bridge::Mode mode = options.command == HostOptions::Command::kLocal
		? Bridge::Mode::kLocal : Bridge::Mode::kStdio;
	if (mode == Bridge::Mode::kLocal
		&& (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))) {
		HostLog("--local plays on a terminal; use --stdio with pipes");
		return kExitFailure;
	}

	if (mode == Bridge::Mode::kStdio)
		KeepLogOffTheCallersScreen(options);

	BString userName;
	int telnetLine = -1;
	int32 node = 0;
	bigtime_t timeLeft = -1;
	if (!FindUserName(options, &userName, &telnetLine, &node, &timeLeft)
		|| !CheckSetup(options)) {
		return kExitFailure;
	}
	if (telnetLine >= 0) {
		if (mode != Bridge::Mode::kStdio || options.raw) {
			HostLog("a drop file of comm type 2 names a telnet socket; it goes"
				" with --stdio alone, without --raw");
			return 2;
		}
		mode = Bridge::Mode::kTelnet;
	}

	Bridge bridge(mode, options.raw ? Bridge::Passage::kRaw
		: Bridge::Passage::kLineDiscipline, userName, options.doorProgram,
		telnetLine);
	bridge.SetPlace(BridgePlace(mode, node));
	if (mode == Bridge::Mode::kLocal) {
		DoorCharset door = DoorCharset::kCp437;
		CharacterSet::ParseName(options.charset.String(), &door);
		bridge.SetCharacterSet(CharacterSet(door, LocaleSpeaksUtf8()
			? TerminalEncoding::kUtf8 : TerminalEncoding::kEightBit));
	}
	bridge.SetTimeLeft(timeLeft);
	return bridge.Run();
}


int
main(int argumentCount, char** arguments)
{
	// "zenbo players" and the other sysop's commands read their own
	// arguments.
	if (argumentCount > 1 && IsSysopCommand(arguments[1]))
		return RunSysopCommand(argumentCount - 1, arguments + 1);
	if (argumentCount > 1 && arguments[1][0] != '-'
		&& arguments[1][0] != '\0') {
		HostLog("there is no command %s; the sysop's commands are %s (see"
			" zenbo --help)", arguments[1], kSysopCommandList);
		return 1;
	}

	if (argumentCount == 2 && strcmp(arguments[1], "--version") == 0) {
		printf("zenbo (Drelmoor) %s\n", DRELMOOR_VERSION);
		return 0;
	}

	BString error;
	std::vector<std::string> words;
	RloginBoards boards;
	status_t status = ExpandConfig(argumentCount, arguments, &words, &boards,
		&error);
	if (status != B_OK) {
		HostLog("%s", error.String());
		return status == B_BAD_VALUE ? 2 : 1;
	}
	std::vector<const char*> expanded;
	for (const std::string& word : words)
		expanded.push_back(word.c_str());

	HostOptions options;
	if (ParseHostOptions((int)expanded.size(), expanded.data(), &options,
			&error) != B_OK) {
		HostLog("%s (see zenbo --help)", error.String());
		return 2;
	}
	// The door and a host this program starts inherit the volume.
	if (options.volume.Length() > 0)
		setenv("BOOT_VOLUME", AbsolutePath(options.volume).String(), 1);
	if (options.command == HostOptions::Command::kHelp) {
		fputs(HostUsage(SshFingerprintForHelp()).String(), stdout);
		return 0;
	}
	if (options.doorProgram.Length() == 0) {
		options.doorProgram = ProgramFolder();
		options.doorProgram << "/Drelmoor";
	}
	options.doorProgram = AbsolutePath(options.doorProgram);

	switch (options.command) {
		case HostOptions::Command::kMakeVolume:
			return MakeVolume(options);
		case HostOptions::Command::kHost:
			return RunHost(options, boards);
		case HostOptions::Command::kStdio:
		case HostOptions::Command::kLocal:
			return RunBridge(options);
		default:
			return 2;
	}
}
