#include "Board.h"

#include "BoardCaller.h"
#include "FrontRoom.h"
#include "HostLog.h"
#include "Seat.h"

#include <ZenboUserName.h>


static const char* const kSpyNotice = "The sysop is watching your screen.";
static const char* const kChatStart = "Chat with the sysop";
static const char* const kChatEnd = "End of the chat with the sysop.";
// A chat's line wraps here, so that no line of either side outgrows an
// 80-column terminal, however long the sysop or the caller types.
static const int32 kChatLineLength = 79;


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
		view.paged = caller->paging;
		view.watched = caller->connection != NULL
			&& caller->connection->GetOnlooker() != NULL;
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
Board::Kick(const BString& name, const char* notice, const std::string& reason)
{
	Caller* caller = _MemberFor(name);
	Seat* seat = _SeatFor(name);
	if (caller == NULL && (seat == NULL || seat->IsGone()))
		return false;
	HostLog("the sysop disconnected %s%s%s", EscapedUserName(caller != NULL
		? caller->name : seat->Name()).String(),
		reason.empty() ? "" : ": ", reason.c_str());
	if (caller != NULL) {
		caller->ending = CallEnding::kKicked;
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


// #pragma mark - The sysop's spies and chats


Board::Watch
Board::Spy(const BString& name, Onlooker* onlooker, BString* who)
{
	bool tellCaller = fSettings.spyNotice;
	Caller* caller = _WatchableCaller(name);
	if (caller == NULL)
		return Watch::kNobody;
	*who = PrintableUserName(caller->name);
	if (caller->connection->GetOnlooker() != NULL)
		return Watch::kAlreadyWatched;
	Watcher watcher;
	watcher.caller = caller->id;
	fWatchers[onlooker] = watcher;
	caller->connection->SetOnlooker(onlooker);
	HostLog("the sysop started watching the screen of %s%s",
		EscapedUserName(caller->name).String(),
		tellCaller ? "" : " (the caller is not told)");
	// The sysop starts on the line the caller's cursor stands on, as the
	// caller sees it: the door's prompt with what was typed to it.
	std::string line;
	Seat* seat = _SeatFor(caller->name);
	if (caller->place == Caller::Place::kInDoor && seat != NULL)
		line = seat->PromptLine();
	else if (caller->place == Caller::Place::kFrontRoom)
		line = FrontRoom::kPromptLine;
	if (!line.empty())
		onlooker->Shown(line);
	if (tellCaller)
		_Notify(caller, kSpyNotice);
	return Watch::kStarted;
}


Board::Watch
Board::Chat(const BString& name, Onlooker* onlooker, BString* who)
{
	Caller* caller = _WatchableCaller(name);
	if (caller == NULL)
		return Watch::kNobody;
	*who = PrintableUserName(caller->name);
	if (caller->connection->GetOnlooker() != NULL)
		return Watch::kAlreadyWatched;
	_StartChat(caller, onlooker);
	return Watch::kStarted;
}


void
Board::ChatTyped(Onlooker* onlooker, const std::string& keys)
{
	auto found = fWatchers.find(onlooker);
	if (found == fWatchers.end() || !found->second.chat)
		return;
	Caller* caller = _CallerByID(found->second.caller);
	if (caller == NULL || !caller->chatting)
		return;
	// A caller who reads what the sysop types is not idle.
	caller->idle.KeyTyped(fLink.Now());
	_ChatKeys(caller, keys);
}


void
Board::WaitForPage(Onlooker* onlooker)
{
	// The caller who paged first and still waits.
	Caller* first = NULL;
	for (auto& entry : fCallers) {
		Caller* caller = entry.second.get();
		if (caller->paging && caller->connection != NULL
			&& caller->connection->GetOnlooker() == NULL
			&& (first == NULL || caller->pagedAt < first->pagedAt)) {
			first = caller;
		}
	}
	if (first != NULL) {
		_StartChat(first, onlooker);
		return;
	}
	HostLog("the sysop waits for a page");
	fPageWaiters.push_back(onlooker);
}


void
Board::Unwatch(Onlooker* onlooker)
{
	_EndWatch(onlooker, NULL);
}


Board::Figures
Board::CountFigures()
{
	bigtime_t now = fLink.Now();
	Figures figures;
	for (auto& entry : fCallers) {
		const Caller* caller = entry.second.get();
		if (caller->connection != NULL)
			figures.callersByWay[caller->connection->Kind()]++;
	}
	for (auto& entry : fSeats) {
		const Seat* seat = entry.second.get();
		if (seat->IsGone())
			continue;
		figures.sessions++;
		if (seat->CallerID() == 0)
			figures.callersByWay["away"]++;
	}
	int32 today = DayTally::Today();
	figures.loginsToday = fLogins.Count(today);
	figures.failedLoginsToday = fLimits.FailuresOn(today);
	figures.lockedNames = fLimits.CountLocked(now);
	figures.keysPerSecond = fKeys.PerSecond(now);
	figures.exchangesPerSecond = fExchanges.PerSecond(now);
	return figures;
}


// A caller on the board now, logged in: one whose line dropped has no
// screen to watch.
Board::Caller*
Board::_WatchableCaller(const BString& name) const
{
	Caller* caller = _MemberFor(name);
	if (caller == NULL || caller->connection == NULL || !caller->LoggedIn())
		return NULL;
	return caller;
}


void
Board::_StartChat(Caller* caller, Onlooker* onlooker)
{
	Watcher watcher;
	watcher.caller = caller->id;
	watcher.chat = true;
	fWatchers[onlooker] = watcher;
	caller->connection->SetOnlooker(onlooker);
	caller->chatting = true;
	caller->paging = false;
	Seat* seat = _SeatFor(caller->name);
	if (caller->place == Caller::Place::kInDoor && seat != NULL
		&& seat->CallerID() == caller->id) {
		seat->Hold();
	}
	HostLog("the sysop chats with %s", EscapedUserName(caller->name).String());
	_Say(caller, std::string("\n\n") + kChatStart + "\n");
}


// Each side's keys are shown to both as they are typed, on the caller's
// terminal (which the sysop's side sees as its onlooker): printable
// characters, Enter and Backspace, nothing that could drive a terminal.
// What a batch of keys brings goes out as one text.
void
Board::_ChatKeys(Caller* caller, const std::string& keys)
{
	Watcher* watcher = NULL;
	for (auto& entry : fWatchers) {
		if (entry.second.caller == caller->id && entry.second.chat)
			watcher = &entry.second;
	}
	if (watcher == NULL)
		return;
	std::string shown;
	for (char key : keys) {
		if (key == '\n') {
			watcher->column = 0;
			shown += "\n";
		} else if (key == '\b') {
			if (watcher->column > 0) {
				watcher->column--;
				shown += "\b \b";
			}
		} else if ((uint8)key >= 0x20 && (uint8)key != 0x7f) {
			if (watcher->column >= kChatLineLength) {
				watcher->column = 0;
				shown += "\n";
			}
			watcher->column++;
			shown += key;
		}
	}
	_Say(caller, shown);
}


void
Board::_EndWatch(Onlooker* onlooker, const char* why)
{
	auto found = fWatchers.find(onlooker);
	if (found == fWatchers.end()) {
		for (auto waiter = fPageWaiters.begin(); waiter != fPageWaiters.end();
				waiter++) {
			if (*waiter != onlooker)
				continue;
			fPageWaiters.erase(waiter);
			if (why != NULL)
				onlooker->Ended(why);
			break;
		}
		return;
	}
	Watcher watcher = found->second;
	fWatchers.erase(found);
	Caller* caller = _CallerByID(watcher.caller);
	if (caller != NULL && caller->connection != NULL
		&& caller->connection->GetOnlooker() == onlooker) {
		caller->connection->SetOnlooker(NULL);
	}
	if (caller != NULL) {
		HostLog(watcher.chat ? "the sysop's chat with %s ended"
			: "the sysop stopped watching the screen of %s",
			EscapedUserName(caller->name).String());
	}
	if (watcher.chat && caller != NULL && caller->connection != NULL) {
		caller->chatting = false;
		_Say(caller, std::string("\n") + kChatEnd + "\n");
		// The caller's screen as it was: the door's prompt line whole
		// with what was typed, and what the door showed meanwhile.
		Seat* seat = _SeatFor(caller->name);
		std::string promptLine;
		if (caller->place == Caller::Place::kInDoor && seat != NULL
			&& seat->CallerID() == caller->id) {
			seat->Release();
			promptLine = seat->PromptLine();
			if (!seat->WaitsAtPrompt())
				promptLine.clear();
		} else if (caller->place == Caller::Place::kFrontRoom) {
			_Say(caller, FrontRoom::kPromptLine);
			promptLine = FrontRoom::kPromptLine;
		}
		caller = _CallerByID(watcher.caller);
		if (caller != NULL && !caller->notices.empty() && !promptLine.empty())
			_ShowNotices(caller, promptLine);
	} else if (caller != NULL)
		caller->chatting = false;
	if (why != NULL)
		onlooker->Ended(why);
}


// The caller leaves the board: whoever watched them hears so.
void
Board::_EndWatchesOf(Caller* caller, const char* why)
{
	std::vector<Onlooker*> onlookers;
	for (auto& entry : fWatchers) {
		if (entry.second.caller == caller->id)
			onlookers.push_back(entry.first);
	}
	for (Onlooker* onlooker : onlookers)
		_EndWatch(onlooker, why);
}
