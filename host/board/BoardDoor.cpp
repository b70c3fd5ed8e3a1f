#include "Board.h"

#include "BoardCaller.h"
#include "FrontRoom.h"
#include "HostLog.h"
#include "Seat.h"

#include <ZenboUserName.h>


// The board's side that faces the door: the door's requests and the host's
// reports on sessions, routed to the seat of the name; the front room from
// which a caller enters; the notices a caller is shown at the prompt of the
// front room or the door; and the seats' bookkeeping as callers come and
// go.


static const char* const kDoorClosedNotice = "The door has closed.";
// The calls the front room's list of last callers shows.
static const int32 kLastCallersShown = 10;
// A caller pages the sysop at most this often, so that pages cannot flood
// the sysop's terminal or the log.
static const bigtime_t kPageInterval = 60000000;


// #pragma mark - The door's requests


bool
Board::HasSeat(const BString& name) const
{
	return _SeatFor(name) != NULL;
}


void
Board::GetChar(const BString& name, BMessage* request)
{
	fExchanges.Add(fLink.Now());
	Seat* seat = _SeatFor(name);
	if (seat == NULL) {
		fLink.AnswerKey(request, 0);
		return;
	}
	if (!seat->KeyRequested(request))
		return;
	Caller* caller = _SeatCaller(seat);
	if (caller != NULL && !caller->chatting && seat->WaitsAtPrompt()
		&& !caller->notices.empty())
		_ShowNotices(caller, seat->PromptLine());
	seat->DeliverKeys();
}


void
Board::SendString(const BString& name, const BString& text,
	BMessage* request)
{
	fExchanges.Add(fLink.Now());
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
	BString line(EscapedUserName(seat->Name()).String());
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
	BString line(EscapedUserName(seat->Name()).String());
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
	if (caller->EndsWithTheSession()) {
		// Left the door for good; a door that closed under the call cut it.
		caller->ending = doorClosed ? CallEnding::kDropped
			: CallEnding::kGoodBye;
		_Drop(caller, doorClosed ? kDoorClosedNotice : "",
			SeatAfterDrop::kKeptForTheGrace,
			doorClosed ? CallEnd::kDoorClosed : CallEnd::kSessionEnded);
		return;
	}
	_Say(caller, doorClosed ? std::string("\n") + kDoorClosedNotice + "\n"
		: std::string("\n"));
	_ShowFrontRoom(caller);
}


// #pragma mark - The front room


void
Board::_ShowFrontRoom(Caller* caller)
{
	caller->place = Caller::Place::kFrontRoom;
	for (const std::string& notice : caller->notices)
		_Say(caller, "\n" + notice);
	caller->notices.clear();
	Terminal* terminal = caller->connection;
	const char* characters = NULL;
	if (terminal != NULL && terminal->OffersEncodingChoice()) {
		characters = terminal->Encoding() == TerminalEncoding::kUtf8
			? "UTF-8" : "8-bit, as old boards' terminals draw them";
	}
	_Say(caller, FrontRoom::Menu(caller->name, characters));
}


void
Board::_FrontRoomKey(Caller* caller, char key)
{
	std::string shown;
	FrontRoom::Choice choice = FrontRoom::ChoiceFor(key, &shown);
	Terminal* terminal = caller->connection;
	if (choice == FrontRoom::Choice::kCharacters
		&& (terminal == NULL || !terminal->OffersEncodingChoice())) {
		choice = FrontRoom::Choice::kNone;
		shown.clear();
	}
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
		case FrontRoom::Choice::kLastCallers:
			_ShowLastCallers(caller);
			_ShowFrontRoom(caller);
			break;
		case FrontRoom::Choice::kChangePassword:
			_ChangePassword(caller);
			break;
		case FrontRoom::Choice::kPageSysop:
			_PageSysop(caller);
			break;
		case FrontRoom::Choice::kCharacters:
			// A caller who chooses 8 bits says their terminal draws the
			// door's characters.
			terminal->ChooseEncoding(
				terminal->Encoding() == TerminalEncoding::kUtf8
					? TerminalEncoding::kDoorCharset
					: TerminalEncoding::kUtf8);
			_ShowFrontRoom(caller);
			break;
		case FrontRoom::Choice::kGoodBye:
			caller->ending = CallEnding::kGoodBye;
			_Drop(caller, "Good-bye.\n");
			break;
	}
}


