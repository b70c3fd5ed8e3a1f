#pragma once

#include "AccountStore.h"
#include "BoardLink.h"
#include "BoardSettings.h"
#include "CallLog.h"
#include "Login.h"
#include "LoginLimits.h"
#include "PasswordChange.h"
#include "RateMeter.h"
#include "Terminal.h"

#include <String.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

class BMessage;
class Seat;

// The board: its callers from the moment they connect (login or
// registration, the front room, the door) and the door's sessions of its
// names. A terminal that arrives with its user's name (a bridge's) goes
// straight into the door and its call ends with the session, as does a
// caller another board vouches for (an RLogin call), who may also resume
// after a drop; every other caller logs in. It never touches a socket or a
// thread: connections report keys, drains and hang-ups, the host hands it
// the door's requests and the results of slow work, and a periodic Tick
// lets time pass (login timeouts, paused password tries, idle callers,
// callers' time limits, grace periods). A door's
// session belongs to a seat that outlives the caller's connection: a caller
// whose line drops is away from the seat for the grace period, and the same
// name logging in again sits down where the session stood. Everything runs
// on the host's looper thread.
//
// The board keeps the registry (callers by connection, the names logged in,
// the seats by name) and routes each event to the part that decides: a
// caller's Login, the LoginLimits shared by every way in, the Seat of a
// name in the door, the FrontRoom's menu and lists, a caller's
// PasswordChange, a caller's IdleClock. It tells its CallLog when each call
// begins and, once the caller is forgotten, how it ended.
// Board.cpp holds the callers' side and time, BoardDoor.cpp the door's
// side, the front room and the notices shown at their prompts,
// BoardSysop.cpp the sysop's view and actions.
class Board {
public:
								Board(const BoardSettings& settings,
									AccountStore& accounts, BoardLink& link);
								Board(const Board&) = delete;
			Board&				operator=(const Board&) = delete;
								~Board();

			const BoardSettings& Settings() const { return fSettings; }

	// Connections. Connected may refuse (the board is busy): the caller is
	// told and the connection finished.
			void				Connected(Terminal* connection);
	// A terminal that names its user and comes for the door alone. False
	// when it is refused (told and finished).
			bool				TerminalArrived(Terminal* connection,
									const BString& name);
	// The time the caller's own board left them (a drop file's); a
	// negative time is no limit. Warned at 5, 2 and 1 minutes left, at a
	// prompt as the sysop's notices are, and let go once it is up.
			void				LimitTime(Terminal* connection,
									bigtime_t timeLeft);
	// A caller another board vouches for (an RLogin call): Arrived counts
	// it against the limits while its handshake is judged. Vouched then
	// brings the caller of the name straight into the door, with no front
	// room and no password; a second call of the name takes the session
	// over and a dropped one resumes it within the grace period, and the
	// call ends with the session. VouchRefused turns a failed handshake
	// away as a wrong password is: the failure counts against the key
	// (locked after as many as a name), and the refusal waits out a pause
	// that grows with the key's recent failures.
			void				Vouched(Terminal* connection,
									const BString& name);
			void				VouchRefused(Terminal* connection,
									const std::string& key,
									const std::string& notice);
	// Whether failures have locked the key (a name's, or another board's).
	[[nodiscard]] bool			IsLocked(const std::string& key);
	// A caller who gives a name and a password before the terminal opens
	// (an SSH caller). Arrived counts the caller against the board's limits
	// as Connected does (false: refused and finished) but shows nothing.
	// The name and password are judged as a login's (the same accounts, the
	// same pauses and locks) and answered through the connection's
	// LoginAnswered; once admitted, TerminalOpened brings the caller to the
	// front room or to the seat the name left, and one who came as "new" to
	// the board's own login.
			bool				Arrived(Terminal* connection);
			LoginQuestions		QuestionsFor(Terminal* connection,
									const BString& name);
			void				PasswordGiven(Terminal* connection,
									const BString& name,
									const std::string& password);
			void				RegistrationGiven(Terminal* connection,
									const std::string& password,
									const std::string& again);
			void				TerminalOpened(Terminal* connection);
	// A terminal's input has ended: once the door has taken every key typed
	// before, the user is gone.
			void				InputEnded(Terminal* connection);
			void				Typed(Terminal* connection,
									const std::string& keys);
			void				Drained(Terminal* connection);
	// The connection is gone; it may be deleted once this returns.
			void				HungUp(Terminal* connection);

