#pragma once

#include "BoardSettings.h"
#include "DayTally.h"

#include <deque>
#include <map>
#include <string>

// The board's limits on logging in, the same on every way in: how many
// callers the board takes, how many callers of one address may be logging
// in at once, the pause after each wrong password and the number of tries,
// and the lock of a name that failed too often within the window, whatever
// the address it was tried from. The board counts its callers and asks;
// the limits keep only the failures and locks, by the name's key (or the
// key of the address another board calls from). Runs on the host's looper
// with the board.
class LoginLimits {
public:
	explicit					LoginLimits(const BoardSettings& settings);

	// Admission
	enum class Admission {
		kAdmitted,
		kBoardFull,
		kTooManyFromAddress,
	};
	// The callers on the board, the new one among them, and those of the
	// new one's address still logging in besides it.
	[[nodiscard]] Admission		Admit(int32 callers,
									int32 loggingInFromAddress) const;
	[[nodiscard]] bool			IsFull(int32 callers) const
									{ return callers > fSettings.maxCallers; }

	// Wrong passwords of one call
			bigtime_t			PauseAfter(int32 wrongPasswords) const;
	[[nodiscard]] bool			TriesUsedUp(int32 wrongPasswords) const
									{ return wrongPasswords
										>= fSettings.maxPasswordTries; }

	// Failures of a name, whatever the call
	[[nodiscard]] bool			IsLocked(const std::string& nameKey,
									bigtime_t now);
	// A guess of the name's password about to be checked. The lock is
	// decided here, not when the name was typed: a caller who waited at
	// the password's question while other connections used up the name's
	// tries is refused unchecked. A check still under way counts as a
	// failure until its verdict comes, so that many guesses sent at once
	// cannot all be checked before the first of them fails. False: the
	// guess is refused unchecked. Each true is ended by CheckEnded, once
	// the verdict came (Failed or Succeeded follows) or its caller left.
	[[nodiscard]] bool			CheckStarting(const std::string& nameKey,
									bigtime_t now);
			void				CheckEnded(const std::string& nameKey);
			int32				ChecksUnderWay(const std::string& nameKey)
									const;
	// Counts a wrong password for the name; true when this one locked it.
			bool				Failed(const std::string& nameKey,
									bigtime_t now);
	// A refused call of the key (another board's handshake from an
	// address): each handshake is a call of its own, so the pause its
	// refusal waits out grows with the key's failures within the window, as
	// one call's pause grows with its wrong passwords. It counts and locks
	// as a wrong password does.
	struct Refusal {
		bigtime_t		pause = 0;
		bool			locked = false;		// this refusal locked the key
	};
	[[nodiscard]] Refusal		CallRefused(const std::string& key,
									bigtime_t now);
			int32				LockFailures() const
									{ return fSettings.lockFailures; }
			void				Succeeded(const std::string& nameKey);

	// For the sysop: the keys locked now, and the failures of the day
	// (wrong passwords and refused handshakes).
	[[nodiscard]] int32			CountLocked(bigtime_t now) const;
	[[nodiscard]] int32			FailuresOn(int32 day) const
									{ return fFailuresOfDay.Count(day); }

private:
	// The failures of the key within the window, this one among them; the
	// key is locked when they reach the limit.
			int32				_CountFailure(const std::string& key,
									bigtime_t now);
	// The failures of the key within the window, older ones forgotten.
			int32				_RecentFailures(const std::string& key,
									bigtime_t now);

			BoardSettings		fSettings;
			std::map<std::string, std::deque<bigtime_t>> fFailures;
			std::map<std::string, bigtime_t> fLockedUntil;
			DayTally			fFailuresOfDay;
			std::map<std::string, int32> fChecking;
};
