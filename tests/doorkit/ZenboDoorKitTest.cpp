#include <ZenboDoorKit.h>

#include <Message.h>
#include <Messenger.h>
#include <OS.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedHost.h"
#include "TestVolume.h"


// The door application runs in the test process; the test's thread plays
// Zenbo and the sessions, by sending the messages they would send.

static const char* kDoorSignature = "application/x-vnd.DoorKitTest-Door";
static const bigtime_t kTimeout = 20000000;


// Notes every start message that reached the door program's StartDoor, so
// that a test sees both the dispatch to the override and what never came.
class NotingDoor : public ZenboDoorKit {
public:
	explicit NotingDoor(const char* threadSuffix)
		:
		ZenboDoorKit(kDoorSignature, threadSuffix)
	{
	}

	virtual void StartDoor(BMessage* message) override
	{
		{
			std::lock_guard<std::mutex> lock(fLock);
			const char* userName = NULL;
			fStarted.push_back(message->FindString("UserName", &userName)
				== B_OK ? userName : "(none)");
		}
		ZenboDoorKit::StartDoor(message);
	}

	std::vector<std::string> Started()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fStarted;
	}

private:
	std::mutex fLock;
	std::vector<std::string> fStarted;
};


// Runs the door's loop on a thread of its own, as a door program's main
// thread would; a door still running at the end of the test is asked to quit.
class RunningDoor {
public:
	explicit RunningDoor(const char* threadSuffix = ".Test")
		:
		fDoor(threadSuffix)
	{
		if (fDoor.InitCheck() != B_OK)
			return;
		fThread = std::thread([this] {
			fDoor.Run();
			std::lock_guard<std::mutex> lock(fLock);
			fEnded = true;
			fChanged.notify_all();
		});
	}

	~RunningDoor()
	{
		if (!fThread.joinable())
			return;
		if (!HasEnded())
			fDoor.PostMessage(B_QUIT_REQUESTED);
		fThread.join();
	}

	NotingDoor& Door() { return fDoor; }

	bool HasEnded()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fEnded;
	}

	bool WaitUntilEnded()
	{
		std::unique_lock<std::mutex> lock(fLock);
		return fChanged.wait_for(lock, std::chrono::microseconds(kTimeout),
			[this] { return fEnded; });
	}

private:
	NotingDoor fDoor;
	std::thread fThread;
	std::mutex fLock;
	std::condition_variable fChanged;
	bool fEnded = false;
};


static BMessage
DoorMessage(uint32 what, const char* userName)
{
	BMessage message(what);
	if (userName != NULL)
		message.AddString("UserName", userName);
	return message;
}


// Sends as Zenbo or a session would, and describes the answer.
static std::string
Exchange(uint32 what, const char* userName)
{
	BMessage reply;
	status_t status = ScriptedHost::SendToDoor(kDoorSignature,
		DoorMessage(what, userName), &reply);
	if (status != B_OK)
		return std::string("send failed: ") + strerror_status(status);
	return DescribeMessage(reply);
}


static const char* kNoReply = "_NRP";


class ZenboDoorKitTest : public testing::Test {
protected:
	TestVolume fVolume;
};


TEST_F(ZenboDoorKitTest, StartMessageIsAnsweredWithTheSessionThreadName)
{
	RunningDoor door(".Test");
	ASSERT_EQ(door.Door().InitCheck(), B_OK);

	EXPECT_EQ(Exchange('sdoo', "Ash"), "NONE theThreadName=\"Ash.Test\"");
	EXPECT_EQ(door.Door().Started(), std::vector<std::string>{"Ash"});
}


TEST_F(ZenboDoorKitTest, StartMessageWithoutUserNameServesTheEmptyName)
{
	RunningDoor door(".Test");
	ASSERT_EQ(door.Door().InitCheck(), B_OK);

	EXPECT_EQ(Exchange('sdoo', NULL), "NONE theThreadName=\".Test\"");
	// A quit message without a name is for the empty name too.
	EXPECT_EQ(Exchange('uqui', NULL), "NONE");
	EXPECT_TRUE(door.WaitUntilEnded());
}


TEST_F(ZenboDoorKitTest, EmptySuffixNamesTheThreadAfterTheUser)
{
	RunningDoor door("");
	ASSERT_EQ(door.Door().InitCheck(), B_OK);

	EXPECT_EQ(Exchange('sdoo', "Ash"), "NONE theThreadName=\"Ash\"");
}


TEST_F(ZenboDoorKitTest, LastUserQuitIsAnsweredBeforeTheApplicationEnds)
{
	RunningDoor door;
	ASSERT_EQ(door.Door().InitCheck(), B_OK);
	ASSERT_EQ(Exchange('sdoo', "Ash"), "NONE theThreadName=\"Ash.Test\"");

	// Had the application quit first, the quit message would have been
	// dropped with the rest of the queue, unanswered.
	EXPECT_EQ(Exchange('uqui', "Ash"), "NONE");
	EXPECT_TRUE(door.WaitUntilEnded());
}


