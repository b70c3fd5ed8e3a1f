#include "IdleClock.h"

#include <gtest/gtest.h>


namespace {

const bigtime_t kSecond = 1000000;

}	// namespace


TEST(IdleClockTest, WarnsOnceAMinuteBeforeTheEndThenDisconnects)
{
	IdleClock clock(0);
	const bigtime_t limit = 600 * kSecond;
	const bigtime_t warning = 60 * kSecond;
	EXPECT_EQ(IdleClock::Verdict::kNothing,
		clock.Tick(540 * kSecond - 1, limit, warning));
	EXPECT_EQ(IdleClock::Verdict::kWarn,
		clock.Tick(540 * kSecond, limit, warning));
	EXPECT_EQ(IdleClock::Verdict::kNothing,
		clock.Tick(599 * kSecond, limit, warning));
	EXPECT_EQ(IdleClock::Verdict::kDisconnect,
		clock.Tick(600 * kSecond, limit, warning));
}


TEST(IdleClockTest, ShortIdleTimeWarnsHalfWay)
{
	IdleClock clock(0);
	EXPECT_EQ(IdleClock::Verdict::kNothing,
		clock.Tick(49 * kSecond, 100 * kSecond, 60 * kSecond));
	EXPECT_EQ(IdleClock::Verdict::kWarn,
		clock.Tick(50 * kSecond, 100 * kSecond, 60 * kSecond));
}


TEST(IdleClockTest, KeyStartsTheClockAgainAndTakesTheWarningBack)
{
	IdleClock clock(0);
	ASSERT_EQ(IdleClock::Verdict::kWarn,
		clock.Tick(50 * kSecond, 100 * kSecond, 60 * kSecond));
	clock.KeyTyped(60 * kSecond);
	EXPECT_EQ(10 * kSecond, clock.Idle(70 * kSecond));
	EXPECT_EQ(IdleClock::Verdict::kNothing,
		clock.Tick(109 * kSecond, 100 * kSecond, 60 * kSecond));
	EXPECT_EQ(IdleClock::Verdict::kWarn,
		clock.Tick(110 * kSecond, 100 * kSecond, 60 * kSecond));
	EXPECT_EQ(IdleClock::Verdict::kDisconnect,
		clock.Tick(160 * kSecond, 100 * kSecond, 60 * kSecond));
}
