#include "Board.h"

#include "BoardCaller.h"
#include "FrontRoom.h"
#include "HostLog.h"
#include "ScreenFit.h"
#include "Seat.h"

#include <ZenboUserName.h>


static const char* const kBusyNotice
	= "The board is busy, please call again later.\n";
static const char* const kTakenOverNotice
	= "Your session was taken over from another connection.\n";
static const char* const kTimeUpNotice = "\nYour time is up.\n";


Board::Board(const BoardSettings& settings, AccountStore& accounts,
	BoardLink& link)
	:
	fSettings(settings),
	fAccounts(accounts),
	fLink(link),
	fLimits(settings)
{
}


Board::~Board()
{
}


// #pragma mark - Connections


void
Board::Connected(Terminal* connection)
{
	Caller* caller = _Admit(connection, Login::Way::kAtThePrompt);
	if (caller != NULL)
		caller->login->Welcome();
}


bool
Board::Arrived(Terminal* connection)
{
	return _Admit(connection, Login::Way::kBeforeTheTerminal) != NULL;
}


LoginQuestions
Board::QuestionsFor(Terminal* connection, const BString& name)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || caller->LoggedIn()
		|| caller->login->CurrentWay() != Login::Way::kBeforeTheTerminal
		|| caller->login->CurrentStage() != Login::Stage::kName) {
		return LoginQuestions::kNone;
	}
	LoginOutcome outcome = caller->login->NameGiven(name);
	if (outcome != LoginOutcome::kGoesOn) {
		_Follow(caller, outcome);
		return LoginQuestions::kNone;
	}
	return caller->login->Questions();
}


void
Board::PasswordGiven(Terminal* connection, const BString& name,
	const std::string& password)
{
	Caller* caller = _CallerFor(connection);
	if (caller != NULL && !caller->LoggedIn())
		_Follow(caller, caller->login->PasswordGiven(name, password));
}


void
Board::RegistrationGiven(Terminal* connection, const std::string& password,
	const std::string& again)
{
	Caller* caller = _CallerFor(connection);
	if (caller != NULL && !caller->LoggedIn())
		_Follow(caller, caller->login->RegistrationGiven(password, again));
}


void
Board::TerminalOpened(Terminal* connection)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || caller->LoggedIn()
		|| caller->login->CurrentWay() != Login::Way::kBeforeTheTerminal) {
		return;
	}
	caller->idle.KeyTyped(fLink.Now());
	_Follow(caller, caller->login->TerminalOpened());
}


bool
Board::TerminalArrived(Terminal* connection, const BString& name)
{
	auto caller = std::make_unique<Caller>(fNextCallerID++, connection,
		fLink.Now());
	caller->arrival = Caller::Arrival::kForTheDoor;
	caller->name = name;
	Caller* added = caller.get();
	fConnections[connection] = caller->id;
	fCallers[caller->id] = std::move(caller);

	UserNameProblem problem = JudgeUserName(name);
	std::string notice;
	if (problem != UserNameProblem::kNone) {
		notice = std::string("\"") + EscapedUserName(name).String()
			+ "\" cannot be a user name: the name "
			+ DescribeUserNameProblem(problem) + ".";
	} else if (_SeatFor(name) != NULL)
		notice = std::string(name.String()) + " is already in the door.";
	else if (fMembers.count(NameKey(name)) != 0)
		notice = std::string(name.String()) + " is already on the board.";
	else if (fLimits.IsFull((int32)fCallers.size()))
		notice = kBusyNotice;
	if (!notice.empty()) {
		_Drop(added, notice);
		return false;
	}

	fMembers[NameKey(name)] = added->id;
	_StartCall(added);
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
		HostLog("%s has %s left", _NameLine(caller).c_str(),
			FrontRoom::IdleText(timeLeft).c_str());
	}
}


void
Board::Vouched(Terminal* connection, const BString& name)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || caller->LoggedIn())
		return;
	LoginOutcome outcome = caller->login->Vouched(name);
	if (outcome == LoginOutcome::kLoggedIn) {
		caller->arrival = Caller::Arrival::kVouched;
		caller->idle.KeyTyped(fLink.Now());
	}
	_Follow(caller, outcome);
}


