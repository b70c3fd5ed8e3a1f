// The host as its users meet it: real bridges (zenbo --stdio), the host
// that the first bridge starts, and a real door program, all in the test's
// boot volume.

#include "BridgeProcess.h"

#include <ChildProcess.h>
#include <DoorSession.h>
#include <Messenger.h>
#include <OS.h>
#include <TestVolume.h>
#include <ZenboProtocol.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>


namespace {

// Only bounds a hang: a 64 KiB name typed key by key takes about 20 s under
// AddressSanitizer on two cores.
const bigtime_t kTimeout = 60000000;
const char* const kDoorSignature = "application/x-vnd.Zenbo.VraskApp";
const char* const kMonstersFile = "/boot/home/Zenbo/doors/vrask/monsters";
const char* const kHostLog = "/boot/var/run/zenbo.log";


std::string
TestDoorProgram()
{
	return DRELMOOR_BINARY_DIR "/tests/HostTestDoor";
}


void
InstallDoorData(const TestVolume& volume)
{
	volume.InstallGameData();
	ASSERT_TRUE(volume.Exists(kMonstersFile));
}


std::vector<std::string>
StdioArguments(const std::string& user, const std::string& door)
{
	return { "--stdio", "--raw", "--user", user, "--door", door };
}


// Ends whatever a failing test leaves running on its volume.
class RunningGuard {
public:
	~RunningGuard()
	{
		for (const char* signature : { ZENBO_SIGNATURE, kDoorSignature }) {
			BMessenger running(signature);
			if (running.IsValid() && running.Team() > 0)
				kill(running.Team(), SIGKILL);
		}
	}
};


std::string
HostLog(const TestVolume& volume)
{
	return volume.Exists(kHostLog) ? volume.ReadFile(kHostLog) : "";
}


int
CountOf(const std::string& text, const std::string& part)
{
	int count = 0;
	for (size_t at = text.find(part); at != std::string::npos;
			at = text.find(part, at + 1)) {
		count++;
	}
	return count;
}


bool
WaitUntilNotRunning(const char* signature, bigtime_t timeout)
{
	bigtime_t deadline = system_time() + timeout;
	while (BMessenger(signature).IsValid()) {
		if (system_time() >= deadline)
			return false;
		snooze(10000);
	}
	return true;
}


bool
WaitUntilHostListens(bigtime_t timeout)
{
	bigtime_t deadline = system_time() + timeout;
	for (;;) {
		ChildProcess who;
		who.CaptureOutput();
		int exitCode = -1;
		if (who.Start(ZenboProgram(), { "who" }) == B_OK
			&& who.WaitForExit(timeout, &exitCode) == B_OK && exitCode == 0) {
			return true;
		}
		if (system_time() >= deadline)
			return false;
		snooze(20000);
	}
}


// The host's log is written as it goes; waits until it holds the text.
bool
WaitForLog(const TestVolume& volume, const std::string& text,
	bigtime_t timeout)
{
	bigtime_t deadline = system_time() + timeout;
	while (HostLog(volume).find(text) == std::string::npos) {
		if (system_time() >= deadline)
			return false;
		snooze(10000);
	}
	return true;
}


int
RunStdio(ChildProcess& bridge, const std::string& keys,
	const std::vector<std::string>& arguments)
{
	bridge.SetInput(keys);
	bridge.CaptureOutput();
	EXPECT_EQ(B_OK, bridge.Start(ZenboProgram(), arguments));
	int exitCode = -1;
	EXPECT_EQ(B_OK, bridge.WaitForExit(kTimeout, &exitCode));
	return exitCode;
}

}	// namespace


// #pragma mark - Standard I/O


