#include "IdleClock.h"

#include <algorithm>


void
IdleClock::KeyTyped(bigtime_t now)
{
	fLastKey = now;
	fWarned = false;
}


IdleClock::Verdict
IdleClock::Tick(bigtime_t now, bigtime_t limit, bigtime_t warning)
{
	bigtime_t idle = Idle(now);
	if (idle >= limit)
		return Verdict::kDisconnect;
	if (!fWarned && idle >= limit - std::min(warning, limit / 2)) {
		fWarned = true;
		return Verdict::kWarn;
	}
	return Verdict::kNothing;
}
