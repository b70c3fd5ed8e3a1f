#include <OS.h>

#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "Gate.h"
#include "OpenDescriptors.h"
#include "TestVolume.h"


namespace {

status_t
WaitAtGate(void* data)
{
	static_cast<Gate*>(data)->Wait();
	return 3;
}


status_t
ReturnItsArgument(void* data)
{
	return (status_t)(intptr_t)data;
}

}	// namespace


TEST(ThreadTest, SpawnedThreadRunsOnlyOnceResumed)
{
	TestVolume volume;
	std::atomic<bool> ran{false};
	thread_id thread = spawn_thread([](void* data) -> status_t {
		static_cast<std::atomic<bool>*>(data)->store(true);
		return 0;
	}, "waiting", B_NORMAL_PRIORITY, &ran);
	ASSERT_GT(thread, 0);

	// Not synchronisation: a thread started too early gets the time to show it.
	snooze(20000);
	EXPECT_FALSE(ran);

	EXPECT_EQ(B_OK, resume_thread(thread));
	EXPECT_EQ(B_NOT_ALLOWED, resume_thread(thread));
	status_t result = -1;
	EXPECT_EQ(B_OK, wait_for_thread(thread, &result));
	EXPECT_TRUE(ran);
}


TEST(ThreadTest, WaitForThreadGivesTheReturnedStatus)
{
	TestVolume volume;
	thread_id thread = spawn_thread(ReturnItsArgument, "answer",
		B_NORMAL_PRIORITY, (void*)(intptr_t)-1234);
	ASSERT_GT(thread, 0);
	resume_thread(thread);
	status_t result = 0;
	ASSERT_EQ(B_OK, wait_for_thread(thread, &result));
	EXPECT_EQ(-1234, result);

	// An ended thread's status can still be asked for.
	result = 0;
	EXPECT_EQ(B_OK, wait_for_thread(thread, &result));
	EXPECT_EQ(-1234, result);
}


TEST(ThreadTest, WaitingForANeverResumedThreadStartsIt)
{
	TestVolume volume;
	thread_id thread = spawn_thread(ReturnItsArgument, "never resumed",
		B_NORMAL_PRIORITY, (void*)(intptr_t)5);
	ASSERT_GT(thread, 0);
	status_t result = 0;
	ASSERT_EQ(B_OK, wait_for_thread(thread, &result));
	EXPECT_EQ(5, result);
}


TEST(ThreadTest, UnknownThreadsAreReported)
{
	EXPECT_EQ(B_BAD_THREAD_ID, resume_thread(-5));
	status_t result;
	EXPECT_EQ(B_BAD_THREAD_ID, wait_for_thread(-5, &result));
	char name[32];
	EXPECT_EQ(B_BAD_THREAD_ID, get_thread_name(-5, name, sizeof(name)));
	EXPECT_EQ(B_NAME_NOT_FOUND, find_thread("nobody has this name"));
	EXPECT_EQ(B_BAD_VALUE, spawn_thread(nullptr, "x", B_NORMAL_PRIORITY, nullptr));
}


TEST(ThreadTest, LongNameIsKeptWhole)
{
	TestVolume volume;
	const std::string name = "A user with a rather long board name.Drelmoor";
	Gate gate;
	thread_id thread = spawn_thread(WaitAtGate, name.c_str(), 10, &gate);
	ASSERT_GT(thread, 0);
	resume_thread(thread);

	char buffer[128];
	ASSERT_EQ(B_OK, get_thread_name(thread, buffer, sizeof(buffer)));
	EXPECT_EQ(name, buffer);
	EXPECT_EQ(thread, find_thread(name.c_str()));
	EXPECT_EQ(B_NAME_NOT_FOUND, find_thread(name.substr(0, 15).c_str()));

	// Linux holds the first 15 bytes, which is what ps and gdb show.
	char linuxName[16] = {};
	std::string comm = "/proc/self/task/" + std::to_string(thread) + "/comm";
	FILE* file = fopen(comm.c_str(), "r");
	ASSERT_NE(nullptr, file);
	ASSERT_NE(nullptr, fgets(linuxName, sizeof(linuxName), file));
	fclose(file);
	EXPECT_EQ(name.substr(0, 15), linuxName);

	gate.Open();
	wait_for_thread(thread, nullptr);
	EXPECT_EQ(B_NAME_NOT_FOUND, find_thread(name.c_str()));
	EXPECT_EQ(B_BAD_THREAD_ID, get_thread_name(thread, buffer, sizeof(buffer)));
}


