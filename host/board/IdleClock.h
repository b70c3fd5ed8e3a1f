#pragma once

#include <SupportDefs.h>

// How long a caller has typed nothing, and what the board does about it: a
// caller idle for the whole idle time is disconnected, after one warning a
// little before (the warning time, or half the idle time when that is
// shorter). Every key starts the clock again and takes the warning back.
class IdleClock {
public:
	enum class Verdict {
		kNothing,
		kWarn,
		kDisconnect,
	};

	explicit					IdleClock(bigtime_t now) : fLastKey(now) {}

			void				KeyTyped(bigtime_t now);
			bigtime_t			Idle(bigtime_t now) const
									{ return now - fLastKey; }
	// Warns once; the caller is told what the verdict says.
	[[nodiscard]] Verdict		Tick(bigtime_t now, bigtime_t limit,
									bigtime_t warning);

private:
			bigtime_t			fLastKey;
			bool				fWarned = false;
};
