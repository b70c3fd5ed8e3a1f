#include "PasswordChange.h"

#include "AccountStore.h"
#include "BoardLink.h"
#include "HostLog.h"
#include "LoginLimits.h"
#include "PasswordRules.h"
#include "Terminal.h"

#include <ZenboUserName.h>


static const char kBackspace = 0x08;

const char* const PasswordChange::kPasswordPrompt = "Your password now: ";
const char* const PasswordChange::kChangedNotice
	= "Your password is changed.\n";


PasswordChange::PasswordChange(BoardLink& link, AccountStore& accounts,
	LoginLimits& limits, Terminal* terminal, int32 caller,
	const BString& name, const BString& address)
	:
	fLink(link),
	fAccounts(accounts),
	fLimits(limits),
	fTerminal(terminal),
	fCaller(caller),
	fName(name),
	fAddress(address)
{
}


// A caller who leaves while the password is checked gives the check's place
// back: its verdict reaches nobody, so it is no guess.
PasswordChange::~PasswordChange()
{
	if (fStage == Stage::kChecking)
		fLimits.CheckEnded(NameKey(fName));
}


PasswordChange::Outcome
PasswordChange::Begin()
{
	// A name locked by failures takes no more guesses, here as at login.
	if (fLimits.IsLocked(NameKey(fName), fLink.Now())) {
		_Say("That name is locked after too many failed logins; try again"
			" later.\n");
		return Outcome::kFinished;
	}
	_Say(std::string("An empty line leaves your password as it is.\n")
		+ kPasswordPrompt);
	return Outcome::kGoesOn;
}


PasswordChange::Outcome
PasswordChange::KeyTyped(char key)
{
	if (fStage != Stage::kPassword && fStage != Stage::kNewPassword
		&& fStage != Stage::kConfirmPassword) {
		// Typed ahead of a question not yet asked: not its answer.
		return Outcome::kGoesOn;
	}
	if (key == '\n') {
		std::string line;
		line.swap(fLine);
		_Say("\n");
		return _LineTyped(line);
	}
	if (key == kBackspace) {
		if (!fLine.empty())
			fLine.pop_back();
		return Outcome::kGoesOn;
	}
	// Every byte, as at the login: a password is the bytes typed.
	if (fLine.size() < kMaxPasswordLength) {
		fLine += key;
	}
	return Outcome::kGoesOn;
}


PasswordChange::Outcome
PasswordChange::_LineTyped(const std::string& line)
{
	switch (fStage) {
		case Stage::kPassword:
		{
			if (line.empty()) {
				_Say("Your password is as it was.\n");
				return Outcome::kFinished;
			}
			BString storedName;
			std::string hash;
			status_t status = fAccounts.Find(fName, &storedName, &hash);
			if (status == B_OK && IsLockedAccountHash(hash)) {
				// Locked by the sysop since the caller logged in.
				_Say("That account is locked; ask the sysop.\n");
				return Outcome::kFinished;
			}
			if (status != B_OK) {
				HostLog("cannot read the account of %s: %s",
					EscapedUserName(fName).String(), strerror_status(status));
				_Say("The board cannot change your password just now.\n");
				return Outcome::kFinished;
			}
			// The name's lock holds here as at the login: a caller on the
			// board cannot guess the password it already has past it.
			if (!fLimits.CheckStarting(NameKey(fName), fLink.Now())) {
				HostLog("failed password change for %s from %s: the name is"
					" locked", EscapedUserName(fName).String(),
					fAddress.String());
				_Say("That name is locked after too many failed logins;"
					" try again later.\n");
				return Outcome::kFinished;
			}
			fStage = Stage::kChecking;
			fLink.CheckPassword(fCaller, hash, line);
			return Outcome::kGoesOn;
		}
		case Stage::kNewPassword:
		case Stage::kConfirmPassword:
		{
			std::string say;
			std::string chosen;
			if (!NewPasswordLineTyped(line, fTerminal->CarriesEightBits(),
					fNewPassword, &say, &chosen)) {
				fStage = fNewPassword.empty() ? Stage::kNewPassword
					: Stage::kConfirmPassword;
				_Say(say);
				return Outcome::kGoesOn;
			}
			fStage = Stage::kHashing;
			fLink.HashPassword(fCaller, chosen);
			return Outcome::kGoesOn;
		}
		default:
			return Outcome::kGoesOn;
	}
}


PasswordChange::Outcome
PasswordChange::PasswordChecked(bool matches)
{
	if (fStage != Stage::kChecking)
		return Outcome::kGoesOn;
	fLimits.CheckEnded(NameKey(fName));
	if (!matches)
		return _Wrong();
	fWrongPasswords = 0;
	fLimits.Succeeded(NameKey(fName));
	fStage = Stage::kNewPassword;
	_Say("Choose a password (at least 8 characters, not shown): ");
	return Outcome::kGoesOn;
}


PasswordChange::Outcome
PasswordChange::PasswordHashed(const std::string& hash)
{
	if (fStage != Stage::kHashing)
		return Outcome::kGoesOn;
	BString storedName;
	status_t status = hash.empty() ? B_ERROR
		: fAccounts.SetHash(fName, hash, &storedName);
	if (status != B_OK) {
		HostLog("cannot keep the new password of %s: %s",
			EscapedUserName(fName).String(), strerror_status(status));
		_Say("The board cannot keep your new password just now; the old"
			" one still works.\n");
		return Outcome::kFinished;
	}
	HostLog("%s changed their password from %s",
		EscapedUserName(fName).String(), fAddress.String());
	_Say(kChangedNotice);
	return Outcome::kFinished;
}


PasswordChange::Outcome
PasswordChange::Tick(bigtime_t now)
{
	if (fStage != Stage::kPaused || now < fPausedUntil)
		return Outcome::kGoesOn;
	if (fLimits.TriesUsedUp(fWrongPasswords))
		return Outcome::kLetGo;
	fStage = Stage::kPassword;
	_Say(kPasswordPrompt);
	return Outcome::kGoesOn;
}


// As a wrong password at login: logged, counted against the name, and
// paused for longer after each.
PasswordChange::Outcome
PasswordChange::_Wrong()
{
	bigtime_t now = fLink.Now();
	HostLog("failed password change for %s from %s",
		EscapedUserName(fName).String(), fAddress.String());
	if (fLimits.Failed(NameKey(fName), now)) {
		HostLog("%s is locked after %d failed logins",
			EscapedUserName(fName).String(), (int)fLimits.LockFailures());
	}
	fWrongPasswords++;
	fStage = Stage::kPaused;
	fPausedUntil = now + fLimits.PauseAfter(fWrongPasswords);
	_Say("That password is wrong.\n");
	return Outcome::kGoesOn;
}


void
PasswordChange::_Say(const std::string& text)
{
	if (fTerminal != NULL)
		fTerminal->Show(text);
}
