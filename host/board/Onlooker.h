#pragma once

#include <string>

// Who sees a caller's screen besides the caller: the sysop watching it
// (zenbo spy), or the sysop's side of a chat with the caller. The board
// hands it the texts as the caller's terminal is shown them, before any
// way in's own line discipline, and tells it once when the watch or the
// chat is over. It lives on the host's looper; the board forgets it before
// Ended, and it must tell the board when it goes first.
class Onlooker {
public:
	virtual						~Onlooker() = default;

	virtual	void				Shown(const std::string& text) = 0;
	// The caller left, the chat ended, or the board stops: why, for the
	// sysop.
	virtual	void				Ended(const std::string& why) = 0;
};
