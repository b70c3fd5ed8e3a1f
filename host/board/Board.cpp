#include "Board.h"

#include "AccountStore.h"
#include "Terminal.h"
#include "HostLog.h"
#include "TimeLimit.h"

#include <Message.h>
#include <ZenboUserName.h>

#include <ctype.h>
#include <string.h>

#include <algorithm>
#include <vector>


// A door that shows texts faster than a caller takes them waits for its
// answers once this much is on the way.
static const size_t kMaxOutputBacklog = 64 * 1024;
// What a resumed caller is shown again: the texts since the last key, of
// which the end is the door's prompt.
static const size_t kMaxPromptSize = 4096;
static const size_t kMaxLineLength = 64;
static const size_t kMinPasswordLength = 8;
static const size_t kMaxPasswordLength = 128;
static const char kBackspace = 0x08;

static const char* const kBusyNotice
	= "The board is busy, please call again later.\n";
static const char* const kTakenOverNotice
	= "Your session was taken over from another connection.\n";
static const char* const kDoorClosedNotice = "The door has closed.";
static const char* const kTimeUpNotice = "\nYour time is up.\n";
// Marks the callers of other boards (Ash@DARKSIDE): no name of this
// board's own has it.
static const char kOtherBoardMark = '@';

const char* const kNewCallerName = "new";


struct Board::Caller {
	enum class Stage {
		kName,
		kPassword,
		kChecking,			// the password is being checked
		kPaused,			// after a wrong password
		kNewPassword,
		kConfirmPassword,
		kHashing,			// a new account's password is being hashed
		kAdmitted,			// logged in before the terminal, which is to open
		kFrontRoom,
		kInDoor,
	};

	int32				id = 0;
	Terminal*			connection = nullptr;
	BString				address;
	Stage				stage = Stage::kName;
	bool				loggedIn = false;
	// Came with its user's name, for the door alone (a bridge's).
	bool				direct = false;
	// Vouched for by another board (an RLogin call): straight into the
	// door, and back to that board when the session ends.
	bool				vouched = false;
	// Why a refused handshake is let go once its pause is over.
	std::string			refusal;
	TimeLimit			timeLimit;
	bool				inputEnded = false;
	// Logs in before the terminal opens (an SSH caller), until it opens.
	bool				beforeTerminal = false;
	std::string			line;
	BString				name;
	std::string			hash;
	std::string			newPassword;
	int32				wrongPasswords = 0;
	bigtime_t			connected = 0;
	bigtime_t			lastKey = 0;
	bigtime_t			pausedUntil = 0;
	bool				warned = false;
	// The sysop's notices not yet shown, a line each.
	std::vector<std::string> notices;
};


struct Board::Seat {
	int32				id = 0;
	BString				name;
	// The caller at the seat; 0 while the caller is away.
	int32				caller = 0;
	bigtime_t			awayUntil = 0;
	bool				entered = false;
	bool				gone = false;
	std::deque<char>	keys;
	BMessage*			keyRequest = nullptr;
	std::deque<BMessage*> textRequests;
	std::string			prompt;
	// What the session showed before the door's report of its entrance
	// reached the host: shown after the line that says it entered, so a
	// bridge's caller never sees that line in the middle of the screen.
	std::string			early;
};


std::string
NameKey(const BString& name)
{
	std::string key(name.String(), (size_t)name.Length());
	for (char& c : key)
		c = (char)tolower((unsigned char)c);
	return key;
}


static std::string
Escaped(const BString& name)
{
	return EscapedUserName(name).String();
}


static std::string
IdleText(bigtime_t idle)
{
	int64 seconds = idle / 1000000;
	char text[32];
	snprintf(text, sizeof(text), "%lld:%02lld", (long long)(seconds / 60),
		(long long)(seconds % 60));
	return text;
}


Board::Board(const BoardSettings& settings, AccountStore& accounts,
	BoardLink& link)
	:
	fSettings(settings),
	fAccounts(accounts),
	fLink(link)
{
}


Board::~Board()
{
	for (auto& entry : fSeats) {
		delete entry.second->keyRequest;
		for (BMessage* request : entry.second->textRequests)
			delete request;
	}
}


// #pragma mark - Connections


void
Board::Connected(Terminal* connection)
{
	Caller* caller = _Admit(connection);
	if (caller != NULL)
		_Welcome(caller);
}


bool
Board::Arrived(Terminal* connection)
{
	Caller* caller = _Admit(connection);
	if (caller == NULL)
		return false;
	caller->beforeTerminal = true;
	return true;
}


LoginQuestions
Board::QuestionsFor(Terminal* connection, const BString& name)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || !caller->beforeTerminal
		|| caller->stage != Caller::Stage::kName) {
		return LoginQuestions::kNone;
	}
	if (caller->wrongPasswords >= fSettings.maxPasswordTries) {
		_Drop(caller, "", false);
		return LoginQuestions::kNone;
	}
	if (NameKey(name) == kNewCallerName) {
		caller->stage = Caller::Stage::kAdmitted;
		return LoginQuestions::kNoneNeeded;
	}
	if (JudgeUserName(name) != UserNameProblem::kNone) {
		HostLog("failed login from %s: \"%s\" cannot be a user name",
			caller->address.String(), Escaped(name).c_str());
		return LoginQuestions::kNone;
	}
	if (_IsLocked(NameKey(name))) {
		HostLog("failed login for %s from %s: the name is locked",
			Escaped(name).c_str(), caller->address.String());
		return LoginQuestions::kNone;
	}
	BString storedName;
	std::string hash;
	status_t status = fAccounts.Find(name, &storedName, &hash);
	if (status == B_OK) {
		caller->name = storedName;
		caller->hash = hash;
		caller->stage = Caller::Stage::kPassword;
		return LoginQuestions::kPassword;
	}
	if (status != B_ENTRY_NOT_FOUND) {
		HostLog("cannot read the accounts for the caller from %s: %s",
			caller->address.String(), strerror_status(status));
		return LoginQuestions::kNone;
	}
	if (strchr(name.String(), kOtherBoardMark) != NULL)
		return LoginQuestions::kNone;
	caller->name = name;
	caller->stage = Caller::Stage::kNewPassword;
	return LoginQuestions::kNewPassword;
}


