#include <Messenger.h>

#include "Wire.h"

#include <ChildProcess.h>
#include <TestVolume.h>

#include <gtest/gtest.h>

#include <atomic>
#include <dirent.h>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The kit's private parts, which this test looks at.
using namespace BPrivate;


// The sanitizers' own checks open descriptors; in a process that has none
// left they fail and end it.
#if defined(__SANITIZE_ADDRESS__)
static const bool kSanitized = true;
#elif defined(__has_feature)
static const bool kSanitized = __has_feature(address_sanitizer);
#else
static const bool kSanitized = false;
#endif

static const char* kPeerSignature = "application/x-vnd.Drelmoor-Peer";
static const bigtime_t kPatience = 10000000;


// PeerApp in a process of its own, registered under the signature.
class Peer {
public:
	explicit Peer(const char* signature = kPeerSignature)
		:
		fSignature(signature)
	{
	}

	::testing::AssertionResult Start()
	{
		if (fChild.Start(PEER_APP, {fSignature}) != B_OK)
			return ::testing::AssertionFailure() << "PeerApp did not start";
		if (!WaitForApplication(fSignature.c_str(), kPatience))
			return ::testing::AssertionFailure() << "PeerApp did not register";
		return ::testing::AssertionSuccess();
	}

	ChildProcess& Child() { return fChild; }

private:
	std::string fSignature;
	ChildProcess fChild;
};


static BMessage
Echo(const BMessenger& messenger, const BMessage& request)
{
	BMessage message(request);
	message.what = 'echo';
	BMessage reply;
	EXPECT_EQ(B_OK, messenger.SendMessage(&message, &reply));
	return reply;
}


// The socket files of the volume's runtime folder.
static std::vector<std::string>
SocketFiles(const TestVolume& volume)
{
	std::vector<std::string> files;
	std::string folder = volume.MachinePath("/boot/var/run");
	DIR* directory = opendir(folder.c_str());
	if (directory == NULL)
		return files;
	while (dirent* entry = readdir(directory)) {
		std::string name = entry->d_name;
		if (name.size() > 5 && name.substr(name.size() - 5) == ".sock")
			files.push_back(folder + "/" + name);
	}
	closedir(directory);
	return files;
}


static int
ConnectRaw(const std::string& path)
{
	int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
	if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
		close(fd);
		return -1;
	}
	return fd;
}


// Sends every byte, waiting while the socket is full; an error once the
// peer has gone.
static status_t
SendAllBytes(int fd, const std::string& bytes)
{
	size_t offset = 0;
	while (offset < bytes.size()) {
		ssize_t sent = send(fd, bytes.data() + offset, bytes.size() - offset,
			MSG_NOSIGNAL);
		if (sent <= 0)
			return B_BAD_PORT_ID;
		offset += size_t(sent);
	}
	return B_OK;
}


// Reads the next whole frame; B_BAD_PORT_ID once the peer has closed,
// B_TIMED_OUT when nothing comes in time.
static status_t
ReadFrame(int fd, wire::FrameReader& reader, wire::FrameHeader* header,
	BMessage* message)
{
	while (true) {
		status_t status = reader.Next(header, message);
		if (status != B_WOULD_BLOCK)
			return status;
		pollfd entry = {fd, POLLIN, 0};
		if (poll(&entry, 1, int(kPatience / 1000)) <= 0)
			return B_TIMED_OUT;
		char buffer[64 * 1024];
		ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
		if (got <= 0)
			return B_BAD_PORT_ID;
		reader.Feed(buffer, size_t(got));
	}
}


// True when the peer closes the connection in time (without a reply).
static bool
PeerCloses(int fd)
{
	while (true) {
		pollfd entry = {fd, POLLIN, 0};
		if (poll(&entry, 1, int(kPatience / 1000)) <= 0)
			return false;
		char buffer[256];
		ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
		if (got <= 0)
			return true;
	}
}


