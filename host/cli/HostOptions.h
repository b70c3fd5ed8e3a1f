#pragma once

#include <String.h>

#include <vector>

// What the zenbo command was asked to do, from its arguments.
struct HostOptions {
	enum class Command {
		kNone,
		kHelp,
		kHost,			// the long-lived host of the boot volume
		kStdio,			// a bridge for standard input and output
		kLocal,			// a bridge for this terminal
		kMakeVolume,	// lay out a boot volume
	};

	Command				command = Command::kNone;
	BString				userName;
	BString				dropFile;
	BString				volume;
	BString				doorProgram;
	BString				dataFolder;
	// A stdio bridge that passes bytes unchanged (no line discipline).
	bool				raw = false;
	// A stdio bridge that writes the host's lines to standard error even
	// when that is the caller's terminal.
	bool				verbose = false;
	// Whether a caller is told that the sysop watches their screen.
	bool				spyNotice = true;
	// [ADDRESS:]PORT for telnet callers, SSH callers and the web terminal;
	// empty when the host takes none of that way.
	BString				telnetAddress;
	BString				sshAddress;
	BString				webAddress;
	BString				rloginAddress;
	// An origin besides the web terminal's own whose pages may open it
	// ("https://board.example", a reverse proxy's public name).
	BString				webOrigin;
	// Reverse proxies whose connections name their callers (the PROXY
	// protocol's header, X-Forwarded-For): numeric addresses.
	std::vector<BString> trustedProxies;
	// The door's 8-bit character set: "cp437" or "latin1".
	BString				charset = "cp437";
	int32				graceSeconds = 180;
	int32				idleSeconds = 600;
	int32				maxCallers = 200;
	// A name that fails 10 times within this time is locked for as long.
	int32				lockWindowSeconds = 600;
	// Network connections not logged in yet, in all and from one address.
	int32				maxPrelogin = 128;
	int32				maxPreloginPerAddress = 16;
	// The first pause after a wrong password; it doubles with each one.
	bigtime_t			failureDelay = 1000000;
	// Set by a bridge that starts the host: it ends with its last terminal.
	bool				whileTerminals = false;
};

// Reads the arguments; on a mistake, a message for the user.
status_t ParseHostOptions(int argumentCount, const char* const* arguments,
	HostOptions* options, BString* error);

// zenbo --help's text; with the SSH host key's fingerprint when the boot
// volume has one (empty: it is made at the first start).
BString HostUsage(const BString& sshFingerprint);
extern const char* const kDefaultTelnetAddress;
extern const char* const kDefaultSshAddress;
extern const char* const kDefaultWebAddress;
extern const char* const kDefaultRloginAddress;

// Splits "[ADDRESS:]PORT" (ADDRESS an IPv4 address, a bracketed IPv6 one or
// a name of this machine), for any of the network ways in; B_BAD_VALUE when
// it is none.
status_t SplitTelnetAddress(const BString& text, BString* address,
	uint16* port);
