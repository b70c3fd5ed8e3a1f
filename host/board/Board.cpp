#include "Board.h"

#include "FrontRoom.h"
#include "HostLog.h"
#include "IdleClock.h"
#include "Login.h"
#include "Seat.h"

#include <ZenboUserName.h>


static const char* const kBusyNotice
	= "The board is busy, please call again later.\n";
static const char* const kTakenOverNotice
	= "Your session was taken over from another connection.\n";
static const char* const kDoorClosedNotice = "The door has closed.";


// One caller from the connection to the hang-up. While it logs in, its
// Login holds what it has given; once logged in, it has a name and stands
// in the front room or sits in the door.
struct Board::Caller {
	enum class Place {
		kLoggingIn,
		kFrontRoom,
		kInDoor,
	};

	// How the caller came: to log in, or with its user's name for the door
	// alone (a bridge's), whose call ends with the session.
	enum class Arrival {
		kLogsIn,
		kForTheDoor,
	};

	Caller(int32 id, Terminal* connection, bigtime_t now)
		:
		id(id),
		connection(connection),
		address(connection->Address()),
		idle(now)
	{
	}

	bool LoggedIn() const { return login == nullptr; }
	bool ForTheDoor() const { return arrival == Arrival::kForTheDoor; }

	int32				id;
	Terminal*			connection;
	BString				address;
	Arrival				arrival = Arrival::kLogsIn;
	Place				place = Place::kLoggingIn;
	std::unique_ptr<Login> login;
	BString				name;
	IdleClock			idle;
	// The sysop's notices not yet shown, a line each.
	std::vector<std::string> notices;
};


static std::string
Escaped(const BString& name)
{
	return EscapedUserName(name).String();
}


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
		notice = std::string("\"") + Escaped(name) + "\" cannot be a user"
			" name: the name " + DescribeUserNameProblem(problem) + ".";
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
	_EnterDoor(added);
	return true;
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

	for (size_t i = 0; i < keys.size(); i++) {
		// The caller can be dropped or moved by a key; what follows it is
		// not for the next stage.
		if (_CallerFor(connection) != caller)
			return;
		if (caller->place == Caller::Place::kInDoor) {
			Seat* seat = _SeatFor(caller->name);
			if (seat != NULL)
				seat->KeysTyped(keys.substr(i));
			return;
		}
		if (!caller->LoggedIn())
			_Follow(caller, caller->login->KeyTyped(keys[i]));
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
	if (seat == NULL) {
		fLink.AnswerKey(request, 0);
		return;
	}
	if (!seat->KeyRequested(request))
		return;
	Caller* caller = _SeatCaller(seat);
	if (caller != NULL && seat->WaitsAtPrompt() && !caller->notices.empty())
		_ShowNotices(caller, seat->PromptLine());
	seat->DeliverKeys();
}


void
Board::SendString(const BString& name, const BString& text,
	BMessage* request)
{
	Seat* seat = _SeatFor(name);
	if (seat == NULL) {
		fLink.AnswerText(request, true);
		return;
	}
	seat->TextSent(text, request);
}


// #pragma mark - Reports of the host


bool
Board::HasSeatID(int32 id) const
{
	return _SeatByID(id) != NULL;
}


void
Board::Entered(int32 id, status_t status, const BString& error,
	const BString& detail)
{
	Seat* seat = _SeatByID(id);
	if (seat == NULL)
		return;
	if (status != B_OK) {
		_EntranceFailed(seat, error);
		return;
	}
	BString line(Escaped(seat->Name()).c_str());
	line << " entered the door";
	if (detail.Length() > 0)
		line << " (" << detail << ")";
	_Log(_SeatCaller(seat), line);
	seat->Entered();
}


void
Board::SessionEnded(int32 id, bool doorClosed)
{
	Seat* seat = _SeatByID(id);
	if (seat == NULL)
		return;
	// A session that ends on its own is never waiting for the host; one
	// that ends while its request waits here was killed with its door.
	doorClosed = doorClosed || seat->HasRequests();
	Caller* caller = _SeatCaller(seat);
	BString line(Escaped(seat->Name()).c_str());
	if (doorClosed)
		line << "'s session ended: the door closed";
	else
		line << " left the door";
	_Log(caller, line);

	std::string key = NameKey(seat->Name());
	fSeats.erase(key);
	if (caller == NULL) {
		auto member = fMembers.find(key);
		if (member != fMembers.end() && _CallerByID(member->second) == NULL)
			fMembers.erase(member);
		return;
	}
	if (caller->ForTheDoor()) {
		_Drop(caller, doorClosed ? kDoorClosedNotice : "",
			SeatAfterDrop::kKeptForTheGrace,
			doorClosed ? CallEnd::kDoorClosed : CallEnd::kSessionEnded);
		return;
	}
	_Say(caller, doorClosed ? std::string("\n") + kDoorClosedNotice + "\n"
		: std::string("\n"));
	_ShowFrontRoom(caller);
}


