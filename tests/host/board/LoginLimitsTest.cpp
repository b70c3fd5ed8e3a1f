#include "LoginLimits.h"

#include <gtest/gtest.h>


namespace {

const bigtime_t kSecond = 1000000;
const bigtime_t kStart = 1000 * kSecond;


BoardSettings
Settings()
{
	BoardSettings settings;
	settings.maxCallers = 3;
	settings.maxUnknownPerAddress = 2;
	settings.failureDelay = kSecond;
	settings.maxPasswordTries = 3;
	settings.lockFailures = 4;
	settings.lockWindow = 60 * kSecond;
	return settings;
}

}	// namespace


TEST(LoginLimitsTest, NameFailingOftenWithinTheWindowIsLockedForAsLong)
{
	LoginLimits limits(Settings());
	for (int i = 0; i < 3; i++)
		EXPECT_FALSE(limits.Failed("ash", kStart + i * kSecond));
	EXPECT_FALSE(limits.IsLocked("ash", kStart + 3 * kSecond));
	EXPECT_TRUE(limits.Failed("ash", kStart + 3 * kSecond));
	EXPECT_TRUE(limits.IsLocked("ash", kStart + 62 * kSecond));
	// Another name is no business of this one's lock.
	EXPECT_FALSE(limits.IsLocked("birch", kStart + 4 * kSecond));
	EXPECT_FALSE(limits.IsLocked("ash", kStart + 63 * kSecond));
}


TEST(LoginLimitsTest, FailuresOlderThanTheWindowNoLongerCount)
{
	LoginLimits limits(Settings());
	bigtime_t now = kStart;
	// Three in every window, never four: the oldest has always run out.
	for (int i = 0; i < 12; i++) {
		EXPECT_FALSE(limits.Failed("ash", now)) << i;
		now += 21 * kSecond;
	}
	EXPECT_FALSE(limits.IsLocked("ash", now));
}


TEST(LoginLimitsTest, RightPasswordForgetsTheFailures)
{
	LoginLimits limits(Settings());
	for (int i = 0; i < 3; i++)
		limits.Failed("ash", kStart);
	limits.Succeeded("ash");
	for (int i = 0; i < 3; i++)
		EXPECT_FALSE(limits.Failed("ash", kStart + kSecond));
	EXPECT_TRUE(limits.Failed("ash", kStart + kSecond));
}


TEST(LoginLimitsTest, LockStartsAfreshWithTheFailuresAfterIt)
{
	LoginLimits limits(Settings());
	for (int i = 0; i < 4; i++)
		limits.Failed("ash", kStart);
	bigtime_t later = kStart + 61 * kSecond;
	ASSERT_FALSE(limits.IsLocked("ash", later));
	// The failures that locked it are spent.
	EXPECT_FALSE(limits.Failed("ash", later));
	EXPECT_FALSE(limits.IsLocked("ash", later));
}


TEST(LoginLimitsTest, PauseDoublesAfterEachWrongPasswordUntilTheTriesRunOut)
{
	LoginLimits limits(Settings());
	EXPECT_EQ(0, limits.PauseAfter(0));
	EXPECT_EQ(kSecond, limits.PauseAfter(1));
	EXPECT_EQ(2 * kSecond, limits.PauseAfter(2));
	EXPECT_EQ(4 * kSecond, limits.PauseAfter(3));
	EXPECT_FALSE(limits.TriesUsedUp(2));
	EXPECT_TRUE(limits.TriesUsedUp(3));
}


TEST(LoginLimitsTest, AdmissionCountsTheBoardThenTheAddress)
{
	LoginLimits limits(Settings());
	EXPECT_EQ(LoginLimits::Admission::kAdmitted, limits.Admit(3, 1));
	EXPECT_EQ(LoginLimits::Admission::kTooManyFromAddress,
		limits.Admit(3, 2));
	EXPECT_EQ(LoginLimits::Admission::kBoardFull, limits.Admit(4, 0));
	EXPECT_EQ(LoginLimits::Admission::kBoardFull, limits.Admit(4, 2));
}


