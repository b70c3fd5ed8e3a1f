// The exchanges a door session makes with Zenbo, through the door kit's own
// path (a new messenger for every message, as a session makes them), beside
// a raw Unix-socket request and reply of the same sizes between the same
// two processes, measured in the same run; the ratios are printed at the
// end. The program starts its peer itself: itself again, as
// "--serve <raw socket path>", which registers as Zenbo and answers every
// message as Zenbo does, and on a thread of its own answers the raw socket.
#include <Application.h>
#include <Message.h>
#include <Messenger.h>
#include <ZenboDoorThread.h>
#include <ZenboProtocol.h>

#include <benchmark/benchmark.h>

#include <errno.h>
#include <ftw.h>
#include <map>
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
#include <thread>
#include <unistd.h>


extern char** environ;

// The frame header of the application kit's wire format.
static const size_t kFrameHeaderSize = 16;

static std::string sRawPath;


// The requests and replies as the door kit and Zenbo make them.
static BMessage
KeyRequest()
{
	BMessage request(kGetChar);
	request.AddString(kUserNameField, "Ash");
	return request;
}


static BMessage
KeyReply()
{
	BMessage reply(kNone);
	reply.AddInt32(kCharField, 'k');
	return reply;
}


static BMessage
TextRequest()
{
	BMessage request(kSendString);
	request.AddString(kStringField, "k");
	request.AddInt32(kEnumField, 0);
	request.AddString(kUserNameField, "Ash");
	return request;
}


static BMessage
TextReply()
{
	return BMessage(B_REPLY);
}


class AnsweringZenbo : public BApplication {
public:
	AnsweringZenbo() : BApplication(ZENBO_SIGNATURE) {}

	void MessageReceived(BMessage* message) override
	{
		switch (message->what) {
			case kGetChar:
			{
				BMessage reply = KeyReply();
				message->SendReply(&reply);
				break;
			}
			case kSendString:
			{
				BMessage reply = TextReply();
				message->SendReply(&reply);
				break;
			}
			default:
				BApplication::MessageReceived(message);
		}
	}
};


static bool
ReadExactly(int fd, char* buffer, size_t size)
{
	size_t got = 0;
	while (got < size) {
		ssize_t count = recv(fd, buffer + got, size - got, 0);
		if (count <= 0)
			return false;
		got += size_t(count);
	}
	return true;
}


// Each connection first says how many bytes a request has and how many a
// reply; then every request is answered with that many bytes.
static void
ServeRaw(int listener)
{
	while (true) {
		int connection = accept(listener, NULL, NULL);
		if (connection < 0)
			return;
		uint32 sizes[2];
		if (ReadExactly(connection, (char*)sizes, sizeof(sizes))) {
			std::string request(sizes[0], '\0');
			std::string reply(sizes[1], 'r');
			while (ReadExactly(connection, request.data(), request.size())) {
				if (send(connection, reply.data(), reply.size(), MSG_NOSIGNAL)
						!= ssize_t(reply.size()))
					break;
			}
		}
		close(connection);
	}
}


static int
Serve(const char* rawPath)
{
	int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, rawPath, sizeof(address.sun_path) - 1);
	if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address))
			!= 0 || listen(listener, 4) != 0)
		return 1;
	std::thread(ServeRaw, listener).detach();

	AnsweringZenbo zenbo;
	if (zenbo.InitCheck() != B_OK)
		return 1;
	zenbo.Run();
	return 0;
}


// A session as a door makes one, with its user's name, used only for its
// exchanges; its thread is the benchmark's.
class BenchSession : public ZenboDoorThread {
public:
	BenchSession() : ZenboDoorThread("Ash", ".Bench") { fUserName = "Ash"; }
};


static void
DoorKitGetChar(benchmark::State& state)
{
	BenchSession session;
	BMessage request = KeyRequest();
	for (auto _ : state) {
		BMessage reply = session.PostToZenbo(request);
		if (reply.what != kNone) {
			state.SkipWithError("the key exchange failed");
			return;
		}
	}
}
BENCHMARK(DoorKitGetChar)->UseRealTime();


static void
DoorKitSendString(benchmark::State& state)
{
	BenchSession session;
	for (auto _ : state)
		session.SendString("k");
}
BENCHMARK(DoorKitSendString)->UseRealTime();


// One messenger kept for every message: what the kit costs without a
// connection per message.
static void
ReusedMessengerSendString(benchmark::State& state)
{
	BMessenger zenbo(ZENBO_SIGNATURE);
	BMessage request = TextRequest();
	for (auto _ : state) {
		BMessage reply;
		if (zenbo.SendMessage(&request, &reply) != B_OK
			|| reply.what != B_REPLY) {
			state.SkipWithError("the text exchange failed");
			return;
		}
	}
}
BENCHMARK(ReusedMessengerSendString)->UseRealTime();


