// A small door program for the door kit's tests. The test process plays
// Zenbo; this program is the door, started as
//   TestDoor <signature> <thread suffix> <session kind> [<script>]
// Every user who enters gets a session of the given kind:
//   script    runs the script, one step per character:
//               c  GetChar, then shows "<n>" with the char's value n
//               l  GetString, then shows "[line]"
//               t  shows "text"
//               q  takes leave (CloseDoor) and ends its thread, as a game
//                  does when its user quits
//             and returns from RunDoor at the end of the script.
//   base      a session that does not override RunDoor.
//   recorder  runs the script too, and writes every SendString and
//             CloseDoor that reaches it to standard output, before passing
//             it on to the kit.
// When the application has ended, the program writes the exit status of
// every session thread ("thread Ash.Test ended with 0") and how many session
// objects are still alive ("sessions left: 0").

#include <ZenboDoorKit.h>
#include <ZenboDoorThread.h>

#include <Message.h>
#include <OS.h>

#include <atomic>
#include <mutex>
#include <stdio.h>
#include <string.h>
#include <string>
#include <utility>
#include <vector>


static std::atomic<int32> sLiveSessions = 0;
static std::mutex sOutputLock;
// The session threads by name; only the application's thread uses it.
static std::vector<std::pair<std::string, thread_id>> sThreads;


static void
WriteLine(const std::string& line)
{
	std::lock_guard<std::mutex> lock(sOutputLock);
	fputs(line.c_str(), stdout);
	fputc('\n', stdout);
	fflush(stdout);
}


// Counts itself, so that the program can tell whether every session object
// was released once its thread had ended.
class ScriptSession : public ZenboDoorThread {
public:
	ScriptSession(BString userName, BString threadSuffix, BString script)
		:
		ZenboDoorThread(userName, threadSuffix),
		fScript(script)
	{
		fUserName = userName;
		sLiveSessions++;
	}

	virtual ~ScriptSession()
	{
		sLiveSessions--;
	}

	virtual void RunDoor() override
	{
		for (int32 i = 0; i < fScript.Length(); i++) {
			switch (fScript[i]) {
				case 'c':
				{
					BString shown("<");
					shown << int32(GetChar()) << ">";
					SendString(shown);
					break;
				}
				case 'l':
					SendString(BString("[") + GetString() + "]");
					break;
				case 't':
					SendString("text");
					break;
				case 'q':
					CloseDoor();
					exit_thread(0);
			}
		}
	}

private:
	BString fScript;
};


class BaseSession : public ZenboDoorThread {
public:
	BaseSession(BString userName, BString threadSuffix)
		:
		ZenboDoorThread(userName, threadSuffix)
	{
		fUserName = userName;
		sLiveSessions++;
	}

	virtual ~BaseSession()
	{
		sLiveSessions--;
	}
};


class RecorderSession : public ScriptSession {
public:
	RecorderSession(BString userName, BString threadSuffix, BString script)
		:
		ScriptSession(userName, threadSuffix, script)
	{
	}

	virtual bool SendString(BString text) override
	{
		std::string line = "SendString ";
		for (int32 i = 0; i < text.Length(); i++) {
			if (text[i] == '\n')
				line += "\\n";
			else
				line += text[i];
		}
		WriteLine(line);
		return ScriptSession::SendString(text);
	}

	virtual void CloseDoor() override
	{
		WriteLine("CloseDoor");
		ScriptSession::CloseDoor();
	}
};


class TestDoorApp : public ZenboDoorKit {
public:
	TestDoorApp(BString signature, BString threadSuffix, std::string kind,
		BString script)
		:
		ZenboDoorKit(signature, threadSuffix),
		fKind(kind),
		fScript(script)
	{
	}

	virtual void StartDoor(BMessage* message) override
	{
		BString userName;
		if (message->FindString("UserName", 0, &userName) != B_OK)
			userName = "";

		ZenboDoorThread* session;
		if (fKind == "base")
			session = new BaseSession(userName, fThreadSuffix);
		else if (fKind == "recorder")
			session = new RecorderSession(userName, fThreadSuffix, fScript);
		else
			session = new ScriptSession(userName, fThreadSuffix, fScript);

		BString threadName = userName + fThreadSuffix;
		thread_id thread = spawn_thread(ZenboDoorThread::Run,
			threadName.String(), B_NORMAL_PRIORITY, session);
		if (thread < 0)
			delete session;
		else {
			sThreads.push_back({threadName.String(), thread});
			resume_thread(thread);
		}

		ZenboDoorKit::StartDoor(message);
	}

private:
	std::string fKind;
	BString fScript;
};


int
main(int argc, char** argv)
{
	if (argc < 4) {
		fprintf(stderr, "usage: %s <signature> <thread suffix> "
			"script|base|recorder [<script>]\n", argv[0]);
		return 2;
	}

	{
		TestDoorApp application(argv[1], argv[2], argv[3],
			argc > 4 ? argv[4] : "");
		status_t status = application.InitCheck();
		if (status != B_OK) {
			fprintf(stderr, "%s: cannot run as %s: %s\n", argv[0], argv[1],
				strerror_status(status));
			return 1;
		}
		application.Run();
	}

	// Counted before this program waits for any thread of its own, so that
	// the count tells what the application left behind.
	int32 sessionsLeft = sLiveSessions;
	for (const auto& [name, thread] : sThreads) {
		status_t status;
		status_t result = wait_for_thread(thread, &status);
		WriteLine("thread " + name + " ended with "
			+ (result == B_OK ? std::to_string(status)
				: strerror_status(result)));
	}
	WriteLine("sessions left: " + std::to_string(sessionsLeft));
	return 0;
}
