#pragma once

#include <String.h>

#include <string>

// Whatever a peer sends that the host repeats (an SSH client's version, a
// browser's Origin, a terminal type, an address from a header, a name),
// made fit for the sysop's log and the callers' screens. The log is read
// on a terminal, and a screen is one: a byte that drives it (ESC, BEL, a
// C1 control such as CSI 0x9B) must reach neither as itself. Printable
// ASCII and well-formed UTF-8 of printable characters pass; every other
// byte is shown as "\xHH". It holds no state and may be used from any
// thread.
class PeerText {
public:
	// The escaped form of the peer's bytes.
	static	std::string			Escaped(const char* data, size_t size);
	static	std::string			Escaped(const std::string& text)
									{ return Escaped(text.data(),
										text.size()); }
	static	BString				Escaped(const BString& text);

	// A terminal type as the who's-online row shows it, whatever the way in
	// that reported it: printable ASCII without spaces (which the row's
	// columns are cut at), at most kMaxTerminalType characters; every
	// other byte is left out.
	static constexpr size_t		kMaxTerminalType = 40;
	static	std::string			TerminalType(const char* data,
									size_t size);
};