void
Board::PasswordGiven(Terminal* connection, const BString& name,
	const std::string& password)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || !caller->beforeTerminal)
		return;
	if (caller->stage == Caller::Stage::kName) {
		switch (QuestionsFor(connection, name)) {
			case LoginQuestions::kPassword:
				break;
			case LoginQuestions::kNoneNeeded:
				connection->LoginAnswered(LoginAnswer::kAdmitted, NULL);
				return;
			case LoginQuestions::kNewPassword:
				// A new name registers by answering questions, where its
				// password is typed twice.
				caller->stage = Caller::Stage::kName;
				caller->name = "";
				connection->LoginAnswered(LoginAnswer::kRefused, NULL);
				return;
			case LoginQuestions::kNone:
				// Unless the caller was let go meanwhile.
				if (_CallerFor(connection) != NULL)
					connection->LoginAnswered(LoginAnswer::kRefused, NULL);
				return;
		}
	}
	if (caller->stage != Caller::Stage::kPassword
		|| NameKey(name) != NameKey(caller->name)) {
		caller->stage = Caller::Stage::kName;
		connection->LoginAnswered(LoginAnswer::kRefused, NULL);
		return;
	}
	caller->stage = Caller::Stage::kChecking;
	fLink.CheckPassword(caller->id, caller->hash,
		password.substr(0, kMaxPasswordLength));
}


void
Board::RegistrationGiven(Terminal* connection, const std::string& password,
	const std::string& again)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || !caller->beforeTerminal
		|| caller->stage != Caller::Stage::kNewPassword) {
		return;
	}
	if (password.size() < kMinPasswordLength
		|| password.size() > kMaxPasswordLength) {
		connection->LoginAnswered(LoginAnswer::kAskAgain,
			"A password has 8 to 128 characters.");
		return;
	}
	if (password != again) {
		connection->LoginAnswered(LoginAnswer::kAskAgain,
			"The passwords differ.");
		return;
	}
	caller->stage = Caller::Stage::kHashing;
	fLink.HashPassword(caller->id, password);
}


void
Board::TerminalOpened(Terminal* connection)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || !caller->beforeTerminal)
		return;
	if (caller->stage != Caller::Stage::kAdmitted) {
		_Drop(caller, "", false);
		return;
	}
	caller->beforeTerminal = false;
	caller->lastKey = fLink.Now();
	if (caller->name.Length() == 0) {
		// Came as "new": the board's own login, with its own time.
		caller->connected = caller->lastKey;
		_Welcome(caller);
		return;
	}
	_LogIn(caller);
}


Board::Caller*
Board::_Admit(Terminal* connection)
{
	bigtime_t now = fLink.Now();
	auto caller = std::make_unique<Caller>();
	caller->id = fNextCallerID++;
	caller->connection = connection;
	caller->address = connection->Address();
	caller->connected = now;
	caller->lastKey = now;
	HostLog("%s caller connected from %s", connection->Kind(),
		caller->address.String());

	int32 unknown = 0;
	for (auto& entry : fCallers) {
		if (!entry.second->loggedIn
			&& entry.second->address == caller->address) {
			unknown++;
		}
	}
	Caller* added = caller.get();
	fConnections[connection] = caller->id;
	fCallers[caller->id] = std::move(caller);
	if ((int32)fCallers.size() > fSettings.maxCallers) {
		HostLog("the board is full; %s was turned away",
			added->address.String());
		_Drop(added, kBusyNotice, false);
		return NULL;
	}
	if (unknown >= fSettings.maxUnknownPerAddress) {
		HostLog("too many callers from %s are logging in; one more was"
			" turned away", added->address.String());
		_Drop(added, "Too many callers from your address are logging in;"
			" please call again later.\n", false);
		return NULL;
	}
	return added;
}


void
Board::_Welcome(Caller* caller)
{
	_Say(caller, "\nWelcome to the Drelmoor board.\nGive your board name to"
		" log in, or a new name to register.\n");
	_AskName(caller);
}


bool
Board::TerminalArrived(Terminal* connection, const BString& name)
{
	auto caller = std::make_unique<Caller>();
	caller->id = fNextCallerID++;
	caller->connection = connection;
	caller->address = connection->Address();
	caller->connected = caller->lastKey = fLink.Now();
	caller->name = name;
	caller->direct = true;
	Caller* added = caller.get();
	fConnections[connection] = caller->id;
	fCallers[caller->id] = std::move(caller);

	UserNameProblem problem = JudgeUserName(name);
	std::string notice;
	if (problem != UserNameProblem::kNone) {
		notice = std::string("\"") + Escaped(name) + "\" cannot be a user"
			" name: the name " + DescribeUserNameProblem(problem) + ".";
	} else if (_SeatFor(name) != NULL)
		notice = std::string(name.String()) + " is already in the door.";
	else if (fMembers.count(NameKey(name)) != 0)
		notice = std::string(name.String()) + " is already on the board.";
	else if ((int32)fCallers.size() > fSettings.maxCallers)
		notice = kBusyNotice;
	if (!notice.empty()) {
		_Drop(added, notice, false);
		return false;
	}

	added->loggedIn = true;
	fMembers[NameKey(name)] = added->id;
	_EnterDoor(added);
	return true;
}