	// The door's requests. False when the name has no seat on the board
	// (the request stays the host's); otherwise the board owns it.
			bool				HasSeat(const BString& name) const;
			void				GetChar(const BString& name,
									BMessage* request);
			void				SendString(const BString& name,
									const BString& text, BMessage* request);

	// Reports of the host
			bool				HasSeatID(int32 seat) const;
			void				Entered(int32 seat, status_t status,
									const BString& error,
									const BString& detail);
			void				SessionEnded(int32 seat, bool doorClosed);
			void				PasswordHashed(int32 caller,
									const std::string& hash);
			void				PasswordChecked(int32 caller, bool matches);
			void				Tick();
	// Every caller is told and closed; every session hears that its user
	// is gone.
			void				ShutDown(const char* notice);

	// The sysop's view and actions
	struct CallerView {
		BString			name;		// empty while logging in
		BString			kind;		// the connection's Kind(); empty when away
		BString			where;
		bigtime_t		idle = 0;
		const char*		state = "";
		// What the caller's own board left them; -1 for no limit.
		bigtime_t		timeLeft = -1;
		// Paged the sysop, not yet answered; watched by the sysop (a spy
		// or a chat).
		bool			paged = false;
		bool			watched = false;
		// The terminal's type and window (COLSxROWS), as far as known.
		BString			terminal;
	};
			std::vector<CallerView> ListCallers() const;
	// Tells the caller of the name and disconnects them; a session in the
	// door ends as a hang-up does, also one whose caller is away. False
	// when the name is nowhere on the board. The reason, for the log, is
	// already printable.
			bool				Kick(const BString& name, const char* notice,
									const std::string& reason = "");
	// A line for every caller, shown at their next prompt (at once to
	// those who stand at one); never inside a text of the door. Returns how
	// many callers it is for.
			int32				Announce(const std::string& notice);

	// The sysop watches the screen of the caller of the name (Spy) or
	// breaks in to chat with them (Chat); the onlooker is shown what the
	// caller is shown until Unwatch, or until the board ends it (Ended:
	// the caller left). A caller in a chat types to the sysop, and the
	// door's session waits. The caller's name as it is on the board goes to *who.
	enum class Watch {
		kStarted,
		kNobody,			// no caller of the name stands on the board
		kAlreadyWatched,	// another spy or chat has the caller
	};
	// The caller is told of a spy unless the sysop's settings say not to.
			Watch				Spy(const BString& name, Onlooker* onlooker,
									BString* who);
			Watch				Chat(const BString& name, Onlooker* onlooker,
									BString* who);
	// Keys the sysop typed in a chat, as a terminal's line discipline gives
	// them.
			void				ChatTyped(Onlooker* onlooker,
									const std::string& keys);
	// The sysop waits for the next caller who pages (zenbo chat --wait);
	// one who paged a while ago and is still here is taken at once.
			void				WaitForPage(Onlooker* onlooker);
	// The sysop's side has gone or ended its watch, chat or wait: the board
	// forgets it without telling it. Nothing happens for one it does not
	// know.
			void				Unwatch(Onlooker* onlooker);

	// The board's figures for zenbo status.
	struct Figures {
		// By the connection's Kind(), and "away" for a dropped line.
		std::map<std::string, int32> callersByWay;
		int32			sessions = 0;
		int32			loginsToday = 0;
		int32			failedLoginsToday = 0;
		int32			lockedNames = 0;
		double			keysPerSecond = 0;
		double			exchangesPerSecond = 0;
	};
			Figures				CountFigures();

	// Whether a caller is logged in under the name (in any case), or a seat
	// of the name waits in the door.
			bool				IsOnBoard(const BString& name) const;
			int32				CountCallers() const
									{ return (int32)fCallers.size(); }
			bool				HasSeats() const { return !fSeats.empty(); }

	// The log that keeps the board's calls and shows the last callers; none
	// keeps no calls. It must outlive the board.
			void				SetCallLog(CallLog* log) { fCallLog = log; }

private:
			struct Caller;