void
Board::PasswordHashed(int32 id, const std::string& hash)
{
	Caller* caller = _CallerByID(id);
	if (caller != NULL && !caller->LoggedIn())
		_Follow(caller, caller->login->PasswordHashed(hash));
}


void
Board::PasswordChecked(int32 id, bool matches)
{
	Caller* caller = _CallerByID(id);
	if (caller != NULL && !caller->LoggedIn())
		_Follow(caller, caller->login->PasswordChecked(matches));
}


void
Board::ShutDown(const char* notice)
{
	for (auto& entry : fSeats)
		entry.second->SetGone();
	for (int32 id : _CallerIDs()) {
		Caller* caller = _CallerByID(id);
		if (caller != NULL) {
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
		if (caller == NULL || caller->connection == NULL
			|| caller->ForTheDoor()) {
			continue;
		}
		if (!caller->LoggedIn())
			_Follow(caller, caller->login->Tick(now, fSettings.loginTimeout));
		else
			_TickIdle(caller, now);
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
				Escaped(caller->name).c_str());
			_Drop(caller, "\nYou have been idle too long. Good-bye.\n",
				SeatAfterDrop::kGone);
			break;
	}
}


void
Board::_EndAwaySeats(bigtime_t now)
{
	for (auto& entry : fSeats) {
		Seat* seat = entry.second.get();
		if (seat->CallerID() != 0 || seat->IsGone() || now < seat->AwayUntil())
			continue;
		HostLog("%s did not come back in time; the session ends",
			Escaped(seat->Name()).c_str());
		seat->SetGone();
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
		if (caller->LoggedIn())
			view.name = PrintableUserName(caller->name);
		if (caller->connection != NULL)
			view.kind = caller->connection->Kind();
		view.where = PrintableUserName(caller->address);
		view.idle = caller->idle.Idle(now);
		view.state = !caller->LoggedIn() ? "logging in"
			: caller->place == Caller::Place::kInDoor ? "in the door"
			: "front room";
		callers.push_back(view);
	}
	for (auto& entry : fSeats) {
		const Seat* seat = entry.second.get();
		if (seat->CallerID() != 0 || seat->IsGone())
			continue;
		CallerView view;
		view.name = PrintableUserName(seat->Name());
		view.where = "(line dropped)";
		view.idle = now - (seat->AwayUntil() - fSettings.grace);
		view.state = "away from the door";
		callers.push_back(view);
	}
	return callers;
}


bool
Board::Kick(const BString& name, const char* notice)
{
	Caller* caller = _MemberFor(name);
	Seat* seat = _SeatFor(name);
	if (caller == NULL && (seat == NULL || seat->IsGone()))
		return false;
	HostLog("the sysop disconnected %s", Escaped(caller != NULL
		? caller->name : seat->Name()).c_str());
	if (caller != NULL) {
		_Drop(caller, std::string("\n") + notice + "\n",
			SeatAfterDrop::kGone);
	}
	// A seat whose caller is away, or one the caller left for another.
	seat = _SeatFor(name);
	if (seat != NULL && !seat->IsGone())
		seat->SetGone();
	return true;
}


