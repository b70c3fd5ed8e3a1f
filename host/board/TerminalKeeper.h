#pragma once

#include <memory>

class Terminal;

// Who keeps the board's connections of a way in that makes them itself
// (SSH, the web terminal): it takes each new one, and deletes one that
// ended only after the event that ended it, never under its own call.
class TerminalKeeper {
public:
	virtual						~TerminalKeeper() = default;

	virtual	void				KeepTerminal(
									std::unique_ptr<Terminal> connection)
									= 0;
	virtual	void				TerminalEnded(Terminal* connection) = 0;
};
