#include "ShellTest.h"

#include <Messenger.h>
#include <OS.h>
#include <ZenboProtocol.h>


// The door application as Zenbo sees it: the reply to a start message and
// the session thread that it announces.
namespace {


class VraskAppTest : public ShellTest {
protected:
	// Whether exactly one thread of the door, not of this process, bears the
	// name.
	bool HasOneDoorThread(const char* name)
	{
		named_thread threads[4];
		int32 count = find_named_threads(name, threads, 4);
		return count == 1 && threads[0].team != current_team();
	}
};


TEST_F(VraskAppTest, SessionThreadBearsTheNameThatTheReplyAnnounces)
{
	ASSERT_EQ(fDoor.StartDoor(), B_OK);

	// While the user thinks about the name, the session's thread waits for
	// the key and can be looked at.
	fDoor.Host().HoldKeys("Ash");
	BMessage reply;
	ASSERT_EQ(fDoor.Enter("Ash", "\nyq", &reply), B_OK);
	ASSERT_TRUE(fDoor.Host().WaitUntilAsked("Ash", 20000000));
	EXPECT_TRUE(HasOneDoorThread("Ash.Drelmoor"));
	fDoor.Host().ReleaseKeys("Ash");

	EXPECT_EQ(reply.what, (uint32)kNone);
	BString threadName;
	EXPECT_EQ(reply.FindString(kThreadNameField, &threadName), B_OK);
	EXPECT_EQ(threadName, "Ash.Drelmoor");

	int exitCode = -1;
	ASSERT_EQ(fDoor.WaitForDoorExit(&exitCode), B_OK);
	EXPECT_EQ(exitCode, 0);
	named_thread thread;
	EXPECT_EQ(find_named_threads("Ash.Drelmoor", &thread, 1), 0);
	EXPECT_TRUE(HasPlayer("Ash"));
}


TEST_F(VraskAppTest, StartWithoutUserNameServesTheEmptyName)
{
	ASSERT_EQ(fDoor.StartDoor(), B_OK);
	fDoor.Host().SetKeys("", "\nyq");
	fDoor.Host().HoldKeys("");

	BMessage reply;
	ASSERT_EQ(ScriptedHost::SendToDoor(kDrelmoorSignature,
		BMessage(kStartDoor), &reply), B_OK);
	BString threadName;
	EXPECT_EQ(reply.FindString(kThreadNameField, &threadName), B_OK);
	EXPECT_EQ(threadName, ".Drelmoor");

	ASSERT_TRUE(fDoor.Host().WaitUntilAsked("", 20000000));
	EXPECT_TRUE(HasOneDoorThread(".Drelmoor"));
	fDoor.Host().ReleaseKeys("");

	int exitCode = -1;
	ASSERT_EQ(fDoor.WaitForDoorExit(&exitCode), B_OK);
	EXPECT_EQ(exitCode, 0);

	// The empty name offers itself as the character's name. Its player file
	// would be the users folder itself, so nothing is saved.
	std::vector<std::string> expected = Greeting();
	expected.insert(expected.end(), {"\n\nIt looks like you're new here.\n",
		"\nWhat name would you like? [", "", "] : ", "\n",
		"\n[", "", "] is this correct?", "y",
		"\n< : Town> ", "q", "uit"});
	EXPECT_EQ(Describe(fDoor.Host().Texts("")), Describe(expected));
}


TEST_F(VraskAppTest, SecondDoorOnTheSameVolumeEndsWithAnError)
{
	ASSERT_EQ(fDoor.StartDoor(), B_OK);

	ChildProcess second;
	second.CaptureOutput();
	ASSERT_EQ(second.Start(DRELMOOR_BINARY_DIR "/bin/Drelmoor"), B_OK);
	int exitCode = 0;
	ASSERT_EQ(second.WaitForExit(20000000, &exitCode), B_OK);
	EXPECT_NE(exitCode, 0);
	EXPECT_NE(second.Errors().find(kDrelmoorSignature), std::string::npos)
		<< second.Errors();

	// The first door still serves its users.
	std::vector<std::string> texts = fDoor.Play("Ash", "\nyq");
	ASSERT_FALSE(texts.empty());
	EXPECT_EQ(texts.back(), "uit");
}


TEST_F(VraskAppTest, HelpIsAnsweredAndOtherArgumentsRefusedWithoutRunning)
{
	ChildProcess help;
	help.CaptureOutput();
	ASSERT_EQ(help.Start(DRELMOOR_BINARY_DIR "/bin/Drelmoor", {"--help"}),
		B_OK);
	int exitCode = -1;
	ASSERT_EQ(help.WaitForExit(20000000, &exitCode), B_OK);
	EXPECT_EQ(exitCode, 0);
	EXPECT_EQ(help.Output().rfind("Usage: Drelmoor", 0), 0u) << help.Output();

	ChildProcess mistaken;
	mistaken.CaptureOutput();
	ASSERT_EQ(mistaken.Start(DRELMOOR_BINARY_DIR "/bin/Drelmoor",
		{"--port", "23"}), B_OK);
	ASSERT_EQ(mistaken.WaitForExit(20000000, &exitCode), B_OK);
	EXPECT_EQ(exitCode, 2);
	EXPECT_TRUE(mistaken.Output().empty());

	// Neither of them took the door's signature.
	EXPECT_FALSE(BMessenger(kDrelmoorSignature).IsValid());
}


}	// namespace
