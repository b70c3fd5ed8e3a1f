#include "ShellTest.h"

#include <Messenger.h>
#include <OS.h>
#include <ZenboProtocol.h>


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

	// While the host handles nothing, the new session waits on its first
	// text, so its thread can be looked at.
	ASSERT_TRUE(fDoor.Host().Lock());
	BMessage reply;
	status_t status = fDoor.Enter("Ash", "\nyq", &reply);
	bool found = HasOneDoorThread("Ash.Drelmoor");
	fDoor.Host().Unlock();

	ASSERT_EQ(status, B_OK);
	EXPECT_EQ(reply.what, (uint32)kNone);
	BString threadName;
	EXPECT_EQ(reply.FindString(kThreadNameField, &threadName), B_OK);
	EXPECT_EQ(threadName, "Ash.Drelmoor");
	EXPECT_TRUE(found);

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

	ASSERT_TRUE(fDoor.Host().Lock());
	BMessage start(kStartDoor);
	BMessage reply;
	status_t status = BMessenger(kDrelmoorSignature).SendMessage(&start,
		&reply);
	bool found = HasOneDoorThread(".Drelmoor");
	fDoor.Host().Unlock();

	ASSERT_EQ(status, B_OK);
	BString threadName;
	EXPECT_EQ(reply.FindString(kThreadNameField, &threadName), B_OK);
	EXPECT_EQ(threadName, ".Drelmoor");
	EXPECT_TRUE(found);

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


}	// namespace