TEST(MessengerTest, ProcessesFindEachOtherAndExchangeEveryField)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	BMessenger messenger(kPeerSignature, -1);
	ASSERT_EQ(B_OK, messenger.InitCheck());
	EXPECT_FALSE(messenger.IsTargetLocal());
	EXPECT_EQ(peer.Child().Pid(), messenger.Team());

	BMessage request;
	request.AddString("String", "\nHello, \bworld");
	request.AddInt32("Enum", 0);
	request.AddString("UserName", "Ash");
	request.AddString("String", "second");
	request.AddInt64("Big", INT64_MIN);
	request.AddBool("Flag", false);
	std::string raw(70000, '\0');
	for (size_t i = 0; i < raw.size(); i++)
		raw[i] = char(i * 7);
	request.AddData("Raw", B_RAW_TYPE, raw.data(), raw.size());

	BMessage reply = Echo(messenger, request);
	ASSERT_EQ(uint32('ecko'), reply.what);
	ASSERT_EQ(request.CountNames(B_ANY_TYPE), reply.CountNames(B_ANY_TYPE));
	for (int32 i = 0; i < request.CountNames(B_ANY_TYPE); i++) {
		const char* sentName;
		const char* gotName;
		type_code sentType, gotType;
		int32 sentCount, gotCount;
		request.GetInfo(B_ANY_TYPE, i, &sentName, &sentType, &sentCount);
		reply.GetInfo(B_ANY_TYPE, i, &gotName, &gotType, &gotCount);
		EXPECT_STREQ(sentName, gotName);
		EXPECT_EQ(sentType, gotType);
		ASSERT_EQ(sentCount, gotCount);
		for (int32 j = 0; j < sentCount; j++) {
			const void* sent;
			const void* got;
			ssize_t sentSize, gotSize;
			request.FindData(sentName, sentType, j, &sent, &sentSize);
			reply.FindData(gotName, gotType, j, &got, &gotSize);
			ASSERT_EQ(sentSize, gotSize) << sentName << " " << j;
			EXPECT_EQ(0, memcmp(sent, got, sentSize)) << sentName << " " << j;
		}
	}
	const char* second;
	EXPECT_EQ(B_OK, reply.FindString("String", 1, &second));
	EXPECT_STREQ("second", second);

	// Copies of a messenger share its connection and take turns on it.
	BMessenger copy(messenger);
	EXPECT_EQ(uint32('ecko'), Echo(copy, BMessage()).what);
}


TEST(MessengerTest, MessageFromAnotherProcessKnowsItIsRemote)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	BMessage reply;
	ASSERT_EQ(B_OK, BMessenger(kPeerSignature).SendMessage('orig', &reply));
	EXPECT_EQ(uint32('ORIG'), reply.what);
	bool remote = false;
	EXPECT_EQ(B_OK, reply.FindBool("remote", 0, &remote));
	EXPECT_TRUE(remote);
	// Neither a reply nor a message that was never delivered is remote.
	EXPECT_FALSE(reply.IsSourceRemote());
	EXPECT_FALSE(BMessage('orig').IsSourceRemote());
}


TEST(MessengerTest, UnansweredMessageReleasesSenderWithNoReply)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	BMessenger messenger(kPeerSignature);
	BMessage reply;
	EXPECT_EQ(B_OK, messenger.SendMessage('drop', &reply));
	EXPECT_EQ(uint32(B_NO_REPLY), reply.what);
	// The connection goes on serving.
	EXPECT_EQ(uint32('ecko'), Echo(messenger, BMessage()).what);
	EXPECT_EQ(B_OK, messenger.SendMessage('drop'));
	EXPECT_EQ(uint32('ecko'), Echo(messenger, BMessage()).what);
}


TEST(MessengerTest, DeferredReplyComesFromAnotherThreadOfThePeer)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	BMessenger messenger(kPeerSignature);
	for (int round = 0; round < 3; round++) {
		BMessage reply;
		ASSERT_EQ(B_OK, messenger.SendMessage('defr', &reply));
		ASSERT_EQ(uint32('dfrd'), reply.what);
		int32 replier = 0, looper = 0;
		EXPECT_EQ(B_OK, reply.FindInt32("replier", &replier));
		EXPECT_EQ(B_OK, reply.FindInt32("looper", &looper));
		EXPECT_NE(replier, looper);
	}
}


TEST(MessengerTest, QuitApplicationAnswersThenReadsAsNotRunning)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	BMessenger messenger(kPeerSignature);
	BMessage reply;
	EXPECT_EQ(B_OK, messenger.SendMessage('quit', &reply));
	EXPECT_EQ(uint32('NONE'), reply.what);
	int exitCode = -1;
	ASSERT_EQ(B_OK, peer.Child().WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(0, exitCode);

	EXPECT_FALSE(messenger.IsValid());
	BMessage late('echo');
	EXPECT_EQ(B_BAD_PORT_ID, messenger.SendMessage(&late, &late));
	EXPECT_EQ(uint32(B_NO_REPLY), late.what);
	EXPECT_NE(B_OK, BMessenger(kPeerSignature).InitCheck());
	EXPECT_TRUE(SocketFiles(volume).empty());
}


