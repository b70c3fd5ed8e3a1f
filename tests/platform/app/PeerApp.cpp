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
//   'limt'  lowers the descriptor limit so that nothing more can be opened,
//           then replies 'NONE'
//   'orig'  replies 'ORIG' with "remote": whether the message came from
//           another process
//   'quit'  replies 'NONE', then quits
// It exits with 0 after its loop has ended, and with 3 when the signature
// is taken.
#include <Application.h>
#include <Message.h>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>


static int
HighestDescriptor()
{
	int highest = 0;
	DIR* folder = opendir("/proc/self/fd");
	while (dirent* entry = readdir(folder)) {
		int fd = atoi(entry->d_name);
		if (fd > highest && fd != dirfd(folder))
			highest = fd;
	}
	closedir(folder);
	return highest;
}


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
			case 'limt':
			{
				// Answered first: even a sanitizer's checks need descriptors.
				message->SendReply('NONE');
				rlimit limit;
				getrlimit(RLIMIT_NOFILE, &limit);
				limit.rlim_cur = HighestDescriptor() + 1;
				setrlimit(RLIMIT_NOFILE, &limit);
				// Fill the gaps below the limit too; these stay open.
				while (open("/dev/null", O_RDONLY | O_CLOEXEC) >= 0)
					;
				break;
			}
			case 'orig':
			{
				BMessage reply('ORIG');
				reply.AddBool("remote", message->IsSourceRemote());
				message->SendReply(&reply);
				break;
			}
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
