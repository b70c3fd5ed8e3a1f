#pragma once

#include <String.h>

#include <string>

// One caller's terminal as the board sees it, whatever carries it (telnet
// today; SSH or a web terminal later): texts go out through the terminal's
// line discipline, and the connection reports keys, its drain and its hang-up
// to the board. Each kind of terminal is one class with its own write queue;
// the board never touches a descriptor.
class Connection {
public:
	virtual						~Connection() = default;

	// A text of the door or of the board; "\n" ends a line.
	virtual	void				Show(const std::string& text) = 0;
	// Bytes waiting to go out: a caller who does not read makes the door's
	// texts wait once this grows.
	virtual	size_t				Backlog() const = 0;
	// Sends what waits, then closes; the connection reports its hang-up.
	virtual	void				Close() = 0;

	virtual	const BString&		Address() const = 0;
	virtual	BString				TerminalType() const = 0;
	// A short name of the way in ("telnet").
	virtual	const char*			Kind() const = 0;
};
