#include "Login.h"

#include "AccountStore.h"
#include "BoardLink.h"
#include "HostLog.h"
#include "LoginLimits.h"
#include "PasswordRules.h"
#include "ScreenFit.h"

#include <ZenboUserName.h>

#include <string.h>


static const size_t kMaxLineLength = 64;
static const char kBackspace = 0x08;
// Names refused in one call (the rule, a lock) before the call ends: each
// refusal costs no pause and is logged, so a caller who tries name after
// name must not do it for the whole time of logging in.
static const int32 kMaxRefusedNames = 10;

static const char* const kAccountLockedNotice
	= "That account is locked; ask the sysop.";
static const char* const kNameTakenNotice
	= "That name is taken; choose another.";
static const char* const kNameLockedNotice
	= "That name is locked after too many failed logins; try again later.";
// Marks the callers of other boards (Ash@DARK): no name of this board's
// own has it.
static const char kOtherBoardMark = '@';

const char* const kNewCallerName = "new";


Login::Login(BoardLink& link, AccountStore& accounts, LoginLimits& limits,
	Terminal* terminal, int32 caller, Way way)
	:
	fLink(link),
	fAccounts(accounts),
	fLimits(limits),
	fTerminal(terminal),
	fCaller(caller),
	fAddress(terminal->Address()),
	fWay(way),
	fStarted(link.Now())
{
}


// A caller who leaves while their password is checked gives the check's
// place back: its verdict reaches nobody, so it is no guess.
Login::~Login()
{
	if (fStage == Stage::kChecking)
		fLimits.CheckEnded(NameKey(fName));
}


// #pragma mark - At the board's prompt


void
Login::Welcome()
{
	_Say("\nWelcome to the Drelmoor board.\nGive your board name to log in,"
		" or a new name to register.\n");
	_AskName(NULL);
}


LoginOutcome
Login::KeyTyped(char key)
{
	// Keys typed ahead of a question not yet asked are not its answer.
	if (!_TakesKeys())
		return LoginOutcome::kGoesOn;
	bool secret = fStage != Stage::kName;
	if (key == '\n') {
		std::string line;
		line.swap(fLine);
		_Say("\n");
		return _LineTyped(line);
	}
	if (key == kBackspace) {
		if (!fLine.empty()) {
			fLine.pop_back();
			if (!secret)
				_Say("\b \b");
		}
		return LoginOutcome::kGoesOn;
	}
	// A password is the bytes typed, UTF-8 or any other, so the same one
	// works on every way in; a control among them is kept too, so that
	// registration can refuse it aloud rather than store the rest. A name
	// is plain ASCII by its rule.
	bool printable = (uint8)key >= 0x20 && (uint8)key < 0x7f;
	if ((printable || secret)
		&& fLine.size() < (secret ? kMaxPasswordLength : kMaxLineLength)) {
		fLine += key;
		if (!secret)
			_Say(std::string(1, key));
	}
	return LoginOutcome::kGoesOn;
}


LoginOutcome
Login::_LineTyped(const std::string& line)
{
	switch (fStage) {
		case Stage::kName:
			return _NameGiven(BString(line.c_str()));
		case Stage::kPassword:
			return _CheckPassword(line);
		case Stage::kNewPassword:
		case Stage::kConfirmPassword:
			return _NewPasswordTyped(line);
		default:
			return LoginOutcome::kGoesOn;
	}
}


LoginOutcome
Login::_NewPasswordTyped(const std::string& line)
{
	std::string say;
	std::string chosen;
	if (!NewPasswordLineTyped(line, fTerminal->CarriesEightBits(),
			fNewPassword, &say, &chosen)) {
		fStage = fNewPassword.empty() ? Stage::kNewPassword
			: Stage::kConfirmPassword;
		_Say(say);
		return LoginOutcome::kGoesOn;
	}
	fStage = Stage::kHashing;
	fLink.HashPassword(fCaller, chosen);
	return LoginOutcome::kGoesOn;
}


// #pragma mark - Before the terminal opens


LoginOutcome
Login::NameGiven(const BString& name)
{
	if (fWay != Way::kBeforeTheTerminal || fStage != Stage::kName)
		return LoginOutcome::kGoesOn;
	return _NameGiven(name);
}


LoginQuestions
Login::Questions() const
{
	if (fWay != Way::kBeforeTheTerminal)
		return LoginQuestions::kNone;
	switch (fStage) {
		case Stage::kPassword:
			return LoginQuestions::kPassword;
		case Stage::kNewPassword:
			return LoginQuestions::kNewPassword;
		case Stage::kAdmitted:
			return fName.Length() == 0 ? LoginQuestions::kNoneNeeded
				: LoginQuestions::kNone;
		default:
			return LoginQuestions::kNone;
	}
}