TEST(ZenboHostStdioTest, WholeGameIsTheDoorsTextsByteForByte)
{
	FrozenClock clock(1765000000);
	const std::string keys = "Ash\nyswbtq";

	// What the door sends for these keys, taken by the scripted host.
	std::string expected;
	{
		TestVolume volume;
		InstallDoorData(volume);
		DoorSession session;
		for (const std::string& text : session.Play("Ash", keys))
			expected += text;
	}
	ASSERT_NE(std::string::npos, expected.find("Ash")) << expected;

	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ChildProcess bridge;
	EXPECT_EQ(0, RunStdio(bridge, keys, StdioArguments("Ash",
		DRELMOOR_BINARY_DIR "/bin/Drelmoor"))) << bridge.Errors();
	EXPECT_EQ(expected, bridge.Output());
	EXPECT_TRUE(volume.Exists("/boot/home/Zenbo/doors/vrask/users/Ash"));
}


// A pasted name of 64 KiB, terminal controls among its letters, costs its
// session time but no one else anything: it is refused, the next name is
// taken, and neither the player file nor the Wall of Fame holds a byte of it.
TEST(ZenboHostStdioTest, HugeNameThroughTheHostIsRefusedAndPlayGoesOn)
{
	std::string huge;
	while (huge.size() < 64 * 1024)
		huge += "AAAAAAA\x1b[2J\x9b";
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ChildProcess bridge;
	EXPECT_EQ(0, RunStdio(bridge, huge + "\nAsh\nywq", StdioArguments("evil",
		DRELMOOR_BINARY_DIR "/bin/Drelmoor"))) << bridge.Errors();
	const std::string output = bridge.Output();
	EXPECT_NE(std::string::npos, output.find(
		"\nThe town crier can't pronounce that name.  Try another."));
	EXPECT_NE(std::string::npos, output.find("[Ash] is this correct?"));

	const std::string stored
		= volume.ReadFile("/boot/home/Zenbo/doors/vrask/users/evil");
	EXPECT_EQ(0u, stored.rfind("Ash\n", 0)) << stored.substr(0, 80);
	EXPECT_LT(stored.size(), 1024u);
	// The Wall of Fame came after the refusal and shows only the new name.
	const size_t wall = output.rfind("Ash");
	ASSERT_NE(std::string::npos, wall);
	EXPECT_EQ(std::string::npos, output.find("AAAAAAA", wall));
}


TEST(ZenboHostStdioTest, BytesPassUnchangedAndZeroIsNeverAKey)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ChildProcess bridge;
	EXPECT_EQ(0, RunStdio(bridge, std::string("a\0\r\x7f\xe9q", 6),
		StdioArguments("Bo", TestDoorProgram()))) << bridge.Errors();
	EXPECT_EQ("Hello, Bo\na <97>\r <13>\x7f <127>\xe9 <233>q\nBye\n",
		bridge.Output());
}


TEST(ZenboHostStdioTest, EndOfInputTakesTheUserAwayAfterTheLastKey)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ChildProcess bridge;
	EXPECT_EQ(0, RunStdio(bridge, "ab", StdioArguments("Bo",
		TestDoorProgram()))) << bridge.Errors();
	// The texts that the last key brings are still shown.
	EXPECT_EQ("Hello, Bo\na <97>b <98>", bridge.Output());
	EXPECT_TRUE(WaitForLog(volume, "Bo left the door", kTimeout))
		<< HostLog(volume);
	EXPECT_EQ(1, CountOf(HostLog(volume), "Bo entered the door"));
	// The host's lines about the user reach the bridge's standard error.
	EXPECT_NE(std::string::npos, bridge.Errors().find(
		"zenbo: Bo entered the door (session Bo.Drelmoor")) << bridge.Errors();
	EXPECT_NE(std::string::npos, bridge.Errors().find("zenbo: Bo left the door"))
		<< bridge.Errors();
}


TEST(ZenboHostStdioTest, DropFileNamesTheUser)
{
	TestVolume volume;
	InstallDoorData(volume);
	volume.WriteFile("/boot/node1/DOOR32.SYS",
		"0\r\n0\r\n38400\r\nKorrin BBS\r\n17\r\nWren Hale\r\nWren\r\n30\r\n");
	RunningGuard guard;
	ChildProcess bridge;
	EXPECT_EQ(0, RunStdio(bridge, "q", { "--stdio", "--raw", "--dropfile",
		volume.MachinePath("/boot/node1/DOOR32.SYS"), "--door",
		TestDoorProgram() })) << bridge.Errors();
	EXPECT_EQ("Hello, Wren\nq\nBye\n", bridge.Output());
}