TEST(MessengerTest, ApplicationDyingWhileSenderWaitsGivesNoReply)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	BMessenger messenger(kPeerSignature);
	BMessage request('crsh');
	request.AddString("UserName", "Ash");
	BMessage reply;
	EXPECT_EQ(B_BAD_PORT_ID, messenger.SendMessage(&request, &reply));
	EXPECT_EQ(uint32(B_NO_REPLY), reply.what);
	EXPECT_TRUE(reply.IsEmpty());
	int exitCode = -1;
	ASSERT_EQ(B_OK, peer.Child().WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(9, exitCode);
}


TEST(MessengerTest, ReplyAfterTheSenderGaveUpIsPassedOver)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	BMessenger messenger(kPeerSignature);
	BMessage late('late');
	BMessage reply;
	EXPECT_EQ(B_TIMED_OUT, messenger.SendMessage(&late, &reply,
		B_INFINITE_TIMEOUT, 100000));
	EXPECT_EQ(uint32(B_NO_REPLY), reply.what);
	// The peer answers 'late' now, before the echo; that answer is skipped.
	EXPECT_EQ(uint32('ecko'), Echo(messenger, BMessage()).what);
	EXPECT_EQ(uint32('ecko'), Echo(messenger, BMessage()).what);
}


TEST(MessengerTest, QuitRequestedFromAnotherProcessEndsTheApplication)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	EXPECT_EQ(B_OK, BMessenger(kPeerSignature).SendMessage(B_QUIT_REQUESTED));
	int exitCode = -1;
	ASSERT_EQ(B_OK, peer.Child().WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(0, exitCode);
	EXPECT_TRUE(SocketFiles(volume).empty());
}


TEST(MessengerTest, ApplicationOutOfDescriptorsTurnsNewcomersAway)
{
	if (kSanitized)
		GTEST_SKIP() << "a sanitized peer cannot run out of descriptors";
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	BMessenger first(kPeerSignature);
	BMessage reply;
	ASSERT_EQ(B_OK, first.SendMessage('limt', &reply));
	ASSERT_EQ(uint32('NONE'), reply.what);

	for (int newcomer = 0; newcomer < 3; newcomer++) {
		BMessenger turnedAway(kPeerSignature);
		BMessage request('echo');
		EXPECT_EQ(B_BAD_PORT_ID, turnedAway.SendMessage(&request, &reply,
			B_INFINITE_TIMEOUT, kPatience));
		EXPECT_EQ(uint32(B_NO_REPLY), reply.what);
	}
	EXPECT_EQ(uint32('ecko'), Echo(first, BMessage()).what);
}


TEST(MessengerTest, KilledApplicationReadsAsNotRunningAndCanBeReplaced)
{
	TestVolume volume;
	{
		Peer peer;
		ASSERT_TRUE(peer.Start());
		BMessenger messenger(kPeerSignature);
		peer.Child().Kill(SIGKILL);
		int exitCode;
		ASSERT_EQ(B_OK, peer.Child().WaitForExit(kPatience, &exitCode));

		BMessage reply;
		EXPECT_NE(B_OK, messenger.SendMessage('echo', &reply));
		EXPECT_EQ(uint32(B_NO_REPLY), reply.what);
	}
	// The socket file is left behind, but nobody is there.
	ASSERT_EQ(1u, SocketFiles(volume).size());
	EXPECT_EQ(B_BAD_PORT_ID, BMessenger(kPeerSignature).InitCheck());

	Peer successor;
	ASSERT_TRUE(successor.Start());
	EXPECT_EQ(uint32('ecko'), Echo(BMessenger(kPeerSignature), BMessage()).what);
}


TEST(MessengerTest, MessengerForUnknownSignatureReportsNotRunning)
{
	TestVolume volume;
	BMessenger messenger("application/x-vnd.Drelmoor-Nobody");
	EXPECT_EQ(B_NAME_NOT_FOUND, messenger.InitCheck());
	EXPECT_FALSE(messenger.IsValid());
	BMessage reply;
	EXPECT_NE(B_OK, messenger.SendMessage('echo', &reply));
	EXPECT_EQ(uint32(B_NO_REPLY), reply.what);
}