void
Board::LimitTime(Terminal* connection, bigtime_t timeLeft)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL)
		return;
	caller->timeLimit.Start(fLink.Now(), timeLeft);
	if (timeLeft >= 0) {
		HostLog("%s has %lld:%02lld left", _NameLine(caller).c_str(),
			(long long)(timeLeft / 60000000),
			(long long)(timeLeft / 1000000 % 60));
	}
}


void
Board::Vouched(Terminal* connection, const BString& name)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || !caller->beforeTerminal
		|| caller->stage != Caller::Stage::kName) {
		return;
	}
	UserNameProblem problem = JudgeUserName(name);
	if (problem != UserNameProblem::kNone) {
		HostLog("refused a call from %s: \"%s\" cannot be a user name",
			caller->address.String(), Escaped(name).c_str());
		_Drop(caller, std::string("\"") + Escaped(name) + "\" cannot be a"
			" user name here: the name " + DescribeUserNameProblem(problem)
			+ ".\n", false);
		return;
	}
	std::string key = NameKey(name);
	auto member = fMembers.find(key);
	Caller* previous = member != fMembers.end()
		? _CallerByID(member->second) : NULL;
	if (previous != NULL && !previous->vouched) {
		_Drop(caller, std::string(name.String())
			+ " is already in the door from another terminal.\n", false);
		return;
	}

	caller->beforeTerminal = false;
	caller->vouched = true;
	caller->loggedIn = true;
	caller->name = name;
	caller->lastKey = fLink.Now();
	fMembers[key] = caller->id;
	Seat* seat = _SeatFor(name);
	if (previous != NULL) {
		HostLog("%s's session was taken over from %s",
			Escaped(name).c_str(), caller->address.String());
		if (seat != NULL && seat->caller == previous->id)
			seat->caller = 0;
		_Drop(previous, std::string("\n") + kTakenOverNotice, false);
	} else
		HostLog("%s called from %s", Escaped(name).c_str(),
			caller->address.String());
	if (seat != NULL && !seat->gone) {
		if (previous == NULL)
			HostLog("%s resumed the session", Escaped(name).c_str());
		_Attach(seat, caller);
		return;
	}
	_EnterDoor(caller);
}


void
Board::VouchRefused(Terminal* connection, const std::string& key,
	const std::string& notice)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || !caller->beforeTerminal
		|| caller->stage != Caller::Stage::kName) {
		return;
	}
	// The pauses of one caller's wrong passwords (1, 2, 4 s), here over
	// the key's recent failures, since each handshake is a call of its own.
	int32 failures = _CountFailure(key, BString(caller->address));
	int32 doublings = std::max(std::min(failures,
		fSettings.maxPasswordTries) - 1, (int32)0);
	caller->stage = Caller::Stage::kPaused;
	caller->pausedUntil = fLink.Now() + (fSettings.failureDelay << doublings);
	caller->refusal = notice;
}


void
Board::InputEnded(Terminal* connection)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL)
		return;
	caller->inputEnded = true;
	Seat* seat = caller->loggedIn ? _SeatFor(caller->name) : NULL;
	if (seat != NULL)
		_DeliverKeys(seat);
}


void
Board::Typed(Terminal* connection, const std::string& keys)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL)
		return;
	caller->lastKey = fLink.Now();
	caller->warned = false;

	for (size_t i = 0; i < keys.size(); i++) {
		// The caller can be dropped or moved by a key; what follows it is
		// not for the next stage.
		if (_CallerFor(connection) != caller)
			return;
		char key = keys[i];
		switch (caller->stage) {
			case Caller::Stage::kInDoor:
			{
				Seat* seat = _SeatFor(caller->name);
				if (seat == NULL)
					break;
				// A 0 byte is never a key: to the door it means "gone".
				for (size_t j = i; j < keys.size(); j++) {
					if (keys[j] != '\0')
						seat->keys.push_back(keys[j]);
				}
				_DeliverKeys(seat);
				return;
			}
			case Caller::Stage::kFrontRoom:
				_FrontRoomKey(caller, key);
				break;
			case Caller::Stage::kChecking:
			case Caller::Stage::kPaused:
			case Caller::Stage::kHashing:
			case Caller::Stage::kAdmitted:
				// Typed ahead of a question not yet asked.
				break;
			default:
			{
				bool secret = caller->stage != Caller::Stage::kName;
				if (key == '\n') {
					std::string line = caller->line;
					caller->line.clear();
					_Say(caller, "\n");
					_LineTyped(caller, line);
				} else if (key == kBackspace) {
					if (!caller->line.empty()) {
						caller->line.pop_back();
						if (!secret)
							_Say(caller, "\b \b");
					}
				} else if ((unsigned char)key >= 0x20
					&& (unsigned char)key < 0x7f
					&& caller->line.size() < (secret ? kMaxPasswordLength
						: kMaxLineLength)) {
					caller->line += key;
					if (!secret)
						_Say(caller, std::string(1, key));
				}
				break;
			}
		}
	}
}


void
Board::Drained(Terminal* connection)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || caller->stage != Caller::Stage::kInDoor)
		return;
	Seat* seat = _SeatFor(caller->name);
	if (seat != NULL)
		_AnswerTexts(seat);
}


