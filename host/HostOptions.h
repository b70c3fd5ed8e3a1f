#pragma once

#include <String.h>

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
	// Set by a bridge that starts the host: it ends with its last terminal.
	bool				whileTerminals = false;
};

// Reads the arguments; on a mistake, a message for the user.
status_t ParseHostOptions(int argumentCount, const char* const* arguments,
	HostOptions* options, BString* error);

extern const char* const kHostUsage;