LoginOutcome
Login::PasswordGiven(const BString& name, const std::string& password)
{
	// A refused call waits out its pause whatever it sends meanwhile.
	if (fWay != Way::kBeforeTheTerminal || fStage == Stage::kRefused)
		return LoginOutcome::kGoesOn;
	if (fStage == Stage::kName) {
		LoginOutcome outcome = _NameGiven(name);
		if (outcome != LoginOutcome::kGoesOn || fStage == Stage::kName) {
			// Let go, or refused with the reason.
			return outcome;
		}
		if (fStage == Stage::kAdmitted) {
			fTerminal->LoginAnswered(LoginAnswer::kAdmitted, NULL);
			return LoginOutcome::kGoesOn;
		}
		// A new name registers by answering questions, where its password
		// is typed twice.
		if (fStage == Stage::kNewPassword)
			return _AskName(NULL);
	}
	if (fStage != Stage::kPassword || NameKey(name) != NameKey(fName))
		return _AskName(NULL);
	return _CheckPassword(password.substr(0, kMaxPasswordLength));
}


LoginOutcome
Login::RegistrationGiven(const std::string& password, const std::string& again)
{
	if (fWay != Way::kBeforeTheTerminal || fStage != Stage::kNewPassword)
		return LoginOutcome::kGoesOn;
	if (password.size() < kMinPasswordLength
		|| password.size() > kMaxPasswordLength) {
		fTerminal->LoginAnswered(LoginAnswer::kAskAgain,
			"A password has 8 to 128 characters.");
		return LoginOutcome::kGoesOn;
	}
	if (password != again) {
		fTerminal->LoginAnswered(LoginAnswer::kAskAgain,
			"The passwords differ.");
		return LoginOutcome::kGoesOn;
	}
	const char* problem = _PasswordProblem(password);
	if (problem != NULL) {
		fTerminal->LoginAnswered(LoginAnswer::kAskAgain, problem);
		return LoginOutcome::kGoesOn;
	}
	fStage = Stage::kHashing;
	fLink.HashPassword(fCaller, password);
	return LoginOutcome::kGoesOn;
}


LoginOutcome
Login::TerminalOpened()
{
	if (fWay != Way::kBeforeTheTerminal)
		return LoginOutcome::kGoesOn;
	if (fStage != Stage::kAdmitted)
		return _LetGo("");
	if (fName.Length() > 0)
		return LoginOutcome::kLoggedIn;
	fWay = Way::kAtThePrompt;
	fStarted = fLink.Now();
	Welcome();
	return LoginOutcome::kGoesOn;
}


// #pragma mark - Another board's caller


LoginOutcome
Login::Vouched(const BString& name)
{
	if (fWay != Way::kBeforeTheTerminal || fStage != Stage::kName)
		return LoginOutcome::kGoesOn;
	UserNameProblem problem = JudgeUserName(name);
	if (problem != UserNameProblem::kNone) {
		std::string escaped = EscapedUserName(name).String();
		HostLog("refused a call from %s: \"%s\" cannot be a user name",
			fAddress.String(), escaped.c_str());
		std::string farewell = "\"" + escaped + "\" cannot be a user name"
			" here: the name " + DescribeUserNameProblem(problem) + ".\n";
		return _LetGo(farewell.c_str());
	}
	fName = name;
	fStage = Stage::kAdmitted;
	return LoginOutcome::kLoggedIn;
}


void
Login::HandshakeRefused(const std::string& key, const std::string& notice)
{
	if (fWay != Way::kBeforeTheTerminal || fStage != Stage::kName)
		return;
	bigtime_t now = fLink.Now();
	LoginLimits::Refusal refusal = fLimits.CallRefused(key, now);
	if (refusal.locked) {
		HostLog("%s is locked after %d failed logins",
			EscapedUserName(fAddress).String(), (int)fLimits.LockFailures());
	}
	fStage = Stage::kRefused;
	fPausedUntil = now + refusal.pause;
	fFarewell = notice;
}


// #pragma mark - The checks every caller meets


