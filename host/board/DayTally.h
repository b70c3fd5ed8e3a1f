#pragma once

#include <SupportDefs.h>

#include <time.h>

// A count that starts again each local day (logins today, failed logins
// today): it remembers the day it counts and forgets the count when a
// later one comes. The day is passed in, so the board's tests choose it.
class DayTally {
public:
			void				Add(int32 day)
									{ _Turn(day); fCount++; }
	[[nodiscard]] int32			Count(int32 day) const
									{ return day == fDay ? fCount : 0; }

	// Today on the local calendar, as a number that grows by one a day.
	static	int32				Today()
									{
										time_t now = time(NULL);
										struct tm local;
										localtime_r(&now, &local);
										return (local.tm_year + 1900) * 400
											+ local.tm_yday;
									}

private:
			void				_Turn(int32 day)
									{
										if (day != fDay) {
											fDay = day;
											fCount = 0;
										}
									}

			int32				fDay = -1;
			int32				fCount = 0;
};