void
Board::HungUp(Terminal* connection)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL)
		return;
	if (!caller->direct) {
		HostLog("%s disconnected (%s)", _NameLine(caller).c_str(),
			caller->address.String());
	}
	Seat* seat = caller->loggedIn ? _SeatFor(caller->name) : NULL;
	if (seat != NULL && seat->caller == caller->id) {
		// A terminal that came for the door alone has no way back to it.
		_Detach(seat);
		if (fSettings.grace <= 0 || caller->direct)
			_SetGone(seat);
	}
	fConnections.erase(connection);
	caller->connection = nullptr;
	_Forget(caller);
}


// #pragma mark - The door's requests


bool
Board::HasSeat(const BString& name) const
{
	return _SeatFor(name) != NULL;
}


void
Board::GetChar(const BString& name, BMessage* request)
{
	Seat* seat = _SeatFor(name);
	if (seat == NULL || seat->gone || seat->keyRequest != NULL) {
		// A second request for the same key is told that the user is gone,
		// as the door protocol wants.
		fLink.AnswerKey(request, 0);
		return;
	}
	seat->keyRequest = request;
	Caller* caller = _SeatCaller(seat);
	if (caller != NULL && seat->keys.empty() && !caller->notices.empty())
		_ShowNotices(caller, _PromptLine(seat));
	_DeliverKeys(seat);
}


void
Board::SendString(const BString& name, const BString& text,
	BMessage* request)
{
	Seat* seat = _SeatFor(name);
	if (seat == NULL || seat->gone) {
		fLink.AnswerText(request, true);
		return;
	}
	seat->prompt.append(text.String(), (size_t)text.Length());
	if (seat->prompt.size() > kMaxPromptSize)
		seat->prompt.erase(0, seat->prompt.size() - kMaxPromptSize);

	Caller* caller = _SeatCaller(seat);
	if (caller == NULL) {
		// Nobody sees it now; a caller who comes back sees the prompt.
		fLink.AnswerText(request, false);
		return;
	}
	seat->textRequests.push_back(request);
	if (!seat->entered) {
		// Answered with the report; the session waits for it meanwhile.
		seat->early.append(text.String(), (size_t)text.Length());
		return;
	}
	caller->connection->Show(std::string(text.String(),
		(size_t)text.Length()));
	_AnswerTexts(seat);
}


// #pragma mark - Reports of the host


bool
Board::HasSeatID(int32 id) const
{
	for (auto& entry : fSeats) {
		if (entry.second->id == id)
			return true;
	}
	return false;
}


void
Board::Entered(int32 id, status_t status, const BString& error,
	const BString& detail)
{
	for (auto& entry : fSeats) {
		Seat* seat = entry.second.get();
		if (seat->id != id)
			continue;
		Caller* caller = _SeatCaller(seat);
		if (status == B_OK) {
			seat->entered = true;
			BString line(Escaped(seat->name).c_str());
			line << " entered the door";
			if (detail.Length() > 0)
				line << " (" << detail << ")";
			_Log(caller, line);
			if (caller != NULL && !seat->early.empty())
				caller->connection->Show(seat->early);
			seat->early.clear();
			_AnswerTexts(seat);
			return;
		}
		HostLog("%s could not enter the door: %s",
			Escaped(seat->name).c_str(), error.String());
		// A session that got as far as asking is told its user is gone.
		_SetGone(seat);
		std::string key = entry.first;
		fSeats.erase(entry.first);
		if (caller == NULL)
			fMembers.erase(key);
		else if (caller->direct || caller->vouched)
			_Drop(caller, error.String(), false);
		else {
			_Say(caller, std::string("\n") + error.String() + "\n");
			_ShowFrontRoom(caller);
		}
		return;
	}
}


void
Board::SessionEnded(int32 id, bool doorClosed)
{
	for (auto& entry : fSeats) {
		Seat* seat = entry.second.get();
		if (seat->id != id)
			continue;
		// A session that ends on its own is never waiting for the host;
		// one that ends while its request waits here was killed with its
		// door.
		doorClosed = doorClosed || seat->keyRequest != NULL
			|| !seat->textRequests.empty();
		Caller* caller = _SeatCaller(seat);
		BString line(Escaped(seat->name).c_str());
		if (doorClosed)
			line << "'s session ended: the door closed";
		else
			line << " left the door";
		_Log(caller, line);

		// Nobody waits for these answers any more.
		delete seat->keyRequest;
		for (BMessage* request : seat->textRequests)
			delete request;
		std::string key = entry.first;
		fSeats.erase(entry.first);
		if (caller == NULL) {
			auto member = fMembers.find(key);
			if (member != fMembers.end() && _CallerByID(member->second) == NULL)
				fMembers.erase(member);
			return;
		}
		if (caller->direct || caller->vouched) {
			_Drop(caller, doorClosed ? kDoorClosedNotice : "", false,
				doorClosed ? CallEnd::kDoorClosed : CallEnd::kSessionEnded);
			return;
		}
		_Say(caller, doorClosed ? std::string("\n") + kDoorClosedNotice + "\n"
			: std::string("\n"));
		_ShowFrontRoom(caller);
		return;
	}
}


void
Board::PasswordHashed(int32 id, const std::string& hash)
{
	Caller* caller = _CallerByID(id);
	if (caller == NULL || caller->stage != Caller::Stage::kHashing)
		return;
	status_t status = hash.empty() ? B_ERROR
		: fAccounts.Add(caller->name, hash);
	if (status == B_FILE_EXISTS) {
		if (caller->beforeTerminal) {
			caller->stage = Caller::Stage::kName;
			caller->connection->LoginAnswered(LoginAnswer::kRefused, NULL);
			return;
		}
		_Say(caller, "Somebody registered that name just now.\n");
		_AskName(caller);
		return;
	}
	if (status != B_OK) {
		HostLog("cannot keep the account of %s: %s",
			Escaped(caller->name).c_str(), strerror_status(status));
		_Drop(caller, "The board cannot keep new accounts just now; please"
			" call again later.\n", false);
		return;
	}
	HostLog("%s registered from %s", Escaped(caller->name).c_str(),
		caller->address.String());
	_PasswordRight(caller);
}