void
Board::VouchRefused(Terminal* connection, const std::string& key,
	const std::string& notice)
{
	Caller* caller = _CallerFor(connection);
	if (caller != NULL && !caller->LoggedIn())
		caller->login->HandshakeRefused(key, notice);
}


bool
Board::IsLocked(const std::string& key)
{
	return fLimits.IsLocked(key, fLink.Now());
}


void
Board::InputEnded(Terminal* connection)
{
	Caller* caller = _CallerFor(connection);
	Seat* seat = caller != NULL && caller->LoggedIn()
		? _SeatFor(caller->name) : NULL;
	if (seat != NULL && seat->CallerID() == caller->id)
		seat->InputEnded();
}


void
Board::Typed(Terminal* connection, const std::string& keys)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL)
		return;
	caller->idle.KeyTyped(fLink.Now());
	fKeys.Add(fLink.Now(), (int64)keys.size());

	for (size_t i = 0; i < keys.size(); i++) {
		// The caller can be dropped or moved by a key; what follows it is
		// not for the next stage.
		if (_CallerFor(connection) != caller)
			return;
		if (caller->chatting) {
			_ChatKeys(caller, keys.substr(i));
			return;
		}
		if (caller->place == Caller::Place::kInDoor) {
			Seat* seat = _SeatFor(caller->name);
			if (seat != NULL)
				seat->KeysTyped(connection->DoorKeys(keys.substr(i)));
			return;
		}
		if (!caller->LoggedIn())
			_Follow(caller, caller->login->KeyTyped(keys[i]));
		else if (caller->place == Caller::Place::kChangingPassword)
			_FollowChange(caller, caller->passwordChange->KeyTyped(keys[i]));
		else
			_FrontRoomKey(caller, keys[i]);
	}
}


void
Board::Drained(Terminal* connection)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL || caller->place != Caller::Place::kInDoor)
		return;
	Seat* seat = _SeatFor(caller->name);
	if (seat != NULL)
		seat->Drained();
}


void
Board::HungUp(Terminal* connection)
{
	Caller* caller = _CallerFor(connection);
	if (caller == NULL)
		return;
	if (!caller->ForTheDoor()) {
		HostLog("%s disconnected (%s)", _NameLine(caller).c_str(),
			caller->address.String());
	}
	// A terminal that came for the door alone has no way back to it.
	_LeaveSeat(caller, fSettings.grace <= 0 || caller->ForTheDoor()
		? SeatAfterDrop::kGone : SeatAfterDrop::kKeptForTheGrace);
	fConnections.erase(connection);
	caller->connection = nullptr;
	_Forget(caller);
}


// #pragma mark - Reports of the host


void
Board::PasswordHashed(int32 id, const std::string& hash)
{
	Caller* caller = _CallerByID(id);
	if (caller != NULL && !caller->LoggedIn())
		_Follow(caller, caller->login->PasswordHashed(hash));
	else if (caller != NULL && caller->passwordChange != nullptr)
		_FollowChange(caller, caller->passwordChange->PasswordHashed(hash));
}


void
Board::PasswordChecked(int32 id, bool matches)
{
	Caller* caller = _CallerByID(id);
	if (caller != NULL && !caller->LoggedIn())
		_Follow(caller, caller->login->PasswordChecked(matches));
	else if (caller != NULL && caller->passwordChange != nullptr) {
		_FollowChange(caller,
			caller->passwordChange->PasswordChecked(matches));
	}
}


void
Board::ShutDown(const char* notice)
{
	std::vector<Onlooker*> waiters = fPageWaiters;
	for (Onlooker* waiter : waiters)
		_EndWatch(waiter, notice);
	for (auto& entry : fSeats)
		entry.second->SetGone();
	for (int32 id : _CallerIDs()) {
		Caller* caller = _CallerByID(id);
		if (caller != NULL) {
			caller->ending = CallEnding::kShutDown;
			_Drop(caller, std::string("\n") + notice + "\n",
				SeatAfterDrop::kGone);
		}
	}
}


// #pragma mark - Time


