#pragma once

#include <String.h>
#include <SupportDefs.h>

#include <string>

class AccountStore;
class BoardLink;
class LoginLimits;
class Terminal;

// A caller's change of their own password in the front room: the password
// of now once, then the new one twice under the rule and with the words of
// registration, none of it shown. The password of now is checked off the
// looper as at login, and a wrong one is a failure as at login: it counts
// against the name, the caller waits a pause that grows with each, and the
// call ends after as many as a login allows. An empty line at the first
// question goes back to the front room. Owned by the board while the caller
// changes; runs on the host's looper.
class PasswordChange {
public:
	enum class Outcome {
		kGoesOn,			// asked again, or slow work under way
		kFinished,			// changed, refused or given up: the front room
		kLetGo,				// too many wrong passwords: the call ends
	};

	enum class Stage {
		kPassword,
		kChecking,
		kPaused,
		kNewPassword,
		kConfirmPassword,
		kHashing,
	};

	static	const char* const	kPasswordPrompt;
	static	const char* const	kChangedNotice;

								PasswordChange(BoardLink& link,
									AccountStore& accounts,
									LoginLimits& limits, Terminal* terminal,
									int32 caller, const BString& name,
									const BString& address);
								~PasswordChange();
								PasswordChange(const PasswordChange&)
									= delete;
			PasswordChange&		operator=(const PasswordChange&) = delete;

	// Asks for the password of now; kFinished at once when the name may
	// not change it (locked by failures, or its account gone).
	[[nodiscard]] Outcome		Begin();
	[[nodiscard]] Outcome		KeyTyped(char key);
	[[nodiscard]] Outcome		PasswordChecked(bool matches);
	[[nodiscard]] Outcome		PasswordHashed(const std::string& hash);
	[[nodiscard]] Outcome		Tick(bigtime_t now);

			Stage				CurrentStage() const { return fStage; }

private:
			Outcome				_LineTyped(const std::string& line);
			Outcome				_Wrong();
			void				_Say(const std::string& text);

			BoardLink&			fLink;
			AccountStore&		fAccounts;
			LoginLimits&		fLimits;
			Terminal*			fTerminal;
			int32				fCaller;
			BString				fName;
			BString				fAddress;
			Stage				fStage = Stage::kPassword;
			std::string			fLine;
			std::string			fNewPassword;
			int32				fWrongPasswords = 0;
			bigtime_t			fPausedUntil = 0;
};
