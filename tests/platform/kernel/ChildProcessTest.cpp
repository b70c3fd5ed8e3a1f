#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "TestVolume.h"


namespace {

const bigtime_t kPatience = 10000000;

}	// namespace


TEST(ChildProcessTest, InputGoesInAndBothOutputsComeBack)
{
	// More than a pipe holds in both directions, so that a pump that
	// served one pipe at a time would stall.
	std::string input(300000, 'k');
	ChildProcess child;
	child.SetInput(input);
	child.CaptureOutput();
	ASSERT_EQ(B_OK, child.Start("/bin/sh",
		{ "-c", "tee /dev/stderr; echo done >&2; exit 3" }));
	int exitCode = -1;
	ASSERT_EQ(B_OK, child.WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(3, exitCode);
	EXPECT_EQ(input, child.Output());
	EXPECT_EQ(input + "done\n", child.Errors());
}


TEST(ChildProcessTest, ChildSeesTheTestsBootVolume)
{
	TestVolume volume;
	ChildProcess child;
	child.CaptureOutput();
	ASSERT_EQ(B_OK, child.Start("/bin/sh", { "-c", "printf %s \"$BOOT_VOLUME\"" }));
	int exitCode = -1;
	ASSERT_EQ(B_OK, child.WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(volume.Folder(), child.Output());
}


TEST(ChildProcessTest, WithoutInputTheChildReadsNothing)
{
	ChildProcess child;
	child.CaptureOutput();
	ASSERT_EQ(B_OK, child.Start("/bin/cat"));
	int exitCode = -1;
	ASSERT_EQ(B_OK, child.WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(0, exitCode);
	EXPECT_EQ("", child.Output());
}


TEST(ChildProcessTest, RunningChildTimesOutAndCanBeKilled)
{
	ChildProcess child;
	ASSERT_EQ(B_OK, child.Start("/bin/sleep", { "600" }));
	EXPECT_TRUE(child.IsRunning());
	int exitCode = -1;
	EXPECT_EQ(B_TIMED_OUT, child.WaitForExit(10000, &exitCode));
	child.Kill(SIGTERM);
	ASSERT_EQ(B_OK, child.WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(128 + SIGTERM, exitCode);
	EXPECT_FALSE(child.IsRunning());
}


TEST(ChildProcessTest, ChildStillRunningIsKilledWithTheObject)
{
	pid_t pid;
	{
		ChildProcess child;
		ASSERT_EQ(B_OK, child.Start("/bin/sleep", { "600" }));
		pid = child.Pid();
	}
	// Reaped as well as killed: no process of that number is left.
	EXPECT_EQ(-1, kill(pid, 0));
}


TEST(ChildProcessTest, MissingProgramIsReported)
{
	ChildProcess child;
	EXPECT_NE(B_OK, child.Start("/nonexistent/program"));
	int exitCode;
	EXPECT_EQ(B_NO_INIT, child.WaitForExit(0, &exitCode));
}
