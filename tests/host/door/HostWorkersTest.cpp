#include "HostWorkers.h"

#include "DoorLauncher.h"
#include "PasswordHash.h"

#include <Message.h>

#include <gtest/gtest.h>

#include <string.h>

#include <condition_variable>
#include <memory>
#include <mutex>


namespace {

// A looper that keeps a copy of every report the workers post to it.
class ReportLooper : public BLooper {
public:
	ReportLooper() : BLooper("workers' reports") {}

	void MessageReceived(BMessage* message) override
	{
		std::lock_guard<std::mutex> lock(fLock);
		fReports.push_back(*message);
		fArrived.notify_all();
	}

	// Waits (at most ten seconds: Argon2id is slow on purpose) for the
	// next report.
	bool NextReport(BMessage* report)
	{
		std::unique_lock<std::mutex> lock(fLock);
		if (!fArrived.wait_for(lock, std::chrono::seconds(10),
				[this] { return fTaken < fReports.size(); }))
			return false;
		*report = fReports[fTaken++];
		return true;
	}

private:
	std::mutex fLock;
	std::condition_variable fArrived;
	std::vector<BMessage> fReports;
	size_t fTaken = 0;
};


class HostWorkersTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fLooper.Run();
		fWorkers = std::make_unique<HostWorkers>(&fLooper, fLauncher);
	}

	void TearDown() override
	{
		fWorkers.reset();
		fLooper.Quit();
	}

	ReportLooper fLooper;
	DoorLauncher fLauncher{"/nonexistent/door"};
	std::unique_ptr<HostWorkers> fWorkers;
};

}	// namespace


TEST_F(HostWorkersTest, HashIsReportedForItsCallerAndMatchesThePassword)
{
	fWorkers->HashPassword(17, "correct horse");
	BMessage report;
	ASSERT_TRUE(fLooper.NextReport(&report));
	EXPECT_EQ(uint32(kMsgPasswordHashed), report.what);
	int32 caller = 0;
	BString hash;
	EXPECT_EQ(B_OK, report.FindInt32("caller", &caller));
	EXPECT_EQ(B_OK, report.FindString("hash", &hash));
	EXPECT_EQ(17, caller);
	EXPECT_EQ(0, strncmp(hash.String(), "$argon2id$", 10)) << hash.String();
	EXPECT_TRUE(CheckPassword(hash.String(), "correct horse"));
}


TEST_F(HostWorkersTest, ChecksAreReportedInTheOrderAsked)
{
	std::string hash;
	ASSERT_EQ(B_OK, HashPassword("correct horse", &hash));
	fWorkers->CheckPassword(3, hash, "wrong horse");
	fWorkers->CheckPassword(4, hash, "correct horse");
	for (int32 expected : {3, 4}) {
		BMessage report;
		ASSERT_TRUE(fLooper.NextReport(&report));
		EXPECT_EQ(uint32(kMsgPasswordChecked), report.what);
		int32 caller = 0;
		bool matches = true;
		report.FindInt32("caller", &caller);
		report.FindBool("matches", 0, &matches);
		EXPECT_EQ(expected, caller);
		EXPECT_EQ(expected == 4, matches);
	}
}


TEST_F(HostWorkersTest, BrokenHashNeverMatches)
{
	fWorkers->CheckPassword(5, "not a hash", "not a hash");
	fWorkers->CheckPassword(6, "!" + std::string("$argon2id$"), "");
	for (int32 expected : {5, 6}) {
		BMessage report;
		ASSERT_TRUE(fLooper.NextReport(&report));
		int32 caller = 0;
		bool matches = true;
		report.FindInt32("caller", &caller);
		report.FindBool("matches", 0, &matches);
		EXPECT_EQ(expected, caller);
		EXPECT_FALSE(matches);
	}
}


TEST_F(HostWorkersTest, StopWithWorkWaitingReturns)
{
	for (int32 caller = 0; caller < 20; caller++)
		fWorkers->HashPassword(caller, "a password of some length");
	bigtime_t start = system_time();
	fWorkers->Stop();
	// At most the job under way is finished; the rest are dropped.
	EXPECT_LT(system_time() - start, 5000000);
}
