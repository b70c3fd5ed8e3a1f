#pragma once

#include <Looper.h>
#include <OS.h>
#include <String.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class DoorLauncher;

// The host's slow work, off its looper: two threads for the whole host, not
// one per caller. The entrance enters the door for one seat after the
// other (the door's new session exchanges keys and texts with the looper
// before the door answers, so this cannot run there) and watches every
// running session for its end; the password worker hashes and checks
// passwords (Argon2id takes a noticeable time and memory, and one login
// must never hold up the keys of others). Both report by posting a message
// to the looper. The destructor stops and joins them; the looper must not
// be locked by the destroying thread while a job waits for it, which holds
// since no job locks the looper.
class HostWorkers {
public:
								HostWorkers(BLooper* looper,
									DoorLauncher& launcher);
								HostWorkers(const HostWorkers&) = delete;
			HostWorkers&		operator=(const HostWorkers&) = delete;
								~HostWorkers();

	// Posts kMsgSeatEntered ("seat", "status", "error", "thread", "team")
	// and, once the session has ended, kMsgSeatEnded ("seat", "team").
			void				EnterDoor(int32 seat, const BString& userName);
	// Posts kMsgPasswordHashed ("caller", "hash", empty on failure).
			void				HashPassword(int32 caller,
									const std::string& password);
	// Posts kMsgPasswordChecked ("caller", "matches").
			void				CheckPassword(int32 caller,
									const std::string& hash,
									const std::string& password);

	// Stops both threads; a session still running is no longer watched.
			void				Stop();

private:
			struct Watched {
				int32			seat;
				named_thread	session;
			};

			void				_RunEntrance();
			// Reports the sessions that have ended since the last look.
			void				_LookAtSessions();
			// Reports the end of fWatched[index] and stops watching it; a
			// session that withdrew its own entry ended by itself, else its
			// door may have died.
			void				_SessionEnded(size_t index, bool withdrew);
			void				_RunPasswords();

			BLooper*			fLooper;
			DoorLauncher&		fLauncher;
			std::mutex			fLock;
			std::condition_variable fChanged;
			bool				fStopping = false;
			// Guarded by fLock.
			std::deque<std::pair<int32, BString>> fEntries;
			std::deque<std::function<void()>> fPasswordJobs;
			// The entrance thread's own.
			std::vector<Watched> fWatched;
			size_t				fNextWatched = 0;
			bigtime_t			fLastLook = 0;
			// Tells of the sessions' entries that go (see
			// open_named_thread_ends); -1 when it could not be opened, and
			// every session is looked at in turn instead.
			int					fEnds = -1;
			std::thread			fEntrance;
			std::thread			fPasswords;
};

enum {
	kMsgSeatEntered = 'Hent',
	kMsgSeatEnded = 'Hend',
	kMsgPasswordHashed = 'Hphs',
	kMsgPasswordChecked = 'Hpck',
};