TEST(ZenboHostStdioTest, VolumeTooDeepForASocketAddressStillServes)
{
	TestVolume volume;
	RunningGuard guard;
	std::string deep = "/boot";
	for (int i = 0; i < 8; i++)
		deep += "/a-folder-name-of-some-length";
	for (const char* name : { "monsters", "weapons", "armor" }) {
		volume.WriteFile((deep + "/home/Zenbo/doors/vrask/" + name).c_str(),
			"");
	}
	std::string folder = volume.MachinePath(deep.c_str());
	ASSERT_GT(folder.size(), 108u);

	ChildProcess bridge;
	EXPECT_EQ(0, RunStdio(bridge, "q", { "--stdio", "--raw", "--user", "Bo",
		"--volume",
		folder, "--door", TestDoorProgram() })) << bridge.Errors();
	EXPECT_EQ("Hello, Bo\nq\nBye\n", bridge.Output());
}


TEST(ZenboHostStdioTest, MissingVolumeDataOrDoorIsAClearError)
{
	TestVolume volume;
	RunningGuard guard;
	struct Case {
		std::vector<std::string> arguments;
		const char* message;
	};
	const Case cases[] = {
		{ { "--volume", volume.Folder() + "/none" }, "no boot volume at" },
		{ {}, "has no door data (missing monsters, weapons, armor" },
		{ { "--door", volume.Folder() + "/NoDoor" }, "no door program at" },
	};
	for (const Case& which : cases) {
		if (std::string(which.message) == "no door program at")
			InstallDoorData(volume);
		std::vector<std::string> arguments = { "--stdio", "--user", "Bo" };
		arguments.insert(arguments.end(), which.arguments.begin(),
			which.arguments.end());
		ChildProcess bridge;
		EXPECT_EQ(1, RunStdio(bridge, "q", arguments)) << which.message;
		EXPECT_EQ("", bridge.Output());
		EXPECT_NE(std::string::npos, bridge.Errors().find(which.message))
			<< bridge.Errors();
	}
	EXPECT_FALSE(BMessenger(ZENBO_SIGNATURE).IsValid());
}


TEST(ZenboHostStdioTest, NameThatIsNoPlainFileNameIsRefused)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	struct Case {
		std::string name;
		const char* reason;
		const char* shown;
	};
	const Case cases[] = {
		{ "../Ash", "holds a \"/\"", "\"../Ash\"" },
		{ "a/b", "holds a \"/\"", "\"a/b\"" },
		{ "..", "starts with a space or a dot", "\"..\"" },
		{ "Ash\x1b[2J\nzenbo: forged", "other than printable ASCII",
			"\"Ash\\x1b[2J\\x0azenbo: forged\"" },
		{ std::string(300, 'n'), "is longer than 30 characters", "\"nnn" },
	};
	for (const Case& which : cases) {
		ChildProcess bridge;
		EXPECT_EQ(1, RunStdio(bridge, "q", StdioArguments(which.name,
			TestDoorProgram()))) << which.name;
		EXPECT_EQ("", bridge.Output());
		std::string errors = bridge.Errors();
		EXPECT_NE(std::string::npos, errors.find("cannot be a user name"))
			<< errors;
		EXPECT_NE(std::string::npos, errors.find(which.reason)) << errors;
		EXPECT_NE(std::string::npos, errors.find(which.shown)) << errors;
		// One line, and no byte that a terminal would act on.
		EXPECT_EQ(1, CountOf(errors, "\n")) << errors;
		EXPECT_EQ(std::string::npos, errors.find('\x1b')) << errors;
	}
	// Nothing was started for them.
	EXPECT_FALSE(volume.Exists(kHostLog));
}


