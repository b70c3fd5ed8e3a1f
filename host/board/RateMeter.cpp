#include "RateMeter.h"


void
RateMeter::Add(bigtime_t now, int64 count)
{
	int64 second = now / 1000000;
	_Forget(second);
	fCounts[(size_t)(second % kSeconds)] += count;
}


double
RateMeter::PerSecond(bigtime_t now) const
{
	int64 second = now / 1000000;
	int64 total = 0;
	for (int64 past = second - kSeconds + 1; past <= second; past++) {
		// Only the seconds the ring still holds, none ahead of it.
		if (past > fNewest || past <= fNewest - kSeconds || past < 0)
			continue;
		total += fCounts[(size_t)(past % kSeconds)];
	}
	return (double)total / kSeconds;
}


// Clears the seconds between the newest count and this one: a quiet
// stretch leaves no old counts behind.
void
RateMeter::_Forget(int64 second)
{
	if (second <= fNewest)
		return;
	if (second - fNewest >= kSeconds)
		fCounts.fill(0);
	else {
		for (int64 past = fNewest + 1; past <= second; past++)
			fCounts[(size_t)(past % kSeconds)] = 0;
	}
	fNewest = second;
}