void
Board::Tick()
{
	bigtime_t now = fLink.Now();
	for (int32 id : _CallerIDs()) {
		Caller* caller = _CallerByID(id);
		if (caller == NULL || caller->connection == NULL)
			continue;
		// A bridge's caller too has only the time their own board left them.
		_TickTimeLimit(caller, now);
		// Let go, or hung up while told of the time.
		caller = _CallerByID(id);
		if (caller == NULL || caller->connection == NULL
			|| caller->ForTheDoor()) {
			continue;
		}
		if (!caller->LoggedIn())
			_Follow(caller, caller->login->Tick(now, fSettings.loginTimeout));
		else {
			if (caller->passwordChange != nullptr) {
				_FollowChange(caller, caller->passwordChange->Tick(now));
				caller = _CallerByID(id);
				if (caller == NULL)
					continue;
			}
			_TickIdle(caller, now);
		}
	}
	_EndAwaySeats(now);
}


void
Board::_TickIdle(Caller* caller, bigtime_t now)
{
	switch (caller->idle.Tick(now, fSettings.idle, fSettings.idleWarning)) {
		case IdleClock::Verdict::kNothing:
			break;
		case IdleClock::Verdict::kWarn:
			_Say(caller, "\nYou will be disconnected soon unless you type"
				" something.\n");
			break;
		case IdleClock::Verdict::kDisconnect:
			HostLog("%s was idle too long and is disconnected",
				EscapedUserName(caller->name).String());
			caller->ending = CallEnding::kIdle;
			_Drop(caller, "\nYou have been idle too long. Good-bye.\n",
				SeatAfterDrop::kGone);
			break;
	}
}


void
Board::_TickTimeLimit(Caller* caller, bigtime_t now)
{
	std::string warning;
	switch (caller->timeLimit.Check(now, &warning)) {
		case TimeLimit::Due::kNothing:
			break;
		case TimeLimit::Due::kWarning:
			_Notify(caller, warning);
			break;
		case TimeLimit::Due::kEnd:
			HostLog("%s's time is up", _NameLine(caller).c_str());
			caller->ending = CallEnding::kTimeUp;
			// As a hang-up ends it: the door has saved the character as of
			// its last prompt, and a caller out of time has no seat to come
			// back to.
			_Drop(caller, kTimeUpNotice, SeatAfterDrop::kGone,
				CallEnd::kSessionEnded);
			break;
	}
}


// #pragma mark - Login


Board::Caller*
Board::_Admit(Terminal* connection, Login::Way way)
{
	auto caller = std::make_unique<Caller>(fNextCallerID++, connection,
		fLink.Now());
	HostLog("%s caller connected from %s", connection->Kind(),
		caller->address.String());
	int32 loggingIn = 0;
	for (auto& entry : fCallers) {
		if (!entry.second->LoggedIn()
			&& entry.second->address == caller->address) {
			loggingIn++;
		}
	}
	caller->login = std::make_unique<Login>(fLink, fAccounts, fLimits,
		connection, caller->id, way);
	Caller* added = caller.get();
	fConnections[connection] = caller->id;
	fCallers[caller->id] = std::move(caller);

	switch (fLimits.Admit((int32)fCallers.size(), loggingIn)) {
		case LoginLimits::Admission::kAdmitted:
			return added;
		case LoginLimits::Admission::kBoardFull:
			HostLog("the board is full; %s was turned away",
				added->address.String());
			_Drop(added, kBusyNotice);
			return NULL;
		case LoginLimits::Admission::kTooManyFromAddress:
			HostLog("too many callers from %s are logging in; one more was"
				" turned away", added->address.String());
			_Drop(added, "Too many callers from your address are logging in;"
				" please call again later.\n");
			return NULL;
	}
	return NULL;
}


// Acts on what a step of the caller's login came to. The login is the
// caller's, so a caller let go takes it along: its farewell is copied
// first.
void
Board::_Follow(Caller* caller, LoginOutcome outcome)
{
	switch (outcome) {
		case LoginOutcome::kGoesOn:
			break;
		case LoginOutcome::kLoggedIn:
			_LogIn(caller);
			break;
		case LoginOutcome::kLetGo:
		{
			std::string farewell = caller->login->Farewell();
			_Drop(caller, farewell);
			break;
		}
	}
}