TEST(ZenboHostStdioTest, DropFileWithAnEscapedAliasNamesTheReason)
{
	TestVolume volume;
	InstallDoorData(volume);
	volume.WriteFile("/boot/node1/DOOR32.SYS",
		"0\r\n0\r\n38400\r\nKorrin BBS\r\n17\r\nWren\r\nWr\x1b]0;x\a\r\n");
	RunningGuard guard;
	ChildProcess bridge;
	EXPECT_EQ(1, RunStdio(bridge, "q", { "--stdio", "--dropfile",
		volume.MachinePath("/boot/node1/DOOR32.SYS"), "--door",
		TestDoorProgram() }));
	EXPECT_NE(std::string::npos, bridge.Errors().find(
		"line 7: the name \"Wr\\x1b]0;x\\x07\" holds a character other"
		" than printable ASCII")) << bridge.Errors();
}


// #pragma mark - A caller's line discipline


TEST(ZenboHostDisciplineTest, EveryEnterIsOneLineFeedAndLinesEndInCrLf)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ChildProcess bridge;
	// CR LF, CR NUL, a lone CR, a lone LF; then DEL and BS.
	EXPECT_EQ(0, RunStdio(bridge, std::string("a\r\nb\r\0c\rd\ne\x7f\bq", 15),
		{ "--stdio", "--user", "Bo", "--door", TestDoorProgram() }))
		<< bridge.Errors();
	EXPECT_EQ("Hello, Bo\r\na <97>\r\n <10>b <98>\r\n <10>c <99>\r\n <10>"
		"d <100>\r\n <10>e <101>\b <8>\b <8>q\r\nBye\r\n", bridge.Output());
}


TEST(ZenboHostDisciplineTest, ControlSequencesNeverReachTheScreen)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ChildProcess bridge;
	// The test door echoes each key: ESC, the 8-bit CSI and BEL.
	EXPECT_EQ(0, RunStdio(bridge, std::string("\x1b\x9b\x07\tq", 5),
		{ "--stdio", "--user", "Bo", "--door", TestDoorProgram() }))
		<< bridge.Errors();
	EXPECT_EQ("Hello, Bo\r\n <27> <155>\x07 <7>\t <9>q\r\nBye\r\n",
		bridge.Output());
}


TEST(ZenboHostDisciplineTest, SessionEndsTheScreenOnAFreshLine)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ChildProcess bridge;
	EXPECT_EQ(0, RunStdio(bridge, "ab", { "--stdio", "--user", "Bo",
		"--door", TestDoorProgram() })) << bridge.Errors();
	EXPECT_EQ("Hello, Bo\r\na <97>b <98>\r\n", bridge.Output());
}


TEST(ZenboHostDisciplineTest, ClosedDoorIsShownOnTheCallersScreen)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	BridgeProcess bridge;
	ASSERT_EQ(B_OK, bridge.Start({ "--stdio", "--user", "Bo", "--door",
		TestDoorProgram() }));
	ASSERT_TRUE(bridge.WaitForOutput("Hello, Bo\r\n", kTimeout))
		<< bridge.Errors();
	bridge.Type("x");
	ASSERT_TRUE(bridge.WaitForOutput("x <120>", kTimeout));
	BMessenger door(kDoorSignature);
	ASSERT_TRUE(door.IsValid());
	ASSERT_EQ(0, kill(door.Team(), SIGKILL));

	int exitCode = -1;
	ASSERT_EQ(B_OK, bridge.WaitForExit(kTimeout, &exitCode));
	EXPECT_EQ(3, exitCode);
	EXPECT_EQ("Hello, Bo\r\nx <120>\r\nThe door has closed.\r\n",
		bridge.Output());
	EXPECT_NE(std::string::npos, bridge.Errors().find("The door has closed."))
		<< bridge.Errors();
}


// #pragma mark - The door


TEST(ZenboHostDoorTest, DoorIsLaunchedOnDemandAndQuitsWithItsLastUser)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ASSERT_FALSE(BMessenger(kDoorSignature).IsValid());

	ChildProcess bridge;
	EXPECT_EQ(0, RunStdio(bridge, "q", StdioArguments("Bo",
		TestDoorProgram()))) << bridge.Errors();
	EXPECT_EQ("Hello, Bo\nq\nBye\n", bridge.Output());
	EXPECT_TRUE(WaitUntilNotRunning(kDoorSignature, kTimeout));
	EXPECT_TRUE(WaitForLog(volume, "Bo left the door", kTimeout))
		<< HostLog(volume);
	EXPECT_EQ(1, CountOf(HostLog(volume), "launched the door"));
}


