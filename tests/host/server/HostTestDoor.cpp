// A small door for the host's tests, under the game's signature and thread
// suffix, whose output is fixed: it greets the user, shows the code of
// every key in angle brackets, and takes leave on "q". With
// TEST_DOOR_QUIT_FIRST naming a file that does not exist yet, the first
// door started creates it and quits at the first start message without
// answering it, as a door does whose last user has just left. With
// TEST_DOOR_STUCK set, every session stops after its greeting and never
// asks for a key again, and the door ignores SIGTERM: a door that never
// ends by itself.

#include <ZenboDoorKit.h>
#include <ZenboDoorThread.h>
#include <ZenboProtocol.h>

#include <OS.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#define kTestDoorSignature	"application/x-vnd.Zenbo.VraskApp"
#define kTestDoorSuffix		".Drelmoor"


class TestSession : public ZenboDoorThread {
public:
	TestSession(BString userName, BString threadSuffix)
		:
		ZenboDoorThread(userName, threadSuffix)
	{
		fUserName = userName;
		BString threadName = userName;
		threadName << threadSuffix;
		fThread = spawn_thread(&ZenboDoorThread::Run, threadName.String(),
			B_NORMAL_PRIORITY, this);
	}

	bool Start()
	{
		return fThread >= 0 && resume_thread(fThread) == B_OK;
	}

	void RunDoor() override
	{
		BString greeting("Hello, ");
		greeting << fUserName << "\n";
		SendString(greeting);
		while (getenv("TEST_DOOR_STUCK") != NULL)
			snooze(1000000);
		while (true) {
			char key = GetChar();
			if (key == 'q')
				break;
			BString code(" <");
			code << (int32)(uint8)key << ">";
			SendString(code);
		}
		SendString(BString("\nBye\n"));
		CloseDoor();
	}

private:
	thread_id fThread = -1;
};


class TestDoor : public ZenboDoorKit {
public:
	TestDoor(bool quitFirst)
		:
		ZenboDoorKit(BString(kTestDoorSignature), BString(kTestDoorSuffix)),
		fQuitFirst(quitFirst)
	{
	}

	void StartDoor(BMessage* message) override
	{
		if (fQuitFirst) {
			// Left unanswered: the host's start message gets B_NO_REPLY.
			Quit();
			return;
		}
		BString userName;
		message->FindString(kUserNameField, &userName);
		TestSession* session = new TestSession(userName, fThreadSuffix);
		ZenboDoorKit::StartDoor(message);
		if (!session->Start()) {
			delete session;
			BMessage quit(kUserQuit);
			quit.AddString(kUserNameField, userName);
			PostMessage(&quit);
		}
	}

private:
	bool fQuitFirst;
};


int
main()
{
	bool quitFirst = false;
	const char* marker = getenv("TEST_DOOR_QUIT_FIRST");
	if (marker != NULL) {
		int file = open(marker, O_WRONLY | O_CREAT | O_EXCL, 0644);
		if (file >= 0) {
			close(file);
			quitFirst = true;
		}
	}

	if (getenv("TEST_DOOR_STUCK") != NULL)
		signal(SIGTERM, SIG_IGN);

	TestDoor door(quitFirst);
	if (door.InitCheck() != B_OK)
		return 1;
	door.Run();
	return 0;
}
