#include "Board.h"

#include "BoardCaller.h"
#include "FrontRoom.h"
#include "HostLog.h"
#include "Seat.h"

#include <ZenboUserName.h>


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
		if (caller->connection != NULL) {
			view.kind = caller->connection->Kind();
			view.terminal = PrintableUserName(
				caller->connection->TerminalType());
		}
		view.where = PrintableUserName(caller->address);
		view.idle = caller->idle.Idle(now);
		view.state = !caller->LoggedIn() ? "logging in"
			: caller->place == Caller::Place::kInDoor ? "in the door"
			: "front room";
		view.timeLeft = caller->timeLimit.TimeLeft(now);
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
	HostLog("the sysop disconnected %s", EscapedUserName(caller != NULL
		? caller->name : seat->Name()).String());
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