TEST(ZenboHostDoorTest, RunningDoorIsEnteredWithoutALaunch)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ChildProcess door;
	ASSERT_EQ(B_OK, door.Start(TestDoorProgram()));
	ASSERT_TRUE(WaitForApplication(kDoorSignature, kTimeout));

	ChildProcess bridge;
	EXPECT_EQ(0, RunStdio(bridge, "q", StdioArguments("Bo",
		TestDoorProgram()))) << bridge.Errors();
	EXPECT_EQ("Hello, Bo\nq\nBye\n", bridge.Output());
	// The door that served the user was the one already running.
	int exitCode = -1;
	EXPECT_EQ(B_OK, door.WaitForExit(kTimeout, &exitCode));
	EXPECT_EQ(0, exitCode);
	EXPECT_EQ(0, CountOf(HostLog(volume), "launched the door"));
}


TEST(ZenboHostDoorTest, DoorQuittingAtTheStartMessageIsLaunchedAgain)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	std::string marker = volume.Folder() + "/quit-marker";
	setenv("TEST_DOOR_QUIT_FIRST", marker.c_str(), 1);

	ChildProcess bridge;
	int exitCode = RunStdio(bridge, "q", StdioArguments("Bo",
		TestDoorProgram()));
	unsetenv("TEST_DOOR_QUIT_FIRST");

	EXPECT_EQ(0, exitCode) << bridge.Errors() << HostLog(volume);
	EXPECT_EQ("Hello, Bo\nq\nBye\n", bridge.Output());
	EXPECT_TRUE(volume.Exists("/boot/quit-marker"));
	std::string log = HostLog(volume);
	EXPECT_EQ(2, CountOf(log, "launched the door")) << log;
	EXPECT_EQ(1, CountOf(log, "the door was quitting as Bo came")) << log;
}


TEST(ZenboHostDoorTest, DoorKilledMidSessionIsToldAndTheBridgeEnds)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	BridgeProcess bridge;
	ASSERT_EQ(B_OK, bridge.Start(StdioArguments("Bo", TestDoorProgram())));
	ASSERT_TRUE(bridge.WaitForOutput("Hello, Bo\n", kTimeout))
		<< bridge.Errors();
	bridge.Type("x");
	ASSERT_TRUE(bridge.WaitForOutput("x <120>", kTimeout));

	BMessenger door(kDoorSignature);
	ASSERT_TRUE(door.IsValid());
	ASSERT_EQ(0, kill(door.Team(), SIGKILL));

	int exitCode = -1;
	ASSERT_EQ(B_OK, bridge.WaitForExit(kTimeout, &exitCode));
	EXPECT_EQ(3, exitCode);
	EXPECT_NE(std::string::npos, bridge.Errors().find("The door has closed."))
		<< bridge.Errors();
	EXPECT_EQ("Hello, Bo\nx <120>", bridge.Output());
	// The host ends with its last terminal, killed door or not.
	EXPECT_TRUE(WaitUntilNotRunning(ZENBO_SIGNATURE, kTimeout));
	EXPECT_NE(std::string::npos,
		HostLog(volume).find("Bo's session ended: the door closed"))
		<< HostLog(volume);
}


TEST(ZenboHostDoorTest, HostKilledEndsTheSessionsAndTheDoorItself)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	BridgeProcess bridge;
	ASSERT_EQ(B_OK, bridge.Start(StdioArguments("Bo", TestDoorProgram())));
	ASSERT_TRUE(bridge.WaitForOutput("Hello, Bo\n", kTimeout))
		<< bridge.Errors();

	named_thread session;
	ASSERT_EQ(1, find_named_threads("Bo.Drelmoor", &session, 1));
	BMessenger host(ZENBO_SIGNATURE);
	ASSERT_TRUE(host.IsValid());
	ASSERT_EQ(0, kill(host.Team(), SIGKILL));

	int exitCode = -1;
	ASSERT_EQ(B_OK, bridge.WaitForExit(kTimeout, &exitCode));
	EXPECT_EQ(1, exitCode);
	EXPECT_NE(std::string::npos, bridge.Errors().find("The host has gone."));
	// The session waiting for a key learns that the host is gone, takes
	// leave, and the door quits with its last user.
	EXPECT_EQ(B_OK, wait_for_named_thread(session, kTimeout));
	EXPECT_TRUE(WaitUntilNotRunning(kDoorSignature, kTimeout));

	// The next bridge starts a new host over the dead one's socket file.
	ChildProcess next;
	EXPECT_EQ(0, RunStdio(next, "q", StdioArguments("Bo", TestDoorProgram())))
		<< next.Errors();
	EXPECT_EQ("Hello, Bo\nq\nBye\n", next.Output());
}