TEST_F(ZenboDoorKitTest, SameNameTwiceNeedsTwoQuits)
{
	RunningDoor door;
	ASSERT_EQ(door.Door().InitCheck(), B_OK);
	ASSERT_EQ(Exchange('sdoo', "Ash"), "NONE theThreadName=\"Ash.Test\"");
	ASSERT_EQ(Exchange('sdoo', "Ash"), "NONE theThreadName=\"Ash.Test\"");

	EXPECT_EQ(Exchange('uqui', "Ash"), "NONE");
	// Still running: the second entry is found and answered.
	EXPECT_EQ(Exchange('uqui', "Ash"), "NONE");
	EXPECT_TRUE(door.WaitUntilEnded());
}


TEST_F(ZenboDoorKitTest, NamesDifferingInCaseAreDifferentUsers)
{
	RunningDoor door;
	ASSERT_EQ(door.Door().InitCheck(), B_OK);
	ASSERT_EQ(Exchange('sdoo', "ash"), "NONE theThreadName=\"ash.Test\"");

	EXPECT_EQ(Exchange('uqui', "Ash"), kNoReply);
	EXPECT_EQ(Exchange('uqui', "ash"), "NONE");
	EXPECT_TRUE(door.WaitUntilEnded());
}


TEST_F(ZenboDoorKitTest, QuitForNobodyLeavesAnEmptyDoorRunning)
{
	RunningDoor door;
	ASSERT_EQ(door.Door().InitCheck(), B_OK);

	EXPECT_EQ(Exchange('uqui', "Nobody"), kNoReply);
	// The door still takes users, and still ends with the last of them.
	EXPECT_EQ(Exchange('sdoo', "Ash"), "NONE theThreadName=\"Ash.Test\"");
	EXPECT_EQ(Exchange('uqui', "Nobody"), kNoReply);
	EXPECT_EQ(Exchange('uqui', "Ash"), "NONE");
	EXPECT_TRUE(door.WaitUntilEnded());
}


TEST_F(ZenboDoorKitTest, AddUserPutsTheNameInTheList)
{
	RunningDoor door;
	ASSERT_EQ(door.Door().InitCheck(), B_OK);
	ASSERT_TRUE(door.Door().Lock());
	BString userName("Ash");
	door.Door().AddUser(userName);
	userName = "Changed";
	door.Door().Unlock();

	EXPECT_EQ(Exchange('uqui', "Ash"), "NONE");
	EXPECT_TRUE(door.WaitUntilEnded());
	EXPECT_TRUE(door.Door().Started().empty());
}


TEST_F(ZenboDoorKitTest, OtherCommandsGoToTheApplication)
{
	RunningDoor door;
	ASSERT_EQ(door.Door().InitCheck(), B_OK);

	// The platform's application drops what it does not know, and the
	// sender is released without an answer.
	EXPECT_EQ(Exchange('what', "Ash"), kNoReply);
	EXPECT_TRUE(door.Door().Started().empty());

	// And it ends on a quit request, users in the door or not.
	ASSERT_EQ(Exchange('sdoo', "Ash"), "NONE theThreadName=\"Ash.Test\"");
	door.Door().PostMessage(B_QUIT_REQUESTED);
	EXPECT_TRUE(door.WaitUntilEnded());
}


TEST_F(ZenboDoorKitTest, StartMessageQueuedBehindTheLastQuitIsNotHandled)
{
	RunningDoor door;
	ASSERT_EQ(door.Door().InitCheck(), B_OK);
	ASSERT_EQ(Exchange('sdoo', "Ash"), "NONE theThreadName=\"Ash.Test\"");

	// With the door locked, nothing is dispatched: Ash's quit goes into the
	// queue first, then Birch's start message, from a waiting sender.
	ASSERT_TRUE(door.Door().Lock());
	BMessenger messenger(&door.Door());
	BMessage quit = DoorMessage('uqui', "Ash");
	ASSERT_EQ(messenger.SendMessage(&quit), B_OK);

	std::mutex lock;
	std::condition_variable changed;
	bool sending = false;
	BMessage reply;
	std::thread birch([&] {
		{
			std::lock_guard<std::mutex> guard(lock);
			sending = true;
			changed.notify_all();
		}
		BMessage start = DoorMessage('sdoo', "Birch");
		messenger.SendMessage(&start, &reply);
	});
	{
		std::unique_lock<std::mutex> guard(lock);
		changed.wait(guard, [&] { return sending; });
	}
	door.Door().Unlock();

	birch.join();
	EXPECT_TRUE(door.WaitUntilEnded());
	// Whether it still stood in the queue when the loop ended or came after
	// the door had closed, the start message was never handled, and its
	// sender was released with no reply.
	EXPECT_EQ(reply.what, uint32(B_NO_REPLY));
	EXPECT_EQ(door.Door().Started(), std::vector<std::string>{"Ash"});
}