void
Board::_LogIn(Caller* caller)
{
	BString name = caller->login->Name();
	Caller* previous = _MemberFor(name);
	if (previous != NULL && previous != caller
		&& !caller->MayTakeOverFrom(*previous)) {
		_Drop(caller, std::string(name.String())
			+ " is already in the door from another terminal.\n");
		return;
	}
	caller->login.reset();
	caller->connection->LoggedIn();
	caller->name = name;
	fLogins.Add(DayTally::Today());
	fMembers[NameKey(name)] = caller->id;
	_StartCall(caller);
	Seat* seat = _SeatFor(name);
	if (previous != NULL && previous != caller)
		_TakeOver(caller, previous, seat);
	else {
		HostLog("%s %s from %s", EscapedUserName(name).String(),
			caller->arrival == Caller::Arrival::kVouched ? "called"
				: "logged in", caller->address.String());
	}

	if (seat != NULL && !seat->IsGone()) {
		if (previous == NULL)
			HostLog("%s resumed the session", EscapedUserName(name).String());
		caller->place = Caller::Place::kInDoor;
		seat->Attach(caller->id, caller->connection);
		return;
	}
	if (caller->EndsWithTheSession())
		_EnterDoor(caller);
	else
		_ShowFrontRoom(caller);
}


void
Board::_TakeOver(Caller* caller, Caller* previous, Seat* seat)
{
	HostLog("%s's session was taken over from %s",
		EscapedUserName(caller->name).String(), caller->address.String());
	// The seat goes with the name: the first connection must not take it
	// away when it closes.
	if (seat != NULL && seat->CallerID() == previous->id)
		seat->Vacate();
	previous->ending = CallEnding::kTakenOver;
	_Drop(previous, std::string("\n") + kTakenOverNotice);
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


Board::Caller*
Board::_MemberFor(const BString& name) const
{
	auto member = fMembers.find(NameKey(name));
	return member != fMembers.end() ? _CallerByID(member->second) : NULL;
}


// The callers' IDs as they are now: a caller dropped on the way is looked
// up no more, and one added is not reached.
std::vector<int32>
Board::_CallerIDs() const
{
	std::vector<int32> ids;
	for (auto& entry : fCallers)
		ids.push_back(entry.first);
	return ids;
}


void
Board::_Say(Caller* caller, const std::string& text)
{
	if (caller->connection != NULL && !text.empty()) {
		caller->connection->Present(ScreenFit::Wrapped(text,
			caller->connection->Columns()));
	}
}


void
Board::_Drop(Caller* caller, const std::string& text, SeatAfterDrop after,
	CallEnd end)
{
	if (caller->connection != NULL && !caller->ForTheDoor()) {
		HostLog("%s disconnected (%s)", _NameLine(caller).c_str(),
			caller->address.String());
	}
	_LeaveSeat(caller, after);
	Terminal* connection = caller->connection;
	if (connection != NULL) {
		// The sysop watching sees the farewell too (a kick's reason) before
		// the watch ends with the caller.
		Onlooker* onlooker = connection->GetOnlooker();
		if (onlooker != NULL && !text.empty())
			onlooker->Shown(text);
		connection->SetOnlooker(nullptr);
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
Board::_StartCall(Caller* caller)
{
	if (fCallLog != NULL && caller->connection != NULL) {
		caller->call = fCallLog->CallStarted(caller->name,
			caller->connection->Kind(), caller->address);
	}
}


void
Board::_Forget(Caller* caller)
{
	if (caller->call != 0 && fCallLog != NULL) {
		fCallLog->CallEnded(caller->call, caller->ending);
		caller->call = 0;
	}
	if (caller->LoggedIn()) {
		std::string why = std::string(
			PrintableUserName(caller->name).String()) + " has left the board.";
		_EndWatchesOf(caller, why.c_str());
		auto member = fMembers.find(NameKey(caller->name));
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


std::string
Board::_NameLine(const Caller* caller) const
{
	if (caller->LoggedIn())
		return EscapedUserName(caller->name).String();
	return "a caller who had not logged in";
}