TEST(ZenboHostDoorTest, StoppedHostEndsADoorThatDoesNotQuitByItself)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	setenv("TEST_DOOR_STUCK", "1", 1);
	ChildProcess host;
	host.CaptureOutput();
	ASSERT_EQ(B_OK, host.Start(ZenboProgram(), { "--host", "--door",
		TestDoorProgram() }));
	unsetenv("TEST_DOOR_STUCK");
	// A bridge that came before the host listens would start a host of its
	// own, and this one would find the volume taken; the sysop's socket is
	// opened after the terminals' one.
	ASSERT_TRUE(WaitUntilHostListens(kTimeout));
	BridgeProcess bridge;
	ASSERT_EQ(B_OK, bridge.Start(StdioArguments("Bo", TestDoorProgram())));
	ASSERT_TRUE(bridge.WaitForOutput("Hello, Bo\n", kTimeout))
		<< bridge.Errors();

	bigtime_t stopped = system_time();
	ASSERT_EQ(0, kill(host.Pid(), SIGTERM));
	int exitCode = -1;
	ASSERT_EQ(B_OK, host.WaitForExit(3 * kTimeout, &exitCode));
	EXPECT_EQ(0, exitCode) << host.Errors();
	// The door had its time, then SIGTERM (which it ignores), then SIGKILL.
	EXPECT_GE(system_time() - stopped, 10000000);
	EXPECT_EQ(2, CountOf(host.Errors(), "the door did not end in time"))
		<< host.Errors();
	EXPECT_NE(std::string::npos, host.Errors().find("was killed by signal 9"))
		<< host.Errors();
	EXPECT_FALSE(BMessenger(kDoorSignature).IsValid());

	ASSERT_EQ(B_OK, bridge.WaitForExit(kTimeout, &exitCode));
	EXPECT_EQ(1, exitCode);
	EXPECT_NE(std::string::npos,
		bridge.Errors().find("The host is shutting down.")) << bridge.Errors();
}


// #pragma mark - Several terminals


TEST(ZenboHostTerminalsTest, SeveralUsersShareOneHostAndOneDoor)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	const char* const users[] = { "Ann", "Bob", "Cy" };
	BridgeProcess bridges[3];
	for (int i = 0; i < 3; i++)
		ASSERT_EQ(B_OK, bridges[i].Start(StdioArguments(users[i],
			TestDoorProgram())));

	team_id doorTeam = -1;
	for (int i = 0; i < 3; i++) {
		ASSERT_TRUE(bridges[i].WaitForOutput(std::string("Hello, ")
			+ users[i] + "\n", kTimeout)) << bridges[i].Errors();
		named_thread session;
		std::string threadName = std::string(users[i]) + ".Drelmoor";
		ASSERT_EQ(1, find_named_threads(threadName.c_str(), &session, 1));
		if (doorTeam < 0)
			doorTeam = session.team;
		EXPECT_EQ(doorTeam, session.team) << users[i];
	}

	// Each terminal gets its own keys' answers, and only those.
	for (int i = 0; i < 3; i++)
		bridges[i].Type(std::string(1, (char)('a' + i)));
	for (int i = 0; i < 3; i++) {
		std::string answer = std::string(1, (char)('a' + i)) + " <"
			+ std::to_string(97 + i) + ">";
		ASSERT_TRUE(bridges[i].WaitForOutput(answer, kTimeout)) << users[i];
	}
	for (int i = 0; i < 3; i++)
		bridges[i].Type("q");
	for (int i = 0; i < 3; i++) {
		int exitCode = -1;
		ASSERT_EQ(B_OK, bridges[i].WaitForExit(kTimeout, &exitCode));
		EXPECT_EQ(0, exitCode) << bridges[i].Errors();
		EXPECT_EQ(std::string("Hello, ") + users[i] + "\n"
			+ (char)('a' + i) + " <" + std::to_string(97 + i) + ">q\nBye\n",
			bridges[i].Output());
	}

	std::string log = HostLog(volume);
	EXPECT_EQ(1, CountOf(log, "serving the boot volume")) << log;
	EXPECT_EQ(1, CountOf(log, "launched the door")) << log;
	EXPECT_TRUE(WaitUntilNotRunning(ZENBO_SIGNATURE, kTimeout));
}


