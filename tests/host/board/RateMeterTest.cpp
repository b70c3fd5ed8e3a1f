#include "RateMeter.h"

#include <gtest/gtest.h>


static const bigtime_t kSecond = 1000000;


TEST(RateMeterTest, CountsOverTheLastMinutePerSecond)
{
	RateMeter meter;
	bigtime_t start = 1000 * kSecond;
	for (int i = 0; i < 30; i++)
		meter.Add(start + i * kSecond, 2);
	EXPECT_DOUBLE_EQ(1.0, meter.PerSecond(start + 29 * kSecond));
	// Thirty seconds later, only the second half is left.
	EXPECT_DOUBLE_EQ(0.5, meter.PerSecond(start + 74 * kSecond));
}


TEST(RateMeterTest, QuietStretchLeavesNoOldCountsBehind)
{
	RateMeter meter;
	meter.Add(10 * kSecond, 600);
	EXPECT_DOUBLE_EQ(10.0, meter.PerSecond(10 * kSecond));
	// The ring's slot for second 10 is reused 60 seconds on, and again
	// after a long silence.
	meter.Add(70 * kSecond, 6);
	EXPECT_DOUBLE_EQ(0.1, meter.PerSecond(70 * kSecond));
	meter.Add(7000 * kSecond, 60);
	EXPECT_DOUBLE_EQ(1.0, meter.PerSecond(7000 * kSecond));
	EXPECT_DOUBLE_EQ(0.0, meter.PerSecond(7100 * kSecond));
}
