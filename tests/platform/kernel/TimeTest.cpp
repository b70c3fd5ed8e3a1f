#include <OS.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include "TestVolume.h"


TEST(TimeTest, FrozenClockStandsStill)
{
	FrozenClock clock(1700000000);
	EXPECT_EQ(1700000000u, real_time_clock());
	EXPECT_EQ((bigtime_t)1700000000 * 1000000, real_time_clock_usecs());
	snooze(1000);
	EXPECT_EQ(1700000000u, real_time_clock());
	EXPECT_EQ((bigtime_t)1700000000 * 1000000, real_time_clock_usecs());
}


TEST(TimeTest, FrozenClockTakesTheWholeRangeOfSeconds)
{
	FrozenClock clock(4294967295u);
	EXPECT_EQ(4294967295u, real_time_clock());
	EXPECT_EQ((bigtime_t)4294967295u * 1000000, real_time_clock_usecs());
}


TEST(TimeTest, ClockRunsWithoutAUsableBootClock)
{
	for (const char* value : { "", "soon", "12abc", "-5", "99999999999" }) {
		FrozenClock clock(0);
		setenv("BOOT_CLOCK", value, 1);
		time_t before = time(nullptr);
		uint32 now = real_time_clock();
		EXPECT_GE((time_t)now, before) << "BOOT_CLOCK=" << value;
		EXPECT_GE(real_time_clock_usecs(), (bigtime_t)before * 1000000)
			<< "BOOT_CLOCK=" << value;
	}
}


TEST(TimeTest, ClockReturnsAfterTheFreeze)
{
	time_t before = time(nullptr);
	{
		FrozenClock clock(5);
		EXPECT_EQ(5u, real_time_clock());
	}
	EXPECT_GE((time_t)real_time_clock(), before);
}


TEST(TimeTest, SnoozeRefusesNegativeTimes)
{
	EXPECT_EQ(B_BAD_VALUE, snooze(-1));
	EXPECT_EQ(B_OK, snooze(0));
}
