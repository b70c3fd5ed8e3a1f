// One synchronous request and reply between two processes on the
// application kit, beside a raw Unix-socket ping-pong of the same number of
// bytes between two processes, measured in the same run. The program starts
// its own peers: itself again, as "--serve-app <signature>" (an application
// that answers every message) and as "--serve-raw <path>" (a socket that
// sends back whatever it reads).
#include <Application.h>
#include <Message.h>
#include <Messenger.h>

#include <benchmark/benchmark.h>

#include <errno.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>


extern char** environ;

static const char* kSignature = "application/x-vnd.Drelmoor-Bench";
static std::string sRawPath;


// The request a session sends for every text it shows.
static BMessage
ShowTextRequest()
{
	BMessage request('sstr');
	request.AddString("String", "k");
	request.AddInt32("Enum", 0);
	request.AddString("UserName", "Ash");
	return request;
}


class AnsweringApp : public BApplication {
public:
	AnsweringApp() : BApplication(kSignature) {}

	void MessageReceived(BMessage* message) override
	{
		message->SendReply('NONE');
	}
};


static int
ServeApplication()
{
	AnsweringApp application;
	if (application.InitCheck() != B_OK)
		return 1;
	application.Run();
	return 0;
}


static int
ServeRaw(const char* path)
{
	int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, path, sizeof(address.sun_path) - 1);
	if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
		|| listen(listener, 4) != 0)
		return 1;
	while (true) {
		int connection = accept(listener, NULL, NULL);
		if (connection < 0)
			return 1;
		char buffer[4096];
		ssize_t got;
		while ((got = recv(connection, buffer, sizeof(buffer), 0)) > 0) {
			if (send(connection, buffer, got, MSG_NOSIGNAL) != got)
				break;
		}
		close(connection);
	}
}


static void
LayerRoundTrip(benchmark::State& state)
{
	BMessenger messenger(kSignature);
	if (messenger.InitCheck() != B_OK) {
		state.SkipWithError("the answering application is not running");
		return;
	}
	BMessage request = ShowTextRequest();
	for (auto _ : state) {
		BMessage reply;
		if (messenger.SendMessage(&request, &reply) != B_OK
			|| reply.what != 'NONE') {
			state.SkipWithError("exchange failed");
			return;
		}
	}
}
BENCHMARK(LayerRoundTrip)->UseRealTime();


// A session makes a new messenger for every message it sends.
static void
LayerRoundTripNewMessenger(benchmark::State& state)
{
	BMessage request = ShowTextRequest();
	for (auto _ : state) {
		BMessenger messenger(kSignature);
		BMessage reply;
		if (messenger.SendMessage(&request, &reply) != B_OK
			|| reply.what != 'NONE') {
			state.SkipWithError("exchange failed");
			return;
		}
	}
}
BENCHMARK(LayerRoundTripNewMessenger)->UseRealTime();


static void
RawUnixPingPong(benchmark::State& state)
{
	int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, sRawPath.c_str(), sizeof(address.sun_path) - 1);
	if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
		state.SkipWithError("the echoing socket is not there");
		close(fd);
		return;
	}
	// As many bytes as the layer's request frame holds.
	BMessage request = ShowTextRequest();
	std::string bytes(16 + request.FlattenedSize(), 'x');
	std::string answer(bytes.size(), '\0');
	for (auto _ : state) {
		send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
		size_t got = 0;
		while (got < answer.size()) {
			ssize_t count = recv(fd, answer.data() + got, answer.size() - got, 0);
			if (count <= 0) {
				state.SkipWithError("the echoing socket went away");
				close(fd);
				return;
			}
			got += count;
		}
	}
	close(fd);
}
BENCHMARK(RawUnixPingPong)->UseRealTime();


static pid_t
StartPeer(const char* self, const char* mode, const char* argument)
{
	char* arguments[] = {const_cast<char*>(self), const_cast<char*>(mode),
		const_cast<char*>(argument), NULL};
	pid_t pid;
	if (posix_spawn(&pid, "/proc/self/exe", NULL, NULL, arguments, environ) != 0)
		return -1;
	return pid;
}


static int
RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
	return remove(path);
}


int
main(int argc, char** argv)
{
	if (argc == 2 && strcmp(argv[1], "--serve-app") == 0)
		return ServeApplication();
	if (argc == 3 && strcmp(argv[1], "--serve-raw") == 0)
		return ServeRaw(argv[2]);

	// A boot volume of its own, so that nothing of the user's is touched.
	char folder[] = "/tmp/messaging-bench-XXXXXX";
	if (mkdtemp(folder) == NULL) {
		perror("messaging_bench");
		return 1;
	}
	setenv("BOOT_VOLUME", folder, 1);
	sRawPath = std::string(folder) + "/raw.sock";

	pid_t application = StartPeer(argv[0], "--serve-app", NULL);
	pid_t raw = StartPeer(argv[0], "--serve-raw", sRawPath.c_str());
	bool ready = false;
	for (int attempt = 0; attempt < 1000 && !ready; attempt++) {
		ready = BMessenger(kSignature).InitCheck() == B_OK
			&& access(sRawPath.c_str(), F_OK) == 0;
		if (!ready)
			poll(NULL, 0, 10);
	}

	int result = 1;
	if (ready) {
		benchmark::Initialize(&argc, argv);
		benchmark::RunSpecifiedBenchmarks();
		benchmark::Shutdown();
		result = 0;
	} else
		fprintf(stderr, "messaging_bench: the peers did not start\n");

	BMessenger(kSignature).SendMessage(B_QUIT_REQUESTED);
	kill(raw, SIGTERM);
	waitpid(raw, NULL, 0);
	waitpid(application, NULL, 0);
	nftw(folder, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
	return result;
}