void
Board::PasswordChecked(int32 id, bool matches)
{
	Caller* caller = _CallerByID(id);
	if (caller == NULL || caller->stage != Caller::Stage::kChecking)
		return;
	BString storedName;
	std::string hash;
	if (matches && fAccounts.Find(caller->name, &storedName, &hash) == B_OK
		&& IsLockedAccountHash(hash)) {
		// Locked by the sysop while the password was being checked.
		_Say(caller, "That account is locked; ask the sysop.\n");
		_AskName(caller);
		return;
	}
	if (matches) {
		_PasswordRight(caller);
		return;
	}
	_PasswordWrong(caller);
}


void
Board::Tick()
{
	bigtime_t now = fLink.Now();
	std::vector<int32> ids;
	for (auto& entry : fCallers)
		ids.push_back(entry.first);
	for (int32 id : ids) {
		Caller* caller = _CallerByID(id);
		if (caller == NULL || caller->connection == NULL
			|| _CheckTimeLimit(caller, now) || caller->direct) {
			continue;
		}
		if (!caller->loggedIn) {
			if (caller->stage == Caller::Stage::kPaused
				&& now >= caller->pausedUntil) {
				if (!caller->refusal.empty()) {
					// The caller goes with the drop; the notice outlives it.
					std::string refusal = caller->refusal;
					_Drop(caller, refusal, false);
					continue;
				}
				if (caller->beforeTerminal) {
					// The refusal itself waited out the pause; a caller
					// who tries once more than allowed is let go then.
					caller->stage = Caller::Stage::kName;
					caller->connection->LoginAnswered(LoginAnswer::kRefused,
						NULL);
					continue;
				}
				if (caller->wrongPasswords >= fSettings.maxPasswordTries) {
					_Drop(caller, "Good-bye.\n", false);
					continue;
				}
				caller->stage = Caller::Stage::kPassword;
				_Say(caller, "Password: ");
			}
			if (now - caller->connected >= fSettings.loginTimeout) {
				HostLog("the caller from %s did not log in in time",
					caller->address.String());
				_Drop(caller, "\nTime is up for logging in. Good-bye.\n",
					false);
			}
			continue;
		}

		bigtime_t idle = now - caller->lastKey;
		if (idle >= fSettings.idle) {
			HostLog("%s was idle too long and is disconnected",
				Escaped(caller->name).c_str());
			_Drop(caller, "\nYou have been idle too long. Good-bye.\n", true);
			continue;
		}
		bigtime_t warning = std::min(fSettings.idleWarning,
			fSettings.idle / 2);
		if (!caller->warned && idle >= fSettings.idle - warning) {
			caller->warned = true;
			_Say(caller, "\nYou will be disconnected soon unless you type"
				" something.\n");
		}
	}

	std::vector<Seat*> away;
	for (auto& entry : fSeats) {
		Seat* seat = entry.second.get();
		if (seat->caller == 0 && !seat->gone && now >= seat->awayUntil)
			away.push_back(seat);
	}
	for (Seat* seat : away) {
		HostLog("%s did not come back in time; the session ends",
			Escaped(seat->name).c_str());
		_SetGone(seat);
	}
}


void
Board::ShutDown(const char* notice)
{
	for (auto& entry : fSeats)
		_SetGone(entry.second.get());
	std::vector<int32> ids;
	for (auto& entry : fCallers)
		ids.push_back(entry.first);
	for (int32 id : ids) {
		Caller* caller = _CallerByID(id);
		if (caller != NULL)
			_Drop(caller, std::string("\n") + notice + "\n", true);
	}
}


// #pragma mark - The sysop's view and actions


std::vector<Board::CallerView>
Board::ListCallers() const
{
	bigtime_t now = fLink.Now();
	std::vector<CallerView> callers;
	for (auto& entry : fCallers) {
		const Caller* caller = entry.second.get();
		CallerView view;
		if (caller->loggedIn)
			view.name = PrintableUserName(caller->name);
		if (caller->connection != NULL)
			view.kind = caller->connection->Kind();
		view.where = PrintableUserName(caller->address);
		view.idle = now - caller->lastKey;
		view.state = !caller->loggedIn ? "logging in"
			: caller->stage == Caller::Stage::kInDoor ? "in the door"
			: "front room";
		view.timeLeft = caller->timeLimit.TimeLeft(now);
		callers.push_back(view);
	}
	for (auto& entry : fSeats) {
		const Seat* seat = entry.second.get();
		if (seat->caller != 0 || seat->gone)
			continue;
		CallerView view;
		view.name = PrintableUserName(seat->name);
		view.where = "(line dropped)";
		view.idle = now - (seat->awayUntil - fSettings.grace);
		view.state = "away from the door";
		callers.push_back(view);
	}
	return callers;
}


bool
Board::Kick(const BString& name, const char* notice)
{
	std::string key = NameKey(name);
	auto member = fMembers.find(key);
	Caller* caller = member != fMembers.end()
		? _CallerByID(member->second) : NULL;
	Seat* seat = _SeatFor(name);
	if (caller == NULL && (seat == NULL || seat->gone))
		return false;
	HostLog("the sysop disconnected %s", Escaped(caller != NULL
		? caller->name : seat->name).c_str());
	if (caller != NULL)
		_Drop(caller, std::string("\n") + notice + "\n", true);
	// A seat whose caller is away, or one the caller left for another.
	seat = _SeatFor(name);
	if (seat != NULL && !seat->gone)
		_SetGone(seat);
	return true;
}


