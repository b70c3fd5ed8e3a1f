// A small application for the messaging tests: it registers under the
// signature given on its command line and answers by the command of each
// message:
//   'echo'  replies 'ecko' with every field of the request
//   'drop'  leaves the message unanswered
//   'defr'  detaches the message and answers 'dfrd' from another thread,
//           with the ids of that thread ("replier") and the looper's
//           ("looper")
//   'late'  is answered 'tard' only after the next message has arrived
//   'crsh'  ends the process at once, without answering
//   'quit'  replies 'NONE', then quits
// It exits with 0 after its loop has ended, and with 3 when the signature
// is taken.
#include <Application.h>
#include <Message.h>

#include <stdio.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>


class PeerApp : public BApplication {
public:
	explicit PeerApp(const char* signature)
		:
		BApplication(signature)
	{
	}

	~PeerApp() override
	{
		delete fLate;
	}

	void MessageReceived(BMessage* message) override
	{
		if (fLate != NULL) {
			fLate->SendReply('tard');
			delete fLate;
			fLate = NULL;
		}
		switch (message->what) {
			case 'echo':
			{
				BMessage reply(*message);
				reply.what = 'ecko';
				message->SendReply(&reply);
				break;
			}
			case 'defr':
			{
				BMessage* detached = DetachCurrentMessage();
				int32 looper = int32(syscall(SYS_gettid));
				std::thread([detached, looper] {
					BMessage reply('dfrd');
					reply.AddInt32("replier", int32(syscall(SYS_gettid)));
					reply.AddInt32("looper", looper);
					detached->SendReply(&reply);
					delete detached;
				}).detach();
				break;
			}
			case 'late':
				fLate = DetachCurrentMessage();
				break;
			case 'crsh':
				_exit(9);
			case 'quit':
				message->SendReply('NONE');
				Quit();
				break;
			default:
				BApplication::MessageReceived(message);
		}
	}

private:
	BMessage* fLate = NULL;
};


int
main(int argc, char** argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: PeerApp <signature>\n");
		return 2;
	}
	PeerApp application(argv[1]);
	if (application.InitCheck() != B_OK) {
		fprintf(stderr, "PeerApp: %s\n", strerror_status(application.InitCheck()));
		return 3;
	}
	application.Run();
	return 0;
}
