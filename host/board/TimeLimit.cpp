#include "TimeLimit.h"

#include <stdio.h>


static const bigtime_t kMinute = 60000000;
// The warnings' times, from the earliest; a caller who starts with less
// time than one is only told the last that fits.
static const int32 kWarningMinutes[] = { 5, 2, 1 };
static const int32 kWarningCount
	= (int32)(sizeof(kWarningMinutes) / sizeof(kWarningMinutes[0]));


void
TimeLimit::Start(bigtime_t now, bigtime_t timeLeft)
{
	fDeadline = timeLeft < 0 ? -1 : now + timeLeft;
	fEnded = false;
	// "5 minutes left" is no warning for a caller who has 3.
	fWarned = 0;
	while (fWarned < kWarningCount
		&& kWarningMinutes[fWarned] * kMinute > timeLeft) {
		fWarned++;
	}
}


bigtime_t
TimeLimit::TimeLeft(bigtime_t now) const
{
	if (fDeadline < 0)
		return -1;
	return fDeadline > now ? fDeadline - now : 0;
}


TimeLimit::Due
TimeLimit::Check(bigtime_t now, std::string* warning)
{
	if (fDeadline < 0 || fEnded)
		return Due::kNothing;
	bigtime_t left = TimeLeft(now);
	if (left <= 0) {
		fEnded = true;
		return Due::kEnd;
	}
	int32 due = -1;
	for (int32 i = fWarned; i < kWarningCount; i++) {
		if (left <= kWarningMinutes[i] * kMinute)
			due = i;
	}
	if (due < 0)
		return Due::kNothing;
	fWarned = due + 1;
	char text[64];
	snprintf(text, sizeof(text), "You have %d %s left.",
		(int)kWarningMinutes[due], kWarningMinutes[due] == 1 ? "minute"
			: "minutes");
	*warning = text;
	return Due::kWarning;
}