int32
Board::Announce(const std::string& notice)
{
	int32 count = 0;
	std::vector<int32> ids;
	for (auto& entry : fCallers)
		ids.push_back(entry.first);
	for (int32 id : ids) {
		Caller* caller = _CallerByID(id);
		if (caller == NULL || caller->connection == NULL)
			continue;
		_Notify(caller, notice);
		count++;
	}
	HostLog("the sysop's notice went to %d callers", (int)count);
	return count;
}


bool
Board::IsOnBoard(const BString& name) const
{
	std::string key = NameKey(name);
	return fMembers.count(key) != 0 || fSeats.count(key) != 0;
}


// #pragma mark - Login


void
Board::_AskName(Caller* caller)
{
	caller->stage = Caller::Stage::kName;
	caller->line.clear();
	_Say(caller, "Name: ");
}


void
Board::_LineTyped(Caller* caller, const std::string& line)
{
	switch (caller->stage) {
		case Caller::Stage::kName:
			_NameGiven(caller, line);
			break;
		case Caller::Stage::kPassword:
			caller->stage = Caller::Stage::kChecking;
			fLink.CheckPassword(caller->id, caller->hash, line);
			break;
		case Caller::Stage::kNewPassword:
			if (line.size() < kMinPasswordLength) {
				_Say(caller, "A password has at least 8 characters.\n"
					"Choose a password: ");
				break;
			}
			caller->newPassword = line;
			caller->stage = Caller::Stage::kConfirmPassword;
			_Say(caller, "The same password again: ");
			break;
		case Caller::Stage::kConfirmPassword:
			if (line != caller->newPassword) {
				caller->newPassword.clear();
				caller->stage = Caller::Stage::kNewPassword;
				_Say(caller, "The passwords differ.\nChoose a password: ");
				break;
			}
			caller->stage = Caller::Stage::kHashing;
			fLink.HashPassword(caller->id, caller->newPassword);
			caller->newPassword.clear();
			break;
		default:
			break;
	}
}


void
Board::_NameGiven(Caller* caller, const std::string& line)
{
	if (line.empty()) {
		_AskName(caller);
		return;
	}
	BString name(line.c_str());
	UserNameProblem problem = JudgeUserName(name);
	if (problem != UserNameProblem::kNone) {
		_Say(caller, std::string("That name ")
			+ DescribeUserNameProblem(problem) + ".\n");
		_AskName(caller);
		return;
	}
	if (_IsLocked(NameKey(name))) {
		HostLog("failed login for %s from %s: the name is locked",
			Escaped(name).c_str(), caller->address.String());
		_Say(caller, "That name is locked after too many failed logins;"
			" try again later.\n");
		_AskName(caller);
		return;
	}

	BString storedName;
	std::string hash;
	status_t status = fAccounts.Find(name, &storedName, &hash);
	if (status == B_OK && IsLockedAccountHash(hash)) {
		HostLog("failed login for %s from %s: the sysop locked the account",
			Escaped(name).c_str(), caller->address.String());
		_Say(caller, "That account is locked; ask the sysop.\n");
		_AskName(caller);
		return;
	}
	if (status == B_OK) {
		caller->name = storedName;
		caller->hash = hash;
		caller->stage = Caller::Stage::kPassword;
		_Say(caller, "Password: ");
		return;
	}
	if (status != B_ENTRY_NOT_FOUND) {
		_Drop(caller, "The board cannot read its accounts just now; please"
			" call again later.\n", false);
		return;
	}
	if (line.find(kOtherBoardMark) != std::string::npos) {
		_Say(caller, "A name with an @ is another board's caller's; choose"
			" one without.\n");
		_AskName(caller);
		return;
	}
	caller->name = name;
	caller->stage = Caller::Stage::kNewPassword;
	_Say(caller, "There is no account " + line + " yet: it is yours to"
		" register.\nChoose a password (at least 8 characters, not shown): ");
}


void
Board::_PasswordWrong(Caller* caller)
{
	bigtime_t now = fLink.Now();
	HostLog("failed login for %s from %s", Escaped(caller->name).c_str(),
		caller->address.String());
	_CountFailure(NameKey(caller->name), caller->name);

	caller->wrongPasswords++;
	bigtime_t delay = fSettings.failureDelay << (caller->wrongPasswords - 1);
	caller->stage = Caller::Stage::kPaused;
	caller->pausedUntil = now + delay;
	_Say(caller, "That password is wrong.\n");
}


void
Board::_PasswordRight(Caller* caller)
{
	if (!caller->beforeTerminal) {
		_LogIn(caller);
		return;
	}
	// Logged in once the terminal opens: a takeover or a resume waits for
	// a terminal to show it on.
	caller->hash.clear();
	caller->stage = Caller::Stage::kAdmitted;
	caller->connection->LoginAnswered(LoginAnswer::kAdmitted, NULL);
}


int32
Board::_CountFailure(const std::string& key, const BString& what)
{
	bigtime_t now = fLink.Now();
	std::deque<bigtime_t>& failures = fFailures[key];
	failures.push_back(now);
	while (!failures.empty() && now - failures.front() > fSettings.lockWindow)
		failures.pop_front();
	int32 count = (int32)failures.size();
	if (count >= fSettings.lockFailures) {
		HostLog("%s is locked after %d failed logins", Escaped(what).c_str(),
			(int)count);
		fLockedUntil[key] = now + fSettings.lockWindow;
		failures.clear();
	}
	return count;
}


