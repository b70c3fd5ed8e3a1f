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

// What a caller who logs in before the terminal opens is to be asked for
// the name they gave.
enum class LoginQuestions {
	kNone,				// nothing: the name cannot log in (refused)
	kPassword,			// the account's password
	kNewPassword,		// a free name: a password to register it with
	kNoneNeeded,		// the name "new": admitted, to log in at the board
};

// The name a caller who logs in before the terminal opens gives to log in
// (or register) at the board's own prompt instead, as a telnet caller does.
extern const char* const kNewCallerName;

// The board's answer to a caller who logs in before the terminal opens (an
// SSH caller's name and password).
enum class LoginAnswer {
	kAdmitted,
	// With the reason, when there is one the caller should hear (an account
	// the sysop locked): what the board's prompt would have shown.
	kRefused,
	// A new name's password would not do (too short, typed differently
	// twice): the caller is asked for it again, told why.
	kAskAgain,
};

// One caller's terminal as the board sees it, whatever carries it (a
// bridge's socket, a telnet line, an SSH channel or a web terminal's
// WebSocket):
// texts go out through the terminal's line discipline, and the connection
// reports keys, its drain and its hang-up to the board. Each kind of
// terminal is one class with its own write queue; the board never touches
// a descriptor.
class Terminal {
public:
	virtual						~Terminal() = default;

	// A text of the door or of the board; "\n" ends a line.
	virtual	void				Show(const std::string& text) = 0;
	// Bytes waiting to go out: a caller who does not read makes the door's
	// texts wait once this grows.
	virtual	size_t				Backlog() const = 0;
	// Keys this terminal may type ahead of the door; more are dropped. A
	// caller from the network gets a screenful or a paste; a terminal of
	// this machine (a bridge whose keys come from a file) may send more.
	static constexpr size_t		kNetworkKeysAhead = 4 * 1024;
	virtual	size_t				KeysAhead() const
									{ return kNetworkKeysAhead; }
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
	// For a terminal whose caller logs in before it opens: the board's
	// verdict, which may come after slow work (a password's check). The
	// reason goes with kAskAgain, and with kRefused when there is one; it
	// may be NULL.
	virtual	void				LoginAnswered(LoginAnswer, const char*) {}
	// The caller has logged in: the connection no longer counts among
	// those the host limits before login.
	virtual	void				LoggedIn() {}

	virtual	const BString&		Address() const = 0;
	virtual	BString				TerminalType() const = 0;
	// A short name of the way in ("telnet", "ssh", "web", "bridge").
	virtual	const char*			Kind() const = 0;
};