TEST(ZenboHostTerminalsTest, SecondTerminalForAUserInTheDoorIsRefused)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	BridgeProcess first;
	ASSERT_EQ(B_OK, first.Start(StdioArguments("Bo", TestDoorProgram())));
	ASSERT_TRUE(first.WaitForOutput("Hello, Bo\n", kTimeout));

	ChildProcess second;
	EXPECT_EQ(1, RunStdio(second, "x", StdioArguments("Bo",
		TestDoorProgram())));
	EXPECT_EQ("", second.Output());
	EXPECT_NE(std::string::npos,
		second.Errors().find("Bo is already in the door.")) << second.Errors();

	first.Type("yq");
	int exitCode = -1;
	ASSERT_EQ(B_OK, first.WaitForExit(kTimeout, &exitCode));
	EXPECT_EQ(0, exitCode);
	EXPECT_EQ("Hello, Bo\ny <121>q\nBye\n", first.Output());
}


// #pragma mark - The door protocol


TEST(ZenboHostProtocolTest, UnknownUsersAreAnsweredAsGone)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	ChildProcess host;
	host.CaptureOutput();
	ASSERT_EQ(B_OK, host.Start(ZenboProgram(), { "--host", "--door",
		TestDoorProgram() }));
	ASSERT_TRUE(WaitForApplication(ZENBO_SIGNATURE, kTimeout));

	BMessenger zenbo(ZENBO_SIGNATURE);
	BMessage getChar(kGetChar);
	getChar.AddString(kUserNameField, "Nobody");
	BMessage reply;
	ASSERT_EQ(B_OK, zenbo.SendMessage(&getChar, &reply, kTimeout, kTimeout));
	int32 key = -1;
	EXPECT_EQ(B_OK, reply.FindInt32(kCharField, &key));
	EXPECT_EQ(0, key);

	BMessage sendString(kSendString);
	sendString.AddString(kStringField, "hello");
	sendString.AddInt32(kEnumField, 0);
	sendString.AddString(kUserNameField, "Nobody");
	ASSERT_EQ(B_OK, zenbo.SendMessage(&sendString, &reply, kTimeout,
		kTimeout));
	EXPECT_EQ((uint32)B_QUIT_REQUESTED, reply.what);

	// A host started by hand runs until it is stopped.
	ASSERT_EQ(0, kill(host.Pid(), SIGTERM));
	int exitCode = -1;
	ASSERT_EQ(B_OK, host.WaitForExit(kTimeout, &exitCode));
	EXPECT_EQ(0, exitCode);
	EXPECT_NE(std::string::npos, host.Errors().find("stopping on signal"));
	EXPECT_FALSE(BMessenger(ZENBO_SIGNATURE).IsValid());
}


// #pragma mark - Local play


namespace {

// The flags that raw mode changes; all must be back as they were.
void
ExpectSameMode(const termios& before, const termios& after)
{
	EXPECT_EQ(before.c_lflag, after.c_lflag);
	EXPECT_EQ(before.c_iflag, after.c_iflag);
	EXPECT_EQ(before.c_oflag, after.c_oflag);
	EXPECT_EQ(before.c_cc[VSUSP], after.c_cc[VSUSP]);
}


std::vector<std::string>
LocalArguments()
{
	return { "--local", "--user", "Bo", "--door", TestDoorProgram() };
}

}	// namespace


