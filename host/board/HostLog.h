#pragma once

// The host's own messages, one whole line each on standard error, written
// with one call so that lines of several threads never mix.
void HostLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

enum class HostLogEcho {
	kStandardError,		// the log file and standard error
	kLogFileOnly,		// standard error is a caller's screen
};

// Where the lines go besides: a bridge whose standard error may be its
// caller's terminal keeps them in the volume's log, and writes them to
// standard error only when that is somewhere else. Set once, before the
// program's other threads start; the descriptor stays open for good.
void SendHostLogTo(int logDescriptor, HostLogEcho echo);
