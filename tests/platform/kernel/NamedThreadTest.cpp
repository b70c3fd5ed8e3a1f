#include <OS.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <string>

#include "ChildProcess.h"
#include "Gate.h"
#include "OpenDescriptors.h"
#include "TestVolume.h"


namespace {

const bigtime_t kPatience = 10000000;

const char* const kSessionName = "Somebody with a long name.Drelmoor";


// Waits until exactly the expected number of threads carry the name.
bool
WaitForListing(const char* name, int32 expected, named_thread* first)
{
	bigtime_t deadline = system_time() + kPatience;
	named_thread threads[4];
	while (system_time() < deadline) {
		int32 count = find_named_threads(name, threads, 4);
		if (count == expected) {
			if (count > 0 && first != nullptr)
				*first = threads[0];
			return true;
		}
		snooze(5000);
	}
	return false;
}


status_t
WaitAtGate(void* data)
{
	static_cast<Gate*>(data)->Wait();
	return 0;
}

}	// namespace


TEST(NamedThreadTest, ThreadOfAnotherTeamIsFoundAndItsEndSeen)
{
	TestVolume volume;
	ChildProcess holder;
	ASSERT_EQ(B_OK, holder.Start(NAMED_THREAD_HOLDER, { kSessionName }));

	named_thread thread;
	ASSERT_TRUE(WaitForListing(kSessionName, 1, &thread));
	EXPECT_EQ(holder.Pid(), thread.team);
	EXPECT_NE(thread.team, current_team());
	EXPECT_EQ(B_TIMED_OUT, wait_for_named_thread(thread, 0));
	EXPECT_EQ(B_TIMED_OUT, wait_for_named_thread(thread, 20000));

	holder.Kill(SIGUSR1);
	EXPECT_EQ(B_OK, wait_for_named_thread(thread, kPatience));
	int exitCode = -1;
	ASSERT_EQ(B_OK, holder.WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(0, exitCode);
	EXPECT_EQ(0, find_named_threads(kSessionName, &thread, 1));
	EXPECT_EQ(B_OK, wait_for_named_thread(thread, 0));
}


TEST(NamedThreadTest, KilledTeamsThreadEndsForItsWaiter)
{
	TestVolume volume;
	ChildProcess holder;
	ASSERT_EQ(B_OK, holder.Start(NAMED_THREAD_HOLDER, { kSessionName }));
	named_thread thread;
	ASSERT_TRUE(WaitForListing(kSessionName, 1, &thread));

	// One waiter already blocked when the team dies, one that comes later.
	std::future<status_t> blocked = std::async(std::launch::async,
		[thread] { return wait_for_named_thread(thread, B_INFINITE_TIMEOUT); });
	holder.Kill(SIGKILL);
	int exitCode = 0;
	ASSERT_EQ(B_OK, holder.WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(128 + SIGKILL, exitCode);

	ASSERT_EQ(std::future_status::ready,
		blocked.wait_for(std::chrono::microseconds(kPatience)));
	EXPECT_EQ(B_OK, blocked.get());
	EXPECT_EQ(B_OK, wait_for_named_thread(thread, 0));
	EXPECT_EQ(0, find_named_threads(kSessionName, &thread, 1));
}


TEST(NamedThreadTest, FinderRemovesTheEntryOfAKilledTeam)
{
	TestVolume volume;
	ChildProcess holder;
	ASSERT_EQ(B_OK, holder.Start(NAMED_THREAD_HOLDER, { kSessionName }));
	named_thread thread;
	ASSERT_TRUE(WaitForListing(kSessionName, 1, &thread));
	holder.Kill(SIGKILL);
	int exitCode;
	ASSERT_EQ(B_OK, holder.WaitForExit(kPatience, &exitCode));

	// Nobody waited: the entry is still on disk until a finder meets it.
	EXPECT_EQ(0, find_named_threads(kSessionName, &thread, 1));
	DIR* folder = opendir(volume.MachinePath("/boot/var/run/threads").c_str());
	ASSERT_NE(nullptr, folder);
	int entries = 0;
	while (struct dirent* entry = readdir(folder)) {
		if (entry->d_name[0] != '.')
			entries++;
	}
	closedir(folder);
	EXPECT_EQ(0, entries);
}


TEST(NamedThreadTest, NamesMatchWholeAndOldestComesFirst)
{
	TestVolume volume;
	Gate gate;
	thread_id first = spawn_thread(WaitAtGate, "Ash.Drelmoor", 10, &gate);
	thread_id longer = spawn_thread(WaitAtGate, "Ash.Drelmoor2", 10, &gate);
	thread_id second = spawn_thread(WaitAtGate, "Ash.Drelmoor", 10, &gate);
	ASSERT_GT(first, 0);
	ASSERT_GT(longer, 0);
	ASSERT_GT(second, 0);

	named_thread threads[4];
	ASSERT_EQ(2, find_named_threads("Ash.Drelmoor", threads, 4));
	EXPECT_EQ(first, threads[0].thread);
	EXPECT_EQ(second, threads[1].thread);
	EXPECT_LT(threads[0].started, threads[1].started);
	EXPECT_EQ(current_team(), threads[0].team);
	EXPECT_EQ(1, find_named_threads("Ash.Drelmoor", threads, 1));
	EXPECT_EQ(first, threads[0].thread);
	EXPECT_EQ(0, find_named_threads("Ash.Drelmoo", threads, 4));
	EXPECT_EQ(0, find_named_threads("ash.drelmoor", threads, 4));

	gate.Open();
	for (thread_id thread : { first, longer, second })
		wait_for_thread(thread, nullptr);
	EXPECT_EQ(0, find_named_threads("Ash.Drelmoor", threads, 4));
}


TEST(NamedThreadTest, ListingDoesNotFollowTheFrozenClock)
{
	TestVolume volume;
	FrozenClock clock(86400);
	Gate gate;
	thread_id thread = spawn_thread(WaitAtGate, "clocked", 10, &gate);
	ASSERT_GT(thread, 0);
	named_thread found;
	ASSERT_EQ(1, find_named_threads("clocked", &found, 1));
	EXPECT_GT(found.started, (bigtime_t)86400 * 1000000 * 365);
	gate.Open();
	wait_for_thread(thread, nullptr);
}


TEST(NamedThreadTest, ForkedChildDoesNotKeepTheThreadListed)
{
	TestVolume volume;
	Gate gate;
	thread_id thread = spawn_thread(WaitAtGate, "forked", 10, &gate);
	ASSERT_GT(thread, 0);
	resume_thread(thread);
	named_thread found;
	ASSERT_EQ(1, find_named_threads("forked", &found, 1));

	int hold[2];
	ASSERT_EQ(0, pipe(hold));
	pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0) {
		// Lives until the test closes its end of the pipe.
		close(hold[1]);
		char byte;
		while (read(hold[0], &byte, 1) < 0) {
		}
		_exit(0);
	}
	close(hold[0]);

	gate.Open();
	EXPECT_EQ(B_OK, wait_for_named_thread(found, kPatience));
	close(hold[1]);
	int status;
	waitpid(child, &status, 0);
	wait_for_thread(thread, nullptr);
}


TEST(NamedThreadTest, NoListingFolderMeansNoThreads)
{
	TestVolume volume;
	named_thread thread = { 1, 1, 1 };
	EXPECT_EQ(0, find_named_threads("anything", &thread, 1));
	EXPECT_EQ(B_OK, wait_for_named_thread(thread, 0));
	EXPECT_EQ(B_BAD_VALUE, find_named_threads(nullptr, &thread, 1));
}


TEST(NamedThreadTest, NewestOfANameAndOfATeamIsFound)
{
	TestVolume volume;
	Gate gate;
	thread_id first = spawn_thread(WaitAtGate, "Ash.Drelmoor", 10, &gate);
	thread_id other = spawn_thread(WaitAtGate, "Bo.Drelmoor", 10, &gate);
	thread_id second = spawn_thread(WaitAtGate, "Ash.Drelmoor", 10, &gate);
	ASSERT_GT(first, 0);
	ASSERT_GT(other, 0);
	ASSERT_GT(second, 0);

	named_thread found;
	ASSERT_EQ(B_OK, find_newest_named_thread("Ash.Drelmoor", -1, &found));
	EXPECT_EQ(second, found.thread);
	ASSERT_EQ(B_OK, find_newest_named_thread("Ash.Drelmoor", current_team(),
		&found));
	EXPECT_EQ(second, found.thread);
	EXPECT_EQ(B_NAME_NOT_FOUND, find_newest_named_thread("Ash.Drelmoor",
		current_team() + 1, &found));
	EXPECT_EQ(B_NAME_NOT_FOUND, find_newest_named_thread("Ash.Drelmoo", -1,
		&found));

	gate.Open();
	for (thread_id thread : { first, other, second })
		wait_for_thread(thread, nullptr);
	EXPECT_EQ(B_NAME_NOT_FOUND, find_newest_named_thread("Ash.Drelmoor", -1,
		&found));
}


// A door of thousands of sessions must not run out of descriptors: each
// listed thread keeps one.
TEST(NamedThreadTest, AListedThreadKeepsOneDescriptor)
{
	TestVolume volume;
	Gate gate;
	thread_id warmUp = spawn_thread(WaitAtGate, "warm-up", 10, &gate);
	ASSERT_GT(warmUp, 0);
	int before = CountOpenDescriptors();
	thread_id threads[8];
	for (thread_id& thread : threads) {
		thread = spawn_thread(WaitAtGate, "counted", 10, &gate);
		ASSERT_GT(thread, 0);
	}
	EXPECT_EQ(before + 8, CountOpenDescriptors());
	gate.Open();
	wait_for_thread(warmUp, nullptr);
	for (thread_id thread : threads)
		wait_for_thread(thread, nullptr);
}


TEST(NamedThreadTest, EndsAreToldWithoutLookingAtEachThread)
{
	TestVolume volume;
	int ends = open_named_thread_ends();
	ASSERT_GE(ends, 0) << strerror_status(ends);
	named_thread told[8];
	EXPECT_EQ(0, read_named_thread_ends(ends, told, 8));

	Gate gate;
	thread_id thread = spawn_thread(WaitAtGate, "Ash.Drelmoor", 10, &gate);
	ASSERT_GT(thread, 0);
	named_thread listed;
	ASSERT_EQ(1, find_named_threads("Ash.Drelmoor", &listed, 1));
	// Spawning tells no end.
	EXPECT_EQ(0, read_named_thread_ends(ends, told, 8));

	gate.Open();
	wait_for_thread(thread, nullptr);
	int32 count = 0;
	bigtime_t deadline = system_time() + kPatience;
	while (count == 0 && system_time() < deadline) {
		count = read_named_thread_ends(ends, told, 8);
		if (count == 0)
			snooze(1000);
	}
	ASSERT_EQ(1, count);
	EXPECT_EQ(listed.team, told[0].team);
	EXPECT_EQ(listed.thread, told[0].thread);
	EXPECT_EQ(listed.started, told[0].started);
	close(ends);
}