TEST(LoginLimitsTest, RefusedCallsOfAKeyPauseLongerEachTimeThenLockIt)
{
	LoginLimits limits(Settings());
	const std::string key = "\1rlogin 192.0.2.9";
	// Each call is a call of its own: the pause grows with the key's
	// failures, no further than a call's last try.
	const bigtime_t pauses[] = { kSecond, 2 * kSecond, 4 * kSecond };
	for (bigtime_t pause : pauses) {
		LoginLimits::Refusal refusal = limits.CallRefused(key, kStart);
		EXPECT_EQ(pause, refusal.pause);
		EXPECT_FALSE(refusal.locked);
	}
	EXPECT_FALSE(limits.IsLocked(key, kStart));
	LoginLimits::Refusal last = limits.CallRefused(key, kStart);
	EXPECT_EQ(4 * kSecond, last.pause);
	EXPECT_TRUE(last.locked);
	EXPECT_TRUE(limits.IsLocked(key, kStart + 59 * kSecond));
	// A name's failures and another address's are apart from it.
	EXPECT_FALSE(limits.IsLocked("ash", kStart));
	EXPECT_FALSE(limits.IsLocked("\1rlogin 192.0.2.10", kStart));
	EXPECT_FALSE(limits.Failed("\1rlogin 192.0.2.10", kStart));
}


TEST(LoginLimitsTest, RefusedCallsOutsideTheWindowStartThePauseAgain)
{
	LoginLimits limits(Settings());
	const std::string key = "\1rlogin 192.0.2.9";
	EXPECT_EQ(kSecond, limits.CallRefused(key, kStart).pause);
	EXPECT_EQ(2 * kSecond, limits.CallRefused(key, kStart).pause);
	EXPECT_EQ(kSecond, limits.CallRefused(key, kStart + 61 * kSecond).pause);
}


TEST(LoginLimitsTest, ChecksUnderWayCountAsFailuresUntilTheirVerdict)
{
	LoginLimits limits(Settings());
	// Four tries of the name's allowance: the fifth guess sent at the same
	// moment is refused before any verdict came.
	for (int i = 0; i < 4; i++)
		EXPECT_TRUE(limits.CheckStarting("ash", kStart)) << i;
	EXPECT_FALSE(limits.CheckStarting("ash", kStart));
	EXPECT_EQ(4, limits.ChecksUnderWay("ash"));
	// Another name has its own allowance.
	EXPECT_TRUE(limits.CheckStarting("birch", kStart));

	// A caller who left gives the place back; a verdict of "wrong" keeps
	// it taken, as a failure.
	limits.CheckEnded("ash");
	EXPECT_TRUE(limits.CheckStarting("ash", kStart));
	for (int i = 0; i < 4; i++) {
		limits.CheckEnded("ash");
		limits.Failed("ash", kStart + kSecond);
	}
	EXPECT_EQ(0, limits.ChecksUnderWay("ash"));
	EXPECT_TRUE(limits.IsLocked("ash", kStart + kSecond));
	EXPECT_FALSE(limits.CheckStarting("ash", kStart + 60 * kSecond));
	EXPECT_TRUE(limits.CheckStarting("ash", kStart + 62 * kSecond));
}


TEST(LoginLimitsTest, ChecksOfANameAllowedAgainAsItsFailuresGrowOld)
{
	LoginLimits limits(Settings());
	for (int i = 0; i < 3; i++) {
		ASSERT_TRUE(limits.CheckStarting("ash", kStart));
		limits.CheckEnded("ash");
		limits.Failed("ash", kStart);
	}
	ASSERT_TRUE(limits.CheckStarting("ash", kStart + kSecond));
	EXPECT_FALSE(limits.CheckStarting("ash", kStart + kSecond));
	// Past the window the three failures no longer count.
	EXPECT_TRUE(limits.CheckStarting("ash", kStart + 61 * kSecond));
	EXPECT_EQ(2, limits.ChecksUnderWay("ash"));
}