TEST(ZenboHostLocalTest, EnterIsOneLineFeedAndLinesEndInCrLf)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;
	BridgeProcess bridge;
	ASSERT_EQ(B_OK, bridge.StartOnTerminal(LocalArguments()));
	ASSERT_TRUE(bridge.WaitForOutput("Hello, Bo\r\n", kTimeout))
		<< bridge.Output();

	// Enter as CR, then as CR LF: one line feed each.
	bridge.Type("\r");
	ASSERT_TRUE(bridge.WaitForOutput("\r\n <10>", kTimeout)) << bridge.Output();
	bridge.Type("\r\n");
	ASSERT_TRUE(bridge.WaitForOutput("<10>\r\n <10>", kTimeout))
		<< bridge.Output();
	bridge.Type("xq");
	int exitCode = -1;
	ASSERT_EQ(B_OK, bridge.WaitForExit(kTimeout, &exitCode));
	EXPECT_EQ(0, exitCode);
	EXPECT_NE(std::string::npos, bridge.Output().find(
		"Hello, Bo\r\n\r\n <10>\r\n <10>x <120>q\r\nBye\r\n"))
		<< bridge.Output();
	// The game's screen holds no log lines of the host.
	EXPECT_EQ(std::string::npos, bridge.Output().find("zenbo:"));
}


TEST(ZenboHostLocalTest, TerminalModeIsRestoredOnEveryWayOut)
{
	TestVolume volume;
	InstallDoorData(volume);
	RunningGuard guard;

	enum class WayOut { kQuit, kTerminate, kInterrupt, kDoorKilled };
	struct Case {
		WayOut		way;
		int			exitCode;
	};
	const Case cases[] = {
		{ WayOut::kQuit, 0 },
		{ WayOut::kTerminate, 128 + SIGTERM },
		{ WayOut::kInterrupt, 128 + SIGINT },
		{ WayOut::kDoorKilled, 3 },
	};
	for (const Case& which : cases) {
		SCOPED_TRACE((int)which.way);
		BridgeProcess bridge;
		ASSERT_EQ(B_OK, bridge.StartOnTerminal(LocalArguments()));
		termios cooked;
		ASSERT_EQ(B_OK, bridge.GetInitialTerminalMode(&cooked));
		ASSERT_TRUE(bridge.WaitForOutput("Hello, Bo\r\n", kTimeout))
			<< bridge.Output();
		termios raw;
		ASSERT_EQ(B_OK, bridge.GetTerminalMode(&raw));
		EXPECT_EQ(0u, raw.c_lflag & (ICANON | ECHO));

		switch (which.way) {
			case WayOut::kQuit:
				bridge.Type("q");
				break;
			case WayOut::kTerminate:
				// kill, not the pid's group: only the bridge gets it.
				ASSERT_EQ(0, kill(bridge.Pid(), SIGTERM));
				break;
			case WayOut::kInterrupt:
				// Ctrl-C on the keyboard.
				bridge.Type("\x03");
				break;
			case WayOut::kDoorKilled:
			{
				BMessenger door(kDoorSignature);
				ASSERT_TRUE(door.IsValid());
				ASSERT_EQ(0, kill(door.Team(), SIGKILL));
				break;
			}
		}
		int exitCode = -1;
		ASSERT_EQ(B_OK, bridge.WaitForExit(kTimeout, &exitCode));
		EXPECT_EQ(which.exitCode, exitCode) << bridge.Output();
		termios after;
		ASSERT_EQ(B_OK, bridge.GetTerminalMode(&after));
		ExpectSameMode(cooked, after);
		if (which.way == WayOut::kDoorKilled) {
			EXPECT_NE(std::string::npos,
				bridge.Output().find("The door has closed.\r\n"));
		}
		// The user left one way or another: the host lets the user go
		// before the next case enters the same name.
		ASSERT_TRUE(WaitUntilNotRunning(ZENBO_SIGNATURE, kTimeout));
	}
}