static void
RawExchange(benchmark::State& state, const BMessage& request,
	const BMessage& reply)
{
	int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, sRawPath.c_str(), sizeof(address.sun_path) - 1);
	if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address))
			!= 0) {
		state.SkipWithError("the raw socket is not there");
		close(fd);
		return;
	}
	uint32 sizes[2] = {
		uint32(kFrameHeaderSize + request.FlattenedSize()),
		uint32(kFrameHeaderSize + reply.FlattenedSize())
	};
	send(fd, sizes, sizeof(sizes), MSG_NOSIGNAL);
	std::string bytes(sizes[0], 'q');
	std::string answer(sizes[1], '\0');
	for (auto _ : state) {
		if (send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
				!= ssize_t(bytes.size())
			|| !ReadExactly(fd, answer.data(), answer.size())) {
			state.SkipWithError("the raw socket went away");
			break;
		}
	}
	close(fd);
}


static void
RawGetChar(benchmark::State& state)
{
	RawExchange(state, KeyRequest(), KeyReply());
}
BENCHMARK(RawGetChar)->UseRealTime();


static void
RawSendString(benchmark::State& state)
{
	RawExchange(state, TextRequest(), TextReply());
}
BENCHMARK(RawSendString)->UseRealTime();


// Notes the real time of every benchmark, to put the kit beside the limit.
class RatioReporter : public benchmark::ConsoleReporter {
public:
	void ReportRuns(const std::vector<Run>& runs) override
	{
		ConsoleReporter::ReportRuns(runs);
		for (const Run& run : runs) {
			// With repetitions, their median stands for the benchmark.
			bool median = run.run_type == Run::RT_Aggregate
				&& run.aggregate_name == "median";
			if ((run.run_type != Run::RT_Iteration && !median)
				|| run.error_occurred)
				continue;
			// "DoorKitGetChar/real_time": the function's name is the key.
			std::string name = run.run_name.function_name;
			if (median || fNanoseconds.count(name) == 0)
				fNanoseconds[name] = run.GetAdjustedRealTime();
		}
	}

	void PrintRatio(const char* kit, const char* raw) const
	{
		auto a = fNanoseconds.find(kit);
		auto b = fNanoseconds.find(raw);
		if (a == fNanoseconds.end() || b == fNanoseconds.end() || b->second <= 0)
			return;
		printf("%-32s %8.2f us  %-18s %8.2f us  ratio %.2fx\n", kit,
			a->second / 1000, raw, b->second / 1000, a->second / b->second);
	}

private:
	std::map<std::string, double> fNanoseconds;
};


static pid_t
StartPeer(const char* self, const char* rawPath)
{
	char* arguments[] = {const_cast<char*>(self), const_cast<char*>("--serve"),
		const_cast<char*>(rawPath), NULL};
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
	if (argc == 3 && strcmp(argv[1], "--serve") == 0)
		return Serve(argv[2]);
	if (argc >= 2 && strcmp(argv[1], "--help") == 0) {
		printf("usage: %s [benchmark options]\n"
			"Measures a door session's exchanges with Zenbo against a raw\n"
			"Unix-socket request and reply of the same sizes, and prints\n"
			"their ratios. Takes Google Benchmark's options.\n", argv[0]);
		return 0;
	}

	// A boot volume of its own, so that nothing of the user's is touched.
	char folder[] = "/tmp/messaging-bench-XXXXXX";
	if (mkdtemp(folder) == NULL) {
		perror("messaging_bench");
		return 1;
	}
	setenv("BOOT_VOLUME", folder, 1);
	sRawPath = std::string(folder) + "/raw.sock";

	pid_t peer = StartPeer(argv[0], sRawPath.c_str());
	bool ready = false;
	for (int attempt = 0; attempt < 1000 && !ready; attempt++) {
		ready = BMessenger(ZENBO_SIGNATURE).InitCheck() == B_OK
			&& access(sRawPath.c_str(), F_OK) == 0;
		if (!ready)
			poll(NULL, 0, 10);
	}

	int result = 1;
	if (ready) {
		benchmark::Initialize(&argc, argv);
		RatioReporter reporter;
		benchmark::RunSpecifiedBenchmarks(&reporter);
		benchmark::Shutdown();
		printf("\nA session's exchange against the raw request and reply:\n");
		reporter.PrintRatio("DoorKitGetChar", "RawGetChar");
		reporter.PrintRatio("DoorKitSendString", "RawSendString");
		reporter.PrintRatio("ReusedMessengerSendString", "RawSendString");
		result = 0;
	} else
		fprintf(stderr, "messaging_bench: the peer did not start\n");

	BMessenger(ZENBO_SIGNATURE).SendMessage(B_QUIT_REQUESTED);
	waitpid(peer, NULL, 0);
	nftw(folder, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
	return result;
}