LoginOutcome
Login::_NameGiven(const BString& name)
{
	// A caller before the terminal who tries once more than allowed.
	if (fLimits.TriesUsedUp(fWrongPasswords))
		return _LetGo("");
	if (name.Length() == 0)
		return _AskName(NULL);
	if (fWay == Way::kBeforeTheTerminal && NameKey(name) == kNewCallerName) {
		fStage = Stage::kAdmitted;
		return LoginOutcome::kGoesOn;
	}
	UserNameProblem problem = JudgeUserName(name);
	if (problem != UserNameProblem::kNone) {
		HostLog("failed login from %s: \"%s\" cannot be a user name",
			fAddress.String(), EscapedUserName(name).String());
		std::string reason = std::string("That name ")
			+ DescribeUserNameProblem(problem) + ".";
		return _Refuse(reason.c_str());
	}
	if (fLimits.IsLocked(NameKey(name), fLink.Now())) {
		HostLog("failed login for %s from %s: the name is locked",
			EscapedUserName(name).String(), fAddress.String());
		return _Refuse(kNameLockedNotice);
	}
	BString storedName;
	std::string hash;
	status_t status = fAccounts.Find(name, &storedName, &hash);
	if (status == B_OK)
		return _AccountFound(storedName, hash);
	if (status != B_ENTRY_NOT_FOUND) {
		HostLog("cannot read the accounts for the caller from %s: %s",
			fAddress.String(), strerror_status(status));
		return _LetGo("The board cannot read its accounts just now; please"
			" call again later.\n");
	}
	return _FreeName(name);
}


LoginOutcome
Login::_FreeName(const BString& name)
{
	if (strchr(name.String(), kOtherBoardMark) != NULL) {
		return _Refuse("A name with an @ is another board's caller's; choose"
			" one without.");
	}
	// A board's node caller plays a character with no account here: the
	// name is theirs, and only the sysop gives it an account.
	if (fLink.HasCharacter(name)) {
		HostLog("refused to register %s from %s: the name has a character"
			" and no account", EscapedUserName(name).String(),
			fAddress.String());
		return _Refuse(kNameTakenNotice);
	}
	fName = name;
	fStage = Stage::kNewPassword;
	if (fWay == Way::kAtThePrompt) {
		_Say(std::string("There is no account ") + name.String() + " yet: it"
			" is yours to register.\nChoose a password (at least 8"
			" characters, not shown): ");
	}
	return LoginOutcome::kGoesOn;
}


// A locked account is refused before any password is asked or checked:
// no password can open it, so a try is no guess to pause for or to count
// against the name, and the caller hears why at once.
LoginOutcome
Login::_AccountFound(const BString& storedName, const std::string& hash)
{
	if (IsLockedAccountHash(hash)) {
		HostLog("failed login for %s from %s: the sysop locked the account",
			EscapedUserName(storedName).String(), fAddress.String());
		return _Refuse(kAccountLockedNotice);
	}
	fName = storedName;
	fHash = hash;
	fStage = Stage::kPassword;
	if (fWay == Way::kAtThePrompt)
		_Say("Password: ");
	return LoginOutcome::kGoesOn;
}


// #pragma mark - The slow work, and time


LoginOutcome
Login::PasswordChecked(bool matches)
{
	if (fStage != Stage::kChecking)
		return LoginOutcome::kGoesOn;
	fLimits.CheckEnded(NameKey(fName));
	if (!matches)
		return _PasswordWrong();
	if (fLimits.IsLocked(NameKey(fName), fLink.Now())) {
		// Every check counts until its verdict, so the checks of the name
		// cannot lock it behind a right one; a lock is never walked
		// through all the same.
		HostLog("failed login for %s from %s: the name is locked",
			EscapedUserName(fName).String(), fAddress.String());
		return _Refuse(kNameLockedNotice);
	}
	BString storedName;
	std::string hash;
	if (fAccounts.Find(fName, &storedName, &hash) == B_OK
		&& IsLockedAccountHash(hash)) {
		// Locked by the sysop while the password was being checked.
		return _AskName(kAccountLockedNotice);
	}
	return _Succeeded();
}


LoginOutcome
Login::PasswordHashed(const std::string& hash)
{
	if (fStage != Stage::kHashing)
		return LoginOutcome::kGoesOn;
	// A node caller may have made the character while the hash was made.
	if (fLink.HasCharacter(fName))
		return _AskName(kNameTakenNotice);
	status_t status = hash.empty() ? B_ERROR : fAccounts.Add(fName, hash);
	if (status == B_FILE_EXISTS)
		return _AskName("Somebody registered that name just now.");
	if (status != B_OK) {
		HostLog("cannot keep the account of %s: %s",
			EscapedUserName(fName).String(), strerror_status(status));
		return _LetGo("The board cannot keep new accounts just now; please"
			" call again later.\n");
	}
	HostLog("%s registered from %s", EscapedUserName(fName).String(),
		fAddress.String());
	return _Succeeded();
}