TEST(MessengerTest, SecondInstanceOfASignatureIsRefused)
{
	TestVolume volume;
	Peer first;
	ASSERT_TRUE(first.Start());
	Peer second;
	ASSERT_EQ(B_OK, second.Child().Start(PEER_APP, {kPeerSignature}));
	int exitCode = -1;
	ASSERT_EQ(B_OK, second.Child().WaitForExit(kPatience, &exitCode));
	EXPECT_EQ(3, exitCode);
	EXPECT_EQ(first.Child().Pid(), BMessenger(kPeerSignature).Team());
}


TEST(MessengerTest, BootVolumeDeepInATemporaryFolderWorks)
{
	TestVolume volume;
	std::string deep = volume.Folder();
	while (deep.size() < 160) {
		deep += "/a-rather-long-folder-name";
		ASSERT_EQ(0, mkdir(deep.c_str(), 0755));
	}
	setenv("BOOT_VOLUME", deep.c_str(), 1);
	{
		Peer peer;
		EXPECT_TRUE(peer.Start());
		BMessenger messenger(kPeerSignature);
		EXPECT_EQ(B_OK, messenger.InitCheck());
		EXPECT_EQ(uint32('ecko'), Echo(messenger, BMessage()).what);
		BMessage reply;
		EXPECT_EQ(B_OK, messenger.SendMessage('quit', &reply));
		int exitCode = -1;
		EXPECT_EQ(B_OK, peer.Child().WaitForExit(kPatience, &exitCode));
		EXPECT_EQ(0, exitCode);
	}
	setenv("BOOT_VOLUME", volume.Folder().c_str(), 1);
}


class MalformedFrameTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(fPeer.Start());
		std::vector<std::string> sockets = SocketFiles(fVolume);
		ASSERT_EQ(1u, sockets.size());
		fSocketPath = sockets[0];
	}

	// Sends the bytes on a connection of their own and expects the peer to
	// close it, and then to go on serving others.
	void ExpectRefused(const std::string& bytes)
	{
		int fd = ConnectRaw(fSocketPath);
		ASSERT_GE(fd, 0);
		ASSERT_EQ(ssize_t(bytes.size()),
			send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
		EXPECT_TRUE(PeerCloses(fd));
		close(fd);
		EXPECT_EQ(uint32('ecko'), Echo(BMessenger(kPeerSignature), BMessage()).what);
	}

	static std::string Frame(const BMessage& message)
	{
		std::string frame;
		wire::AppendFrame(frame, wire::FrameKind::kRequest,
			wire::kFlagWantsReply, 1, message);
		return frame;
	}

	TestVolume fVolume;
	Peer fPeer;
	std::string fSocketPath;
};


TEST_F(MalformedFrameTest, GarbageClosesTheConnection)
{
	ExpectRefused("GET / HTTP/1.0\r\n\r\n");
	ExpectRefused(std::string(4096, '\xff'));
}


TEST_F(MalformedFrameTest, OversizedFrameClosesTheConnection)
{
	std::string frame = Frame(BMessage('echo'));
	frame[15] = char(0x7f);		// a payload of about two gigabytes
	ExpectRefused(frame);
}


TEST_F(MalformedFrameTest, InconsistentPayloadClosesTheConnection)
{
	BMessage message('sstr');
	message.AddString("String", "hi");
	std::string noNul = Frame(message);
	noNul.back() = '!';
	ExpectRefused(noNul);

	std::string lyingCount = Frame(message);
	lyingCount[wire::kHeaderSize + 4] = char(0x40);
	ExpectRefused(lyingCount);

	std::string reply = Frame(message);
	reply[6] = char(wire::FrameKind::kReply);
	ExpectRefused(reply);
}


TEST_F(MalformedFrameTest, TruncatedFrameNeitherBlocksNorHarmsThePeer)
{
	BMessage message('echo');
	message.AddString("String", std::string(1000, 's').c_str());
	std::string frame = Frame(message);

	int fd = ConnectRaw(fSocketPath);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(100, send(fd, frame.data(), 100, MSG_NOSIGNAL));
	// The peer waits for the rest without holding up anyone else.
	EXPECT_EQ(uint32('ecko'), Echo(BMessenger(kPeerSignature), BMessage()).what);
	// The rest arrives late, and the request is answered after all.
	ASSERT_EQ(ssize_t(frame.size() - 100),
		send(fd, frame.data() + 100, frame.size() - 100, MSG_NOSIGNAL));
	wire::FrameReader reader;
	BMessage reply;
	wire::FrameHeader header;
	while (reader.Next(&header, &reply) == B_WOULD_BLOCK) {
		pollfd entry = {fd, POLLIN, 0};
		ASSERT_EQ(1, poll(&entry, 1, int(kPatience / 1000)));
		char buffer[4096];
		ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
		ASSERT_GT(got, 0);
		reader.Feed(buffer, got);
	}
	EXPECT_EQ(wire::FrameKind::kReply, header.kind);
	EXPECT_EQ(1u, header.serial);
	EXPECT_EQ(uint32('ecko'), reply.what);

	// Cut off in the middle for good: the peer lets the connection go.
	ASSERT_EQ(50, send(fd, frame.data(), 50, MSG_NOSIGNAL));
	close(fd);
	EXPECT_EQ(uint32('ecko'), Echo(BMessenger(kPeerSignature), BMessage()).what);
}


