#include "TimeLimit.h"

#include <gtest/gtest.h>


static const bigtime_t kSecond = 1000000;


TEST(TimeLimitTest, WarnsAtFiveTwoAndOneMinutesThenEnds)
{
	TimeLimit limit;
	limit.Start(0, 6 * 60 * kSecond);
	std::string warning;
	EXPECT_EQ(TimeLimit::Due::kNothing, limit.Check(59 * kSecond, &warning));
	EXPECT_EQ(TimeLimit::Due::kWarning, limit.Check(60 * kSecond, &warning));
	EXPECT_EQ("You have 5 minutes left.", warning);
	EXPECT_EQ(TimeLimit::Due::kNothing, limit.Check(61 * kSecond, &warning));
	EXPECT_EQ(TimeLimit::Due::kWarning, limit.Check(240 * kSecond,
		&warning));
	EXPECT_EQ("You have 2 minutes left.", warning);
	EXPECT_EQ(TimeLimit::Due::kWarning, limit.Check(300 * kSecond,
		&warning));
	EXPECT_EQ("You have 1 minute left.", warning);
	EXPECT_EQ(30 * kSecond, limit.TimeLeft(330 * kSecond));
	EXPECT_EQ(TimeLimit::Due::kEnd, limit.Check(360 * kSecond, &warning));
	EXPECT_EQ(TimeLimit::Due::kNothing, limit.Check(361 * kSecond, &warning));
	EXPECT_EQ(0, limit.TimeLeft(400 * kSecond));
}


TEST(TimeLimitTest, ArrivingLateGivesOnlyTheWarningThatFits)
{
	TimeLimit limit;
	limit.Start(0, 60 * kSecond);
	std::string warning;
	EXPECT_EQ(TimeLimit::Due::kWarning, limit.Check(0, &warning));
	EXPECT_EQ("You have 1 minute left.", warning);
	EXPECT_EQ(TimeLimit::Due::kNothing, limit.Check(kSecond, &warning));
}


TEST(TimeLimitTest, NegativeTimeIsNoLimit)
{
	TimeLimit limit;
	limit.Start(0, -1);
	std::string warning;
	EXPECT_FALSE(limit.IsLimited());
	EXPECT_EQ(-1, limit.TimeLeft(0));
	EXPECT_EQ(TimeLimit::Due::kNothing, limit.Check(1000 * 60 * kSecond,
		&warning));
}
