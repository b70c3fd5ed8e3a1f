#pragma once

#include "Terminal.h"

#include <String.h>

#include <string>

class AccountStore;
class BoardLink;
class LoginLimits;

// What a step of a login comes to, for the board that keeps the caller.
enum class LoginOutcome {
	kGoesOn,			// the caller is asked again, or slow work is under way
	kLoggedIn,			// the name is the caller's: the board seats them
	kLetGo,				// the call ends, with the login's Farewell()
};

// One caller's login, whichever way they came. The same checks in the same
// order serve every caller: the rule for user names, the name locked after
// too many failures, the account the sysop locked, a free name that is the
// caller's to register unless it has the mark of another board's caller
// ("Ash@DARK"); a password checked off the looper, a pause that grows after
// each wrong one and a strike against the name; a new account's password
// typed twice. What differs is only how the caller is asked. At the board's
// prompt (telnet, the web terminal, an SSH caller who came as "new") the
// caller types lines and is shown each question. Before the terminal opens
// (an SSH caller) the caller gives a name with a password or with the
// answers to questions, and hears the verdict through the terminal's
// LoginAnswered, with the reason the board would have shown, for a client
// that can show it; another board's caller (an RLogin call) comes the same
// way with a name that board vouches for. Owned by the board while its
// caller logs in; runs on the host's looper.
class Login {
public:
	enum class Way {
		kAtThePrompt,
		kBeforeTheTerminal,
	};

	enum class Stage {
		kName,
		kPassword,
		kChecking,			// the password is being checked
		kPaused,			// after a wrong password
		kNewPassword,
		kConfirmPassword,
		kHashing,			// a new account's password is being hashed
		kAdmitted,			// before the terminal: waits for it to open
		kRefused,			// another board's call, let go after a pause
	};

								Login(BoardLink& link, AccountStore& accounts,
									LoginLimits& limits, Terminal* terminal,
									int32 caller, Way way);
								Login(const Login&) = delete;
			Login&				operator=(const Login&) = delete;
								~Login();

	// At the board's prompt
			void				Welcome();
	[[nodiscard]] LoginOutcome	KeyTyped(char key);

	// Before the terminal opens. NameGiven judges the name alone, as a
	// client that asks questions needs; Questions() then says what to ask.
	[[nodiscard]] LoginOutcome	NameGiven(const BString& name);
			LoginQuestions		Questions() const;
	[[nodiscard]] LoginOutcome	PasswordGiven(const BString& name,
									const std::string& password);
	[[nodiscard]] LoginOutcome	RegistrationGiven(const std::string& password,
									const std::string& again);
	// An admitted caller is logged in; one who came as "new" logs in at the
	// board's own prompt, with a new time to do so.
	[[nodiscard]] LoginOutcome	TerminalOpened();

	// Another board's caller (an RLogin call), who comes before the
	// terminal with a name the calling board vouches for and no password.
	// Vouched judges the name by the rule for user names alone and logs it
	// in; a name the rule refuses lets the caller go with the reason, since
	// the calling board cannot ask again. HandshakeRefused turns a call
	// that failed (a wrong secret, an unknown address, a malformed
	// handshake) away as a wrong password is: the failure counts against
	// the key, and the caller is let go with the notice once the pause is
	// over.
	[[nodiscard]] LoginOutcome	Vouched(const BString& name);
			void				HandshakeRefused(const std::string& key,
									const std::string& notice);

	// The slow work, and time
	[[nodiscard]] LoginOutcome	PasswordChecked(bool matches);
	[[nodiscard]] LoginOutcome	PasswordHashed(const std::string& hash);
	[[nodiscard]] LoginOutcome	Tick(bigtime_t now, bigtime_t timeout);

			Stage				CurrentStage() const { return fStage; }
			Way					CurrentWay() const { return fWay; }
	// The name as registered, once logged in.
			const BString&		Name() const { return fName; }
	// What a caller who is let go is told; empty for nothing.
			const std::string&	Farewell() const { return fFarewell; }

private:
			LoginOutcome		_LineTyped(const std::string& line);
			LoginOutcome		_NameGiven(const BString& name);
			LoginOutcome		_AccountFound(const BString& storedName,
									const std::string& hash);
			LoginOutcome		_FreeName(const BString& name);
			LoginOutcome		_NewPasswordTyped(const std::string& line);
			LoginOutcome		_AskName(const char* reason);
			LoginOutcome		_Refuse(const char* reason);
			LoginOutcome		_CheckPassword(const std::string& password);
			LoginOutcome		_PasswordWrong();
			LoginOutcome		_Succeeded();
			LoginOutcome		_LetGo(const char* farewell);
			const char*			_PasswordProblem(const std::string& password)
									const;
			bool				_TakesKeys() const;
			void				_Say(const std::string& text);

			BoardLink&			fLink;
			AccountStore&		fAccounts;
			LoginLimits&		fLimits;
			Terminal*			fTerminal;
			int32				fCaller;
			BString				fAddress;
			Way					fWay;
			Stage				fStage = Stage::kName;
			std::string			fLine;
			BString				fName;
			std::string			fHash;
			std::string			fNewPassword;
			int32				fWrongPasswords = 0;
			int32				fRefusedNames = 0;
			bigtime_t			fStarted;
			bigtime_t			fPausedUntil = 0;
			std::string			fFarewell;
};
