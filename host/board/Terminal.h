#pragma once

#include "CharacterSet.h"
#include "Onlooker.h"

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
	// A text of the door in the middle of a screen: a terminal may keep it
	// back a moment to send it with what follows (at most until
	// SendWaiting).
	virtual	void				ShowSoon(const std::string& text)
									{ Show(text); }
	// The door waits for the caller's key: what the terminal kept back to
	// send together with what follows goes now.
	virtual	void				SendWaiting() {}
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
	// The columns of the caller's window, or 0 when the terminal has not
	// said: the host's own screens are fitted to it.
	virtual	int32				Columns() const { return 0; }
	// The caller's own choice of what their terminal speaks, for a way in
	// that can only guess it (telnet, SSH); a terminal whose speech is
	// fixed (the web's UTF-8, a bridge's bytes) offers no choice.
	virtual	bool				OffersEncodingChoice() const { return false; }
	virtual	TerminalEncoding	Encoding() const
									{ return TerminalEncoding::kEightBit; }
	virtual	void				ChooseEncoding(TerminalEncoding) {}
	// Keys typed reach the board as their bytes (a password is the bytes
	// typed, on every way in); those that go on into the door become the
	// door's characters here, at the terminal whose characters they are.
	virtual	std::string			DoorKeys(const std::string& typed)
									{ return typed; }
	// A short name of the way in ("telnet", "ssh", "web", "bridge").
	virtual	const char*			Kind() const = 0;
	// Whether bytes beyond ASCII reach the board as they were typed (a
	// telnet client that declined binary may strip or change them).
	virtual	bool				CarriesEightBits() const { return true; }

	// What the board shows through these, rather than Show and ShowNotice
	// themselves, reaches the terminal's onlooker too (the sysop's
	// spy or chat), so that it sees every text the caller is shown.
			void				Present(const std::string& text)
									{
										Show(text);
										if (fOnlooker != nullptr)
											fOnlooker->Shown(text);
									}
			void				PresentSoon(const std::string& text)
									{
										ShowSoon(text);
										if (fOnlooker != nullptr)
											fOnlooker->Shown(text);
									}
			void				PresentNotice(const std::string& notice,
									const std::string& promptLine)
									{
										ShowNotice(notice, promptLine);
										if (fOnlooker != nullptr) {
											fOnlooker->Shown("\n" + notice
												+ "\n" + promptLine);
										}
									}
	// The board's, on the looper: at most one onlooker per terminal.
			Onlooker*			GetOnlooker() const { return fOnlooker; }
			void				SetOnlooker(Onlooker* onlooker)
									{ fOnlooker = onlooker; }

private:
			Onlooker*			fOnlooker = nullptr;
};
