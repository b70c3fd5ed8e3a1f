#pragma once

#include <Messenger.h>
#include <OS.h>
#include <String.h>

#include <map>
#include <mutex>
#include <set>

#define kDoorSignature		"application/x-vnd.Zenbo.VraskApp"

// Brings users into the door: starts the door program when its application
// is not running, sends the start message and finds the session thread that
// the answer names. Entering runs on the host's entrance thread, never on
// the host's looper, because the door's new session asks the host for keys
// and shows texts before the door answers the start message. Launches are
// serialised, so that users arriving together share one door process. The
// host's looper reaps the door processes that this object started.
class DoorLauncher {
public:
	explicit					DoorLauncher(const BString& doorProgram);
								DoorLauncher(const DoorLauncher&) = delete;
			DoorLauncher&		operator=(const DoorLauncher&) = delete;

			const BString&		DoorProgram() const { return fDoorProgram; }

	// Entering (on the entrance thread). On B_OK the door has taken the user:
	// threadName is the session's, and *found says whether session names
	// its running thread (a session can end before it is looked up). On an
	// error, a message for the user.
			status_t			EnterDoor(const BString& userName,
									BString* threadName, named_thread* session,
									bool* found, BString* error);

	// Door processes (on the host's looper)
			void				ReapDoors();
			// Whether the team is a door process of ours that has died of a
			// signal or failed. Reaps it when it has ended.
			bool				DiedAbnormally(team_id team);
	// Whether a door process of ours still runs (not yet reaped).
			bool				HasRunningDoors();
	// Sends the signal to every door process of ours that still runs.
			void				SignalDoors(int signalNumber);
	// A door that dies closes its sessions' descriptions a moment before
	// it can be reaped. Called (off the looper) when a session has ended:
	// waits a short while until the door's process is reapable, so that
	// DiedAbnormally can tell a killed door from a session that ended; a
	// door that runs on costs the whole short while.
	static	void				WaitWhileEnding(team_id team);

private:
			status_t			_FindOrLaunchDoor(BMessenger* door,
									BString* error);
			status_t			_Launch(pid_t* pid, BString* error);
			bool				_HasEnded(pid_t pid, int* waitStatus);
			void				_WaitUntilGone(team_id team);

			BString				fDoorProgram;
			// Held while a door is looked for and, if need be, launched.
			std::mutex			fLaunchLock;
			// Guards fRunning and fEnded: the entrance checks its launch,
			// the looper reaps.
			std::mutex			fProcessLock;
			std::set<pid_t>		fRunning;
			std::map<pid_t, int> fEnded;
};