int32
Board::Announce(const std::string& notice)
{
	int32 count = 0;
	for (int32 id : _CallerIDs()) {
		Caller* caller = _CallerByID(id);
		if (caller == NULL || caller->connection == NULL)
			continue;
		caller->notices.push_back(notice);
		count++;
		// Those who stand at a prompt see it now; the others at their next.
		if (caller->place == Caller::Place::kFrontRoom)
			_ShowNotices(caller, FrontRoom::kPromptLine);
		else if (caller->place == Caller::Place::kInDoor) {
			Seat* seat = _SeatFor(caller->name);
			if (seat != NULL && seat->WaitsAtPrompt()
				&& _SeatCaller(seat) == caller) {
				_ShowNotices(caller, seat->PromptLine());
			}
		}
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
	if (previous != NULL && previous->ForTheDoor()) {
		_Drop(caller, std::string(name.String())
			+ " is already in the door from another terminal.\n");
		return;
	}
	caller->login.reset();
	caller->name = name;
	fMembers[NameKey(name)] = caller->id;
	Seat* seat = _SeatFor(name);
	if (previous != NULL && previous != caller)
		_TakeOver(caller, previous, seat);
	else {
		HostLog("%s logged in from %s", Escaped(name).c_str(),
			caller->address.String());
	}

	if (seat != NULL && !seat->IsGone()) {
		if (previous == NULL)
			HostLog("%s resumed the session", Escaped(name).c_str());
		caller->place = Caller::Place::kInDoor;
		seat->Attach(caller->id, caller->connection);
		return;
	}
	_ShowFrontRoom(caller);
}


void
Board::_TakeOver(Caller* caller, Caller* previous, Seat* seat)
{
	HostLog("%s's session was taken over from %s",
		Escaped(caller->name).c_str(), caller->address.String());
	// The seat goes with the name: the first connection must not take it
	// away when it closes.
	if (seat != NULL && seat->CallerID() == previous->id)
		seat->Vacate();
	_Drop(previous, std::string("\n") + kTakenOverNotice);
}


// #pragma mark - The front room


void
Board::_ShowFrontRoom(Caller* caller)
{
	caller->place = Caller::Place::kFrontRoom;
	for (const std::string& notice : caller->notices)
		_Say(caller, "\n" + notice);
	caller->notices.clear();
	_Say(caller, FrontRoom::Menu(caller->name));
}


void
Board::_FrontRoomKey(Caller* caller, char key)
{
	std::string shown;
	FrontRoom::Choice choice = FrontRoom::ChoiceFor(key, &shown);
	_Say(caller, shown);
	switch (choice) {
		case FrontRoom::Choice::kNone:
			break;
		case FrontRoom::Choice::kEnterDoor:
			_EnterDoor(caller);
			break;
		case FrontRoom::Choice::kWhoIsOnline:
			_ShowWhoIsOnline(caller);
			_ShowFrontRoom(caller);
			break;
		case FrontRoom::Choice::kGoodBye:
			_Drop(caller, "Good-bye.\n");
			break;
	}
}


void
Board::_ShowWhoIsOnline(Caller* caller)
{
	bigtime_t now = fLink.Now();
	std::vector<FrontRoom::Presence> online;
	for (auto& entry : fCallers) {
		const Caller* other = entry.second.get();
		if (!other->LoggedIn())
			continue;
		FrontRoom::Presence presence;
		presence.name = other->name;
		presence.inDoor = other->place == Caller::Place::kInDoor;
		presence.idle = other->idle.Idle(now);
		if (other->connection != NULL) {
			presence.terminal = other->connection->TerminalType();
			presence.way = other->connection->Kind();
		}
		online.push_back(presence);
	}
	_Say(caller, FrontRoom::WhoIsOnline(online));
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
	auto seat = std::make_unique<Seat>(fLink, fLink.NewSeatID(),
		caller->name);
	seat->SitDown(caller->id, caller->connection);
	int32 id = seat->ID();
	fSeats[key] = std::move(seat);
	caller->place = Caller::Place::kInDoor;
	fLink.EnterDoor(id, caller->name);
}


// #pragma mark - Seats in the door


Seat*
Board::_SeatFor(const BString& name) const
{
	auto seat = fSeats.find(NameKey(name));
	return seat != fSeats.end() ? seat->second.get() : NULL;
}


Seat*
Board::_SeatByID(int32 id) const
{
	for (auto& entry : fSeats) {
		if (entry.second->ID() == id)
			return entry.second.get();
	}
	return NULL;
}


Board::Caller*
Board::_SeatCaller(const Seat* seat) const
{
	if (seat->CallerID() == 0)
		return NULL;
	Caller* caller = _CallerByID(seat->CallerID());
	return caller != NULL && caller->connection != NULL ? caller : NULL;
}


// A caller whose connection ends leaves the seat away, for the grace
// period, or gone.
void
Board::_LeaveSeat(Caller* caller, SeatAfterDrop after)
{
	Seat* seat = caller->LoggedIn() ? _SeatFor(caller->name) : NULL;
	if (seat == NULL || seat->CallerID() != caller->id)
		return;
	seat->Detach(fLink.Now() + fSettings.grace);
	if (after == SeatAfterDrop::kGone)
		seat->SetGone();
}


void
Board::_EntranceFailed(Seat* seat, const BString& error)
{
	Caller* caller = _SeatCaller(seat);
	HostLog("%s could not enter the door: %s",
		Escaped(seat->Name()).c_str(), error.String());
	// A session that got as far as asking is told its user is gone.
	seat->SetGone();
	std::string key = NameKey(seat->Name());
	fSeats.erase(key);
	if (caller == NULL)
		fMembers.erase(key);
	else if (caller->ForTheDoor())
		_Drop(caller, error.String());
	else {
		_Say(caller, std::string("\n") + error.String() + "\n");
		_ShowFrontRoom(caller);
	}
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
	if (caller->connection != NULL && !text.empty())
		caller->connection->Show(text);
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
	if (caller->LoggedIn()) {
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
	if (caller->LoggedIn())
		return Escaped(caller->name);
	return "a caller who had not logged in";
}