LoginOutcome
Login::Tick(bigtime_t now, bigtime_t timeout)
{
	// The refusal's notice is the farewell; it waited out the pause.
	if (fStage == Stage::kRefused && now >= fPausedUntil)
		return LoginOutcome::kLetGo;
	if (fStage == Stage::kPaused && now >= fPausedUntil) {
		if (fWay == Way::kBeforeTheTerminal) {
			// The refusal itself waited out the pause; a caller who tries
			// once more than allowed is let go then.
			return _AskName(NULL);
		}
		if (fLimits.TriesUsedUp(fWrongPasswords))
			return _LetGo("Good-bye.\n");
		fStage = Stage::kPassword;
		_Say("Password: ");
	}
	if (now - fStarted >= timeout) {
		HostLog("the caller from %s did not log in in time",
			fAddress.String());
		return _LetGo("\nTime is up for logging in. Good-bye.\n");
	}
	return LoginOutcome::kGoesOn;
}


// #pragma mark - Private


// At the prompt the reason is shown and the name asked again; before the
// terminal the try is refused, and the client's next try gives a name.
LoginOutcome
Login::_AskName(const char* reason)
{
	fStage = Stage::kName;
	fName = "";
	fHash.clear();
	if (fWay == Way::kBeforeTheTerminal) {
		fTerminal->LoginAnswered(LoginAnswer::kRefused, reason);
		return LoginOutcome::kGoesOn;
	}
	fLine.clear();
	std::string text = reason != NULL ? std::string(reason) + "\n" : "";
	_Say(text + "Name: ");
	return LoginOutcome::kGoesOn;
}


LoginOutcome
Login::_Refuse(const char* reason)
{
	if (++fRefusedNames >= kMaxRefusedNames) {
		HostLog("the caller from %s gave %d names that were refused",
			fAddress.String(), (int)fRefusedNames);
		return _LetGo("Good-bye.\n");
	}
	return _AskName(reason);
}


// Whether the guess may be checked is decided now, across every caller of
// the name: the lock may have fallen since the name was typed.
LoginOutcome
Login::_CheckPassword(const std::string& password)
{
	if (!fLimits.CheckStarting(NameKey(fName), fLink.Now())) {
		HostLog("failed login for %s from %s: the name is locked",
			EscapedUserName(fName).String(), fAddress.String());
		return _Refuse(kNameLockedNotice);
	}
	fStage = Stage::kChecking;
	fLink.CheckPassword(fCaller, fHash, password);
	return LoginOutcome::kGoesOn;
}


LoginOutcome
Login::_PasswordWrong()
{
	bigtime_t now = fLink.Now();
	HostLog("failed login for %s from %s", EscapedUserName(fName).String(),
		fAddress.String());
	if (fLimits.Failed(NameKey(fName), now)) {
		HostLog("%s is locked after %d failed logins",
			EscapedUserName(fName).String(), (int)fLimits.LockFailures());
	}
	fWrongPasswords++;
	fStage = Stage::kPaused;
	fPausedUntil = now + fLimits.PauseAfter(fWrongPasswords);
	if (fWay == Way::kAtThePrompt)
		_Say("That password is wrong.\n");
	return LoginOutcome::kGoesOn;
}


LoginOutcome
Login::_Succeeded()
{
	fHash.clear();
	fWrongPasswords = 0;
	fLimits.Succeeded(NameKey(fName));
	if (fWay == Way::kAtThePrompt)
		return LoginOutcome::kLoggedIn;
	// Logged in once the terminal opens: a takeover or a resume waits for
	// a terminal to show it on.
	fStage = Stage::kAdmitted;
	fTerminal->LoginAnswered(LoginAnswer::kAdmitted, NULL);
	return LoginOutcome::kGoesOn;
}


LoginOutcome
Login::_LetGo(const char* farewell)
{
	fFarewell = farewell;
	return LoginOutcome::kLetGo;
}


// A new password is kept only as it was typed: one this way in may have
// altered, or that holds keys no other way in would send alike, is
// refused aloud instead.
const char*
Login::_PasswordProblem(const std::string& password) const
{
	return PasswordProblem(password, fTerminal->CarriesEightBits());
}


bool
Login::_TakesKeys() const
{
	if (fWay != Way::kAtThePrompt)
		return false;
	return fStage == Stage::kName || fStage == Stage::kPassword
		|| fStage == Stage::kNewPassword || fStage == Stage::kConfirmPassword;
}


void
Login::_Say(const std::string& text)
{
	if (fTerminal != NULL)
		fTerminal->Present(ScreenFit::Wrapped(text, fTerminal->Columns()));
}