	// What becomes of the seat of a caller who is let go.
	enum class SeatAfterDrop {
		kKeptForTheGrace,		// away; the same name may come back to it
		kGone,					// its session hears that the user is gone
	};

	// Login
			Caller*				_Admit(Terminal* connection, Login::Way way);
			void				_Follow(Caller* caller, LoginOutcome outcome);
			void				_LogIn(Caller* caller);
			void				_TakeOver(Caller* caller, Caller* previous,
									Seat* seat);

	// The front room
			void				_ShowFrontRoom(Caller* caller);
			void				_FrontRoomKey(Caller* caller, char key);
			void				_ShowWhoIsOnline(Caller* caller);
			void				_ShowLastCallers(Caller* caller);
			void				_ChangePassword(Caller* caller);
			// Acts on what a step of a caller's change of password came to.
			void				_FollowChange(Caller* caller,
									PasswordChange::Outcome outcome);
			void				_PageSysop(Caller* caller);
			void				_EnterDoor(Caller* caller);

	// Notices at the prompts
			// A line for the caller at their next prompt, at once when they
			// stand at one: the board's one way to tell a caller something
			// outside the door's texts.
			void				_Notify(Caller* caller,
									const std::string& notice);
			// Shows the caller's waiting notices at the prompt they stand at.
			void				_ShowNotices(Caller* caller,
									const std::string& promptLine);

	// The sysop's spies and chats
			Caller*				_WatchableCaller(const BString& name) const;
			void				_StartChat(Caller* caller,
									Onlooker* onlooker);
			void				_ChatKeys(Caller* caller,
									const std::string& keys);
			// Ends the watch of the onlooker: the caller's screen comes
			// back after a chat. The onlooker is told why unless it is
			// NULL (the sysop's side went).
			void				_EndWatch(Onlooker* onlooker,
									const char* why);
			void				_EndWatchesOf(Caller* caller,
									const char* why);

	// Seats in the door
			Seat*				_SeatFor(const BString& name) const;
			Seat*				_SeatByID(int32 id) const;
			Caller*				_SeatCaller(const Seat* seat) const;
			void				_LeaveSeat(Caller* caller,
									SeatAfterDrop after);
			void				_EntranceFailed(Seat* seat,
									const BString& error);

	// Time
			void				_TickIdle(Caller* caller, bigtime_t now);
			// Warns a caller whose time runs out, and lets them go once it
			// is up.
			void				_TickTimeLimit(Caller* caller, bigtime_t now);
			void				_EndAwaySeats(bigtime_t now);

	// Callers
			Caller*				_CallerFor(Terminal* connection) const;
			Caller*				_CallerByID(int32 id) const;
			Caller*				_MemberFor(const BString& name) const;
			std::vector<int32>	_CallerIDs() const;
			void				_Say(Caller* caller, const std::string& text);
			// Tells the caller, finishes the connection and forgets the
			// caller.
			void				_Drop(Caller* caller, const std::string& text,
									SeatAfterDrop after
										= SeatAfterDrop::kKeptForTheGrace,
									CallEnd end = CallEnd::kFailure);
			void				_Log(Caller* caller, const BString& line);
			void				_Forget(Caller* caller);
			// A call begins once the caller has a name on the board.
			void				_StartCall(Caller* caller);
			std::string			_NameLine(const Caller* caller) const;

			BoardSettings		fSettings;
			AccountStore&		fAccounts;
			BoardLink&			fLink;
			CallLog*			fCallLog = NULL;
			LoginLimits			fLimits;
			int32				fNextCallerID = 1;
			std::map<int32, std::unique_ptr<Caller>> fCallers;
			std::map<Terminal*, int32> fConnections;
			// By the name's key (its lower case).
			std::map<std::string, int32> fMembers;
			std::map<std::string, std::unique_ptr<Seat>> fSeats;
			// The sysop's spies and chats, by the caller's ID, and those
			// who wait for a page, the first first.
			struct Watcher {
				int32			caller = 0;
				bool			chat = false;
				int32			column = 0;	// of the chat's line
			};
			std::map<Onlooker*, Watcher> fWatchers;
			std::vector<Onlooker*> fPageWaiters;
			DayTally			fLogins;
			RateMeter			fKeys;
			RateMeter			fExchanges;
};