TEST(ThreadTest, ShortBufferGetsATruncatedNameAndAnError)
{
	TestVolume volume;
	Gate gate;
	thread_id thread = spawn_thread(WaitAtGate, "Rook.Drelmoor", 10, &gate);
	ASSERT_GT(thread, 0);
	char buffer[5];
	EXPECT_EQ(B_NAME_TOO_LONG, get_thread_name(thread, buffer, sizeof(buffer)));
	EXPECT_STREQ("Rook", buffer);
	gate.Open();
	wait_for_thread(thread, nullptr);
}


TEST(ThreadTest, FindThreadWithoutNameIsTheCaller)
{
	TestVolume volume;
	thread_id thread = spawn_thread([](void*) -> status_t {
		return find_thread(nullptr);
	}, "who am I", B_NORMAL_PRIORITY, nullptr);
	ASSERT_GT(thread, 0);
	resume_thread(thread);
	status_t result = 0;
	wait_for_thread(thread, &result);
	EXPECT_EQ(thread, result);
	EXPECT_EQ(current_team(), (team_id)getpid());
}


namespace {

struct ExitRecord {
	std::atomic<bool> destructorRan{false};
	std::atomic<bool> continuedAfterExit{false};
};

struct SetOnDestruction {
	std::atomic<bool>& flag;
	~SetOnDestruction() { flag = true; }
};

void
EndFromDeepInside(ExitRecord* record)
{
	SetOnDestruction inner{ record->destructorRan };
	exit_thread(42);
}

status_t
ExitEarly(void* data)
{
	auto* record = static_cast<ExitRecord*>(data);
	EndFromDeepInside(record);
	record->continuedAfterExit = true;
	return 0;
}

}	// namespace


TEST(ThreadTest, ExitThreadEndsOnlyTheCallerAndRunsDestructors)
{
	TestVolume volume;
	Gate gate;
	thread_id bystander = spawn_thread(WaitAtGate, "bystander", 10, &gate);
	ExitRecord record;
	thread_id leaving = spawn_thread(ExitEarly, "leaving", 10, &record);
	ASSERT_GT(bystander, 0);
	ASSERT_GT(leaving, 0);
	resume_thread(bystander);
	resume_thread(leaving);

	status_t result = 0;
	ASSERT_EQ(B_OK, wait_for_thread(leaving, &result));
	EXPECT_EQ(42, result);
	EXPECT_TRUE(record.destructorRan);
	EXPECT_FALSE(record.continuedAfterExit);

	// The other thread, and this one, go on.
	char name[32];
	EXPECT_EQ(B_OK, get_thread_name(bystander, name, sizeof(name)));
	gate.Open();
	ASSERT_EQ(B_OK, wait_for_thread(bystander, &result));
	EXPECT_EQ(3, result);
}


TEST(ThreadTest, WaitForSpawnedThreadsSeesThemEnd)
{
	TestVolume volume;
	Gate gate;
	thread_id thread = spawn_thread(WaitAtGate, "session", 10, &gate);
	ASSERT_GT(thread, 0);
	// Never resumed: it can never end, so it is not waited for.
	thread_id idle = spawn_thread(WaitAtGate, "idle", 10, &gate);
	ASSERT_GT(idle, 0);
	EXPECT_EQ(B_OK, wait_for_spawned_threads(0));

	resume_thread(thread);
	EXPECT_EQ(B_TIMED_OUT, wait_for_spawned_threads(10000));
	gate.Open();
	EXPECT_EQ(B_OK, wait_for_spawned_threads(10000000));
	EXPECT_EQ(B_OK, wait_for_thread(idle, nullptr));
}


TEST(ThreadTest, ManyThreadsThatNobodyWaitsForAreReleased)
{
	TestVolume volume;
	int descriptors = CountOpenDescriptors();
	for (int i = 0; i < 300; i++) {
		thread_id thread = spawn_thread(ReturnItsArgument, "brief",
			B_NORMAL_PRIORITY, nullptr);
		ASSERT_GT(thread, 0) << "spawn " << i << ": " << strerror_status(thread);
		resume_thread(thread);
	}
	ASSERT_EQ(B_OK, wait_for_spawned_threads(30000000));
	// Their listing entries went with them, descriptors included.
	EXPECT_EQ(descriptors, CountOpenDescriptors());
	EXPECT_EQ(0, find_named_threads("brief", nullptr, 0));
}
