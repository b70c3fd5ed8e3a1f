#pragma once

#include <String.h>

#include <string>

// How a call ended, for a terminal that reports it to its user (a bridge's
// exit status).
enum class CallEnd {
	kSessionEnded,
	kFailure,
	kDoorClosed,
};

// One caller's terminal as the board sees it, whatever carries it (a
// bridge's socket or a telnet line today; SSH or a web terminal later):
// texts go out through the terminal's line discipline, and the connection
// reports keys, its drain and its hang-up to the board. Each kind of
// terminal is one class with its own write queue; the board never touches
// a descriptor.
class Connection {
public:
	virtual						~Connection() = default;

	// A text of the door or of the board; "\n" ends a line.
	virtual	void				Show(const std::string& text) = 0;
	// Bytes waiting to go out: a caller who does not read makes the door's
	// texts wait once this grows.
	virtual	size_t				Backlog() const = 0;
	// Shows the host's notice (if any) as this kind of terminal shows the
	// host's own words, sends what waits, then closes. The connection
	// reports its hang-up; the board has forgotten it by then.
	virtual	void				Finish(CallEnd end, const char* notice) = 0;
	// The host's log line about this caller, for a terminal that shows it.
	virtual	void				LogLine(const BString&) {}
	// A notice of the host while the caller stands at a prompt, between
	// two texts: on a line of its own, then the prompt's line again, so
	// that the caller types where they were.
	virtual	void				ShowNotice(const std::string& notice,
									const std::string& promptLine)
									{ Show("\n" + notice + "\n" + promptLine); }

	virtual	const BString&		Address() const = 0;
	virtual	BString				TerminalType() const = 0;
	// A short name of the way in ("telnet", "bridge").
	virtual	const char*			Kind() const = 0;
};