void
Board::_ShowLastCallers(Caller* caller)
{
	if (fCallLog == NULL) {
		_Say(caller, "\nThe board keeps no log of calls.\n");
		return;
	}
	_Say(caller, FrontRoom::LastCallers(fCallLog->LastCalls(
		kLastCallersShown, BString())));
}


void
Board::_ChangePassword(Caller* caller)
{
	caller->place = Caller::Place::kChangingPassword;
	caller->passwordChange = std::make_unique<PasswordChange>(fLink,
		fAccounts, fLimits, caller->connection, caller->id, caller->name,
		caller->address);
	_FollowChange(caller, caller->passwordChange->Begin());
}


void
Board::_FollowChange(Caller* caller, PasswordChange::Outcome outcome)
{
	switch (outcome) {
		case PasswordChange::Outcome::kGoesOn:
			break;
		case PasswordChange::Outcome::kFinished:
			caller->passwordChange.reset();
			_ShowFrontRoom(caller);
			break;
		case PasswordChange::Outcome::kLetGo:
			// As a login whose tries are used up.
			caller->passwordChange.reset();
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
	_Say(caller, FrontRoom::WhoIsOnline(online, caller->connection != NULL
		? caller->connection->Columns() : 0));
}


void
Board::_PageSysop(Caller* caller)
{
	bigtime_t now = fLink.Now();
	if (caller->pagedAt != 0 && now - caller->pagedAt < kPageInterval) {
		_Say(caller, "You paged the sysop less than a minute ago.\n");
		_ShowFrontRoom(caller);
		return;
	}
	caller->pagedAt = now;
	HostLog("%s paged the sysop", EscapedUserName(caller->name).String());
	// A caller the sysop already watches keeps the page for the sysop to
	// take up; a terminal has one onlooker at a time.
	if (!fPageWaiters.empty() && caller->connection->GetOnlooker() == NULL) {
		Onlooker* waiter = fPageWaiters.front();
		fPageWaiters.erase(fPageWaiters.begin());
		_StartChat(caller, waiter);
		return;
	}
	caller->paging = true;
	_Say(caller, "The sysop has been paged.\n");
	_ShowFrontRoom(caller);
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


// #pragma mark - Notices at the prompts


void
Board::_Notify(Caller* caller, const std::string& notice)
{
	caller->notices.push_back(notice);
	// Those who stand at a prompt see it now; the others at their next,
	// and a caller in a chat once it ends.
	if (caller->chatting)
		return;
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


void
Board::_ShowNotices(Caller* caller, const std::string& promptLine)
{
	if (caller->connection == NULL)
		return;
	std::string lines;
	for (const std::string& notice : caller->notices)
		lines += (lines.empty() ? "" : "\n") + notice;
	caller->notices.clear();
	caller->connection->PresentNotice(lines, promptLine);
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
		EscapedUserName(seat->Name()).String(), error.String());
	// A session that got as far as asking is told its user is gone.
	seat->SetGone();
	std::string key = NameKey(seat->Name());
	fSeats.erase(key);
	if (caller == NULL)
		fMembers.erase(key);
	else if (caller->EndsWithTheSession())
		_Drop(caller, error.String());
	else {
		_Say(caller, std::string("\n") + error.String() + "\n");
		_ShowFrontRoom(caller);
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
			EscapedUserName(seat->Name()).String());
		seat->SetGone();
	}
}