// A peer that asks for big replies and does not read them, beside the
// application's other clients.
class StalledPeerTest : public MalformedFrameTest {
protected:
	// An echo that comes back with a quarter of a megabyte: a few of them
	// fill the socket of a peer that does not read.
	static std::string BigRequest(uint32 serial)
	{
		BMessage message('echo');
		message.AddString("String", std::string(256 * 1024, 'z').c_str());
		std::string frame;
		wire::AppendFrame(frame, wire::FrameKind::kRequest,
			wire::kFlagWantsReply, serial, message);
		return frame;
	}

	// Each of the clients makes its exchanges, each given a bounded time
	// (well below what a blocked loop used to hold them); true when every
	// one of them was answered.
	static bool ClientsAreServed(int clients, int exchanges)
	{
		static const bigtime_t kExchangePatience = 4000000;
		std::atomic<int> answered = 0;
		std::vector<std::thread> threads;
		for (int i = 0; i < clients; i++) {
			threads.emplace_back([&answered, exchanges, i] {
				for (int n = 0; n < exchanges; n++) {
					BMessenger messenger(kPeerSignature);
					BMessage request('echo');
					request.AddInt32("client", i);
					BMessage reply;
					if (messenger.SendMessage(&request, &reply,
							kExchangePatience, kExchangePatience) == B_OK
						&& reply.what == 'ecko')
						answered++;
				}
			});
		}
		for (std::thread& thread : threads)
			thread.join();
		return answered == clients * exchanges;
	}
};


TEST_F(StalledPeerTest, PeerThatStopsReadingHoldsUpNoOtherClient)
{
	// Four silent peers, two big replies each: far more than their sockets
	// hold, and each of them used to hold the loop for seconds.
	const int kStalled = 4;
	const int kRequests = 2;
	std::vector<int> stalled;
	for (int i = 0; i < kStalled; i++) {
		int fd = ConnectRaw(fSocketPath);
		ASSERT_GE(fd, 0);
		stalled.push_back(fd);
		for (int n = 1; n <= kRequests; n++) {
			std::string frame = BigRequest(n);
			ASSERT_EQ(B_OK, SendAllBytes(fd, frame));
		}
	}

	EXPECT_TRUE(ClientsAreServed(20, 10));

	// Once a silent peer reads again, its replies arrive whole and in order.
	for (int fd : stalled) {
		wire::FrameReader reader;
		for (int n = 1; n <= kRequests; n++) {
			BMessage reply;
			wire::FrameHeader header;
			ASSERT_EQ(B_OK, ReadFrame(fd, reader, &header, &reply));
			EXPECT_EQ(uint32(n), header.serial);
			EXPECT_EQ(uint32('ecko'), reply.what);
			BString text;
			EXPECT_EQ(B_OK, reply.FindString("String", &text));
			EXPECT_EQ(256 * 1024, text.Length());
		}
		close(fd);
	}
}


TEST_F(StalledPeerTest, PeerWhoseRepliesPileUpIsCutOff)
{
	// Six megabytes of replies nobody reads: more than a connection may
	// keep waiting.
	int fd = ConnectRaw(fSocketPath);
	ASSERT_GE(fd, 0);
	std::thread sender([fd] {
		for (int n = 1; n <= 24; n++) {
			if (SendAllBytes(fd, BigRequest(n)) != B_OK)
				break;
		}
	});
	// The peer stays for the others meanwhile.
	EXPECT_TRUE(ClientsAreServed(4, 5));
	sender.join();

	// What was sent before the cut arrives, then the end: not every reply.
	wire::FrameReader reader;
	int replies = 0;
	status_t status;
	while (true) {
		BMessage reply;
		wire::FrameHeader header;
		status = ReadFrame(fd, reader, &header, &reply);
		if (status != B_OK)
			break;
		replies++;
	}
	EXPECT_EQ(B_BAD_PORT_ID, status);
	EXPECT_LT(replies, 24);
	close(fd);
	EXPECT_TRUE(ClientsAreServed(2, 2));
}