bool
Board::_IsLocked(const std::string& nameKey)
{
	auto locked = fLockedUntil.find(nameKey);
	if (locked == fLockedUntil.end())
		return false;
	if (fLink.Now() < locked->second)
		return true;
	fLockedUntil.erase(locked);
	return false;
}


void
Board::_LogIn(Caller* caller)
{
	caller->hash.clear();
	std::string key = NameKey(caller->name);
	auto member = fMembers.find(key);
	Caller* previous = member != fMembers.end()
		? _CallerByID(member->second) : NULL;
	if (previous != NULL && previous->direct) {
		_Drop(caller, std::string(caller->name.String())
			+ " is already in the door from another terminal.\n", false);
		return;
	}
	fFailures.erase(key);
	caller->loggedIn = true;
	caller->wrongPasswords = 0;

	fMembers[key] = caller->id;
	Seat* seat = _SeatFor(caller->name);
	if (previous != NULL && previous != caller) {
		HostLog("%s's session was taken over from %s",
			Escaped(caller->name).c_str(), caller->address.String());
		// The seat goes with the name: the first connection must not take
		// it away when it closes.
		if (seat != NULL && seat->caller == previous->id)
			seat->caller = 0;
		_Drop(previous, std::string("\n") + kTakenOverNotice, false);
	} else {
		HostLog("%s logged in from %s", Escaped(caller->name).c_str(),
			caller->address.String());
	}

	if (seat != NULL && !seat->gone) {
		if (previous == NULL)
			HostLog("%s resumed the session", Escaped(caller->name).c_str());
		_Attach(seat, caller);
		return;
	}
	_ShowFrontRoom(caller);
}


// #pragma mark - The front room


void
Board::_ShowFrontRoom(Caller* caller)
{
	caller->stage = Caller::Stage::kFrontRoom;
	for (const std::string& notice : caller->notices)
		_Say(caller, "\n" + notice);
	caller->notices.clear();
	_Say(caller, std::string("\n") + PrintableUserName(caller->name).String()
		+ ", you are in the front room of the board.\n"
		"  (E) Enter Drelmoor\n"
		"  (W) Who is online\n"
		"  (G) Good-bye\n"
		"Your choice: ");
}


void
Board::_FrontRoomKey(Caller* caller, char key)
{
	switch (tolower((unsigned char)key)) {
		case 'e':
			_Say(caller, "E\n");
			_EnterDoor(caller);
			break;
		case 'w':
			_Say(caller, "W\n");
			_ShowWhoIsOnline(caller);
			_ShowFrontRoom(caller);
			break;
		case 'g':
			_Say(caller, "G\n");
			_Drop(caller, "Good-bye.\n", false);
			break;
		default:
			break;
	}
}


void
Board::_ShowWhoIsOnline(Caller* caller)
{
	bigtime_t now = fLink.Now();
	std::string list = "\nWho is online:\n";
	char line[160];
	snprintf(line, sizeof(line), "  %-30s %-11s %6s  %-22s %s\n", "Name",
		"Where", "Idle", "Terminal", "Way in");
	list += line;
	for (auto& entry : fCallers) {
		Caller* other = entry.second.get();
		if (!other->loggedIn)
			continue;
		BString terminal = other->connection != NULL
			? other->connection->TerminalType() : BString("");
		if (terminal.Length() == 0)
			terminal = "unknown";
		const char* way = other->connection != NULL
			? other->connection->Kind() : "";
		snprintf(line, sizeof(line), "  %-30s %-11s %6s  %-22s %s\n",
			PrintableUserName(other->name).String(),
			other->stage == Caller::Stage::kInDoor ? "in the door"
				: "front room", IdleText(now - other->lastKey).c_str(),
			PrintableUserName(terminal).String(), way);
		list += line;
	}
	_Say(caller, list);
}


void
Board::_EnterDoor(Caller* caller)
{
	std::string key = NameKey(caller->name);
	if (fSeats.count(key) != 0) {
		_Say(caller, std::string(caller->name.String())
			+ " is already in the door.\n");
		_ShowFrontRoom(caller);
		return;
	}
	auto seat = std::make_unique<Seat>();
	seat->id = fLink.NewSeatID();
	seat->name = caller->name;
	seat->caller = caller->id;
	int32 id = seat->id;
	fSeats[key] = std::move(seat);
	caller->stage = Caller::Stage::kInDoor;
	fLink.EnterDoor(id, caller->name);
}


// #pragma mark - Seats in the door


void
Board::_DeliverKeys(Seat* seat)
{
	if (seat->keyRequest == NULL)
		return;
	if (seat->gone) {
		fLink.AnswerKey(seat->keyRequest, 0);
		seat->keyRequest = nullptr;
		return;
	}
	if (seat->keys.empty()) {
		// Every key before the end of the input was taken: the user is
		// gone only once the door asks for one more, so the texts that
		// the last keys bring are still shown.
		Caller* caller = _SeatCaller(seat);
		if (caller != NULL && caller->inputEnded)
			_SetGone(seat);
		return;
	}
	if (seat->caller == 0)
		return;
	char key = seat->keys.front();
	seat->keys.pop_front();
	seat->prompt.clear();
	BMessage* request = seat->keyRequest;
	seat->keyRequest = nullptr;
	fLink.AnswerKey(request, (uint8)key);
}


void
Board::_AnswerTexts(Seat* seat)
{
	Caller* caller = _SeatCaller(seat);
	while (!seat->textRequests.empty()
		&& (seat->gone || caller == NULL || (seat->entered
			&& caller->connection->Backlog() <= kMaxOutputBacklog))) {
		BMessage* request = seat->textRequests.front();
		seat->textRequests.pop_front();
		fLink.AnswerText(request, seat->gone);
	}
}