// The sockets this process holds.
static int
CountSockets()
{
	int count = 0;
	DIR* folder = opendir("/proc/self/fd");
	while (dirent* entry = readdir(folder)) {
		struct stat info;
		std::string path = std::string("/proc/self/fd/") + entry->d_name;
		if (stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
			count++;
	}
	closedir(folder);
	return count;
}


TEST(MessengerPoolTest, NewMessengerForEveryMessageSharesOneConnection)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	int before = CountSockets();
	for (int i = 0; i < 100; i++) {
		BMessage request;
		request.AddInt32("round", i);
		BMessage reply = Echo(BMessenger(kPeerSignature), request);
		int32 round = -1;
		EXPECT_EQ(B_OK, reply.FindInt32("round", &round));
		EXPECT_EQ(i, round);
	}
	// Waiting for the peer to register may have kept one already.
	int kept = CountSockets();
	EXPECT_LE(kept, before + 1);

	// Messengers alive at once each have a connection of their own.
	BMessenger first(kPeerSignature);
	BMessenger second(kPeerSignature);
	EXPECT_EQ(uint32('ecko'), Echo(first, BMessage()).what);
	EXPECT_EQ(uint32('ecko'), Echo(second, BMessage()).what);
	EXPECT_EQ(CountSockets(), kept + 1);
}


TEST(MessengerPoolTest, RestartedApplicationIsReachedAtTheNextMessage)
{
	TestVolume volume;
	auto peer = std::make_unique<Peer>();
	ASSERT_TRUE(peer->Start());
	EXPECT_EQ(uint32('ecko'), Echo(BMessenger(kPeerSignature), BMessage()).what);

	// Killed and started again, and then quit and started again: each time
	// the next messenger reaches the application that runs now.
	for (bool killed : {true, false}) {
		SCOPED_TRACE(killed ? "killed" : "quit");
		if (killed)
			peer->Child().Kill(SIGKILL);
		else {
			BMessage reply;
			ASSERT_EQ(B_OK, BMessenger(kPeerSignature).SendMessage('quit',
				&reply));
		}
		int exitCode = -1;
		ASSERT_EQ(B_OK, peer->Child().WaitForExit(kPatience, &exitCode));
		EXPECT_NE(B_OK, BMessenger(kPeerSignature).InitCheck());

		peer = std::make_unique<Peer>();
		ASSERT_TRUE(peer->Start());
		BMessenger messenger(kPeerSignature);
		ASSERT_EQ(B_OK, messenger.InitCheck());
		EXPECT_EQ(peer->Child().Pid(), messenger.Team());
		EXPECT_EQ(uint32('ecko'), Echo(messenger, BMessage()).what);
	}
}


TEST(MessengerPoolTest, ThreadsNeverShareAnExchange)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	const int kThreads = 8;
	const int kRounds = 100;
	std::atomic<int> matched = 0;
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; t++) {
		threads.emplace_back([t, &matched] {
			for (int i = 0; i < kRounds; i++) {
				BMessage request('echo');
				request.AddInt32("thread", t);
				request.AddInt32("round", i);
				BMessage reply;
				int32 thread = -1, round = -1;
				if (BMessenger(kPeerSignature).SendMessage(&request, &reply)
						== B_OK
					&& reply.FindInt32("thread", &thread) == B_OK
					&& reply.FindInt32("round", &round) == B_OK
					&& thread == t && round == i)
					matched++;
			}
		});
	}
	for (std::thread& thread : threads)
		thread.join();
	EXPECT_EQ(kThreads * kRounds, matched);
}


TEST(MessengerPoolTest, LateReplyOnAKeptConnectionIsPassedOver)
{
	TestVolume volume;
	Peer peer;
	ASSERT_TRUE(peer.Start());
	{
		BMessage late('late');
		BMessage reply;
		EXPECT_EQ(B_TIMED_OUT, BMessenger(kPeerSignature).SendMessage(&late,
			&reply, B_INFINITE_TIMEOUT, 100000));
	}
	// The next messenger takes the same connection; the answer to 'late'
	// arrives on it first and is not taken for the echo's.
	EXPECT_EQ(uint32('ecko'), Echo(BMessenger(kPeerSignature), BMessage()).what);
	EXPECT_EQ(uint32('ecko'), Echo(BMessenger(kPeerSignature), BMessage()).what);
}