void
Board::_SetGone(Seat* seat)
{
	seat->gone = true;
	seat->keys.clear();
	_DeliverKeys(seat);
	_AnswerTexts(seat);
}


void
Board::_Detach(Seat* seat)
{
	seat->caller = 0;
	seat->awayUntil = fLink.Now() + fSettings.grace;
	// The texts the caller had not taken are the prompt to show again;
	// the door need not wait for them.
	seat->early.clear();
	_AnswerTexts(seat);
}


void
Board::_Attach(Seat* seat, Caller* caller)
{
	seat->caller = caller->id;
	caller->stage = Caller::Stage::kInDoor;
	if (!seat->prompt.empty())
		caller->connection->Show("\n" + seat->prompt);
	_DeliverKeys(seat);
	_AnswerTexts(seat);
}


// The line of the door's texts since the last key that the caller's cursor
// stands on: the prompt, to show again after a notice.
static std::string
PromptLineOf(const std::string& prompt)
{
	size_t lineFeed = prompt.rfind('\n');
	return lineFeed == std::string::npos ? prompt
		: prompt.substr(lineFeed + 1);
}


std::string
Board::_PromptLine(const Seat* seat) const
{
	return PromptLineOf(seat->prompt);
}


Board::Seat*
Board::_SeatFor(const BString& name) const
{
	auto seat = fSeats.find(NameKey(name));
	return seat != fSeats.end() ? seat->second.get() : NULL;
}


Board::Caller*
Board::_SeatCaller(const Seat* seat) const
{
	if (seat->caller == 0)
		return NULL;
	Caller* caller = _CallerByID(seat->caller);
	return caller != NULL && caller->connection != NULL ? caller : NULL;
}


// #pragma mark - Callers


Board::Caller*
Board::_CallerFor(Terminal* connection) const
{
	auto found = fConnections.find(connection);
	return found != fConnections.end() ? _CallerByID(found->second) : NULL;
}


Board::Caller*
Board::_CallerByID(int32 id) const
{
	auto found = fCallers.find(id);
	return found != fCallers.end() ? found->second.get() : NULL;
}


void
Board::_Say(Caller* caller, const std::string& text)
{
	if (caller->connection != NULL)
		caller->connection->Show(text);
}


void
Board::_Drop(Caller* caller, const std::string& text, bool seatGone,
	CallEnd end)
{
	if (caller->connection != NULL && !caller->direct) {
		HostLog("%s disconnected (%s)", _NameLine(caller).c_str(),
			caller->address.String());
	}
	Seat* seat = caller->loggedIn ? _SeatFor(caller->name) : NULL;
	if (seat != NULL && seat->caller == caller->id) {
		_Detach(seat);
		if (seatGone)
			_SetGone(seat);
	}
	Terminal* connection = caller->connection;
	if (connection != NULL) {
		fConnections.erase(connection);
		caller->connection = nullptr;
		// Last: a connection may report its hang-up from within Finish,
		// and the board no longer knows it then.
		_Forget(caller);
		connection->Finish(end, text.empty() ? NULL : text.c_str());
		return;
	}
	_Forget(caller);
}


void
Board::_Forget(Caller* caller)
{
	if (caller->loggedIn) {
		std::string key = NameKey(caller->name);
		auto member = fMembers.find(key);
		if (member != fMembers.end() && member->second == caller->id) {
			// A seat away from its caller keeps the name on the board.
			fMembers.erase(member);
		}
	}
	fCallers.erase(caller->id);
}


void
Board::_Log(Caller* caller, const BString& line)
{
	HostLog("%s", line.String());
	if (caller != NULL && caller->connection != NULL)
		caller->connection->LogLine(line);
}


void
Board::_ShowNotices(Caller* caller, const std::string& promptLine)
{
	if (caller->connection == NULL)
		return;
	std::string lines;
	for (const std::string& notice : caller->notices)
		lines += (lines.empty() ? "" : "\n") + notice;
	caller->notices.clear();
	caller->connection->ShowNotice(lines, promptLine);
}


std::string
Board::_NameLine(const Caller* caller) const
{
	if (caller->loggedIn)
		return Escaped(caller->name);
	return "a caller who had not logged in";
}


void
Board::_Notify(Caller* caller, const std::string& notice)
{
	caller->notices.push_back(notice);
	// Those who stand at a prompt see it now; the others at their next.
	if (caller->stage == Caller::Stage::kFrontRoom)
		_ShowNotices(caller, "Your choice: ");
	else if (caller->stage == Caller::Stage::kInDoor) {
		Seat* seat = _SeatFor(caller->name);
		if (seat != NULL && seat->keyRequest != NULL && seat->keys.empty()
			&& _SeatCaller(seat) == caller) {
			_ShowNotices(caller, _PromptLine(seat));
		}
	}
}


bool
Board::_CheckTimeLimit(Caller* caller, bigtime_t now)
{
	std::string warning;
	switch (caller->timeLimit.Check(now, &warning)) {
		case TimeLimit::Due::kNothing:
			return false;
		case TimeLimit::Due::kWarning:
			_Notify(caller, warning);
			return false;
		case TimeLimit::Due::kEnd:
			break;
	}
	HostLog("%s's time is up", _NameLine(caller).c_str());
	// As a hang-up ends it: the door has saved the character as of its
	// last prompt, and a caller out of time has no seat to come back to.
	_Drop(caller, kTimeUpNotice, true, CallEnd::kSessionEnded);
	return true;
}
