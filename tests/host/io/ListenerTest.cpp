#include "Listener.h"

#include "RunningLooper.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>


namespace {

struct Accepted {
	int descriptor;
	BString address;
	PeerGate::Pass pass;
};


// A listener on a running looper that keeps what it accepted.
class ListenerTest : public ::testing::Test {
protected:
	void TearDown() override
	{
		fLooper.Locked([this] { fListener.reset(); });
		for (const Accepted& peer : fAccepted)
			close(peer.descriptor);
	}

	Listener& Make()
	{
		fListener = std::make_unique<Listener>(fLooper.Looper(),
			[this](int descriptor, const BString& address,
					const PeerGate::Pass& pass) {
				fAccepted.push_back({descriptor, address, pass});
				if (fStopAfterFirst)
					fListener->Stop();
			},
			[this](const BString& notice) {
				fNotices.push_back(notice.String());
			});
		return *fListener;
	}

	size_t CountAccepted()
	{
		return fLooper.Locked([this] { return fAccepted.size(); });
	}

	RunningLooper fLooper;
	std::unique_ptr<Listener> fListener;
	std::vector<Accepted> fAccepted;
	std::vector<std::string> fNotices;
	bool fStopAfterFirst = false;
};


int
ConnectTcp(int family, const char* address, uint16 port)
{
	int caller = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_storage target = {};
	socklen_t length;
	if (family == AF_INET6) {
		sockaddr_in6* in6 = (sockaddr_in6*)&target;
		in6->sin6_family = AF_INET6;
		in6->sin6_port = htons(port);
		inet_pton(AF_INET6, address, &in6->sin6_addr);
		length = sizeof(*in6);
	} else {
		sockaddr_in* in = (sockaddr_in*)&target;
		in->sin_family = AF_INET;
		in->sin_port = htons(port);
		inet_pton(AF_INET, address, &in->sin_addr);
		length = sizeof(*in);
	}
	if (connect(caller, (sockaddr*)&target, length) != 0) {
		close(caller);
		return -1;
	}
	return caller;
}


bool
IsNonBlockingAndCloseOnExec(int descriptor)
{
	return (fcntl(descriptor, F_GETFL) & O_NONBLOCK) != 0
		&& (fcntl(descriptor, F_GETFD) & FD_CLOEXEC) != 0;
}

}	// namespace


TEST_F(ListenerTest, TcpCallerIsHandedOverWithItsAddress)
{
	Listener& listener = Make();
	ASSERT_EQ(B_OK, fLooper.Locked([&] {
		return listener.ListenOnTcp("127.0.0.1", 0);
	}));
	uint16 port = listener.Port();
	ASSERT_NE(0, port);

	int caller = ConnectTcp(AF_INET, "127.0.0.1", port);
	ASSERT_GE(caller, 0);
	ASSERT_TRUE(fLooper.WaitFor([this] { return fAccepted.size() == 1; }));
	EXPECT_STREQ("127.0.0.1", fAccepted[0].address.String());
	EXPECT_TRUE(IsNonBlockingAndCloseOnExec(fAccepted[0].descriptor));

	// The descriptor is the caller's line.
	ASSERT_EQ(2, send(caller, "hi", 2, 0));
	char buffer[2];
	fcntl(fAccepted[0].descriptor, F_SETFL, 0);
	EXPECT_EQ(2, recv(fAccepted[0].descriptor, buffer, 2, 0));
	close(caller);
}


TEST_F(ListenerTest, IPv6CallerIsHandedOverWithItsAddress)
{
	Listener& listener = Make();
	if (fLooper.Locked([&] { return listener.ListenOnTcp("::1", 0); })
			!= B_OK) {
		GTEST_SKIP() << "no IPv6 loopback here";
	}
	int caller = ConnectTcp(AF_INET6, "::1", listener.Port());
	ASSERT_GE(caller, 0);
	ASSERT_TRUE(fLooper.WaitFor([this] { return fAccepted.size() == 1; }));
	EXPECT_STREQ("::1", fAccepted[0].address.String());
	close(caller);
}


TEST_F(ListenerTest, EveryWaitingCallerIsTakenAtOnce)
{
	Listener& listener = Make();
	ASSERT_EQ(B_OK, fLooper.Locked([&] {
		return listener.ListenOnTcp("127.0.0.1", 0);
	}));
	// The looper is held while they all call: one event takes them all.
	std::vector<int> callers;
	fLooper.Locked([&] {
		for (int i = 0; i < 5; i++)
			callers.push_back(ConnectTcp(AF_INET, "127.0.0.1",
				listener.Port()));
	});
	EXPECT_TRUE(fLooper.WaitFor([this] { return fAccepted.size() == 5; }))
		<< CountAccepted();
	for (int caller : callers) {
		EXPECT_GE(caller, 0);
		close(caller);
	}
}


TEST_F(ListenerTest, UnixSocketPeerIsHandedOverWithoutAnAddress)
{
	char folder[] = "/tmp/listener-XXXXXX";
	ASSERT_NE(nullptr, mkdtemp(folder));
	std::string path = std::string(folder) + "/socket";
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
	int socketDescriptor = socket(AF_UNIX,
		SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
	ASSERT_EQ(0, bind(socketDescriptor, (sockaddr*)&address,
		sizeof(address)));
	ASSERT_EQ(0, listen(socketDescriptor, 4));

	Listener& listener = Make();
	ASSERT_EQ(B_OK, fLooper.Locked([&] {
		return listener.Adopt(socketDescriptor);
	}));
	int peer = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	ASSERT_EQ(0, connect(peer, (sockaddr*)&address, sizeof(address)));
	ASSERT_TRUE(fLooper.WaitFor([this] { return fAccepted.size() == 1; }));
	EXPECT_EQ(0, fAccepted[0].address.Length());
	EXPECT_TRUE(IsNonBlockingAndCloseOnExec(fAccepted[0].descriptor));
	close(peer);
	unlink(path.c_str());
	rmdir(folder);
}


TEST_F(ListenerTest, StoppedListenerRefusesCallers)
{
	fStopAfterFirst = true;
	Listener& listener = Make();
	ASSERT_EQ(B_OK, fLooper.Locked([&] {
		return listener.ListenOnTcp("127.0.0.1", 0);
	}));
	uint16 port = listener.Port();
	int first = ConnectTcp(AF_INET, "127.0.0.1", port);
	ASSERT_GE(first, 0);
	ASSERT_TRUE(fLooper.WaitFor([this] { return fAccepted.size() == 1; }));
	EXPECT_FALSE(fLooper.Locked([&] { return listener.IsListening(); }));

	int second = ConnectTcp(AF_INET, "127.0.0.1", port);
	EXPECT_LT(second, 0);
	if (second >= 0)
		close(second);
	snooze(50000);
	EXPECT_EQ(1u, CountAccepted());
	close(first);
}


TEST_F(ListenerTest, AddressThatIsNoneOfThisMachinesIsRefused)
{
	Listener& listener = Make();
	fLooper.Locked([&] {
		EXPECT_NE(B_OK, listener.ListenOnTcp("no such host.invalid", 0));
		EXPECT_NE(B_OK, listener.ListenOnTcp("192.0.2.1", 0));
		EXPECT_FALSE(listener.IsListening());
		EXPECT_EQ(B_BAD_VALUE, listener.Adopt(-1));
		// One socket per listener.
		EXPECT_EQ(B_OK, listener.ListenOnTcp("127.0.0.1", 0));
		EXPECT_EQ(B_NOT_ALLOWED, listener.ListenOnTcp("127.0.0.1", 0));
	});
}


// A peer past the gate's count of connections not logged in is closed at
// once; the episode is told once, with its count when it ends.
TEST_F(ListenerTest, PeersPastTheGateAreClosedAndToldOnce)
{
	PeerGate gate(100, 2);
	Listener& listener = Make();
	ASSERT_EQ(B_OK, fLooper.Locked([&] {
		listener.SetGate(&gate);
		return listener.ListenOnTcp("127.0.0.1", 0);
	}));
	std::vector<int> callers;
	for (int i = 0; i < 6; i++)
		callers.push_back(ConnectTcp(AF_INET, "127.0.0.1", listener.Port()));
	ASSERT_TRUE(fLooper.WaitFor([this] { return fAccepted.size() == 2; }));
	// The ones turned away find their line closed.
	char byte;
	for (size_t i = 2; i < callers.size(); i++) {
		struct timeval wait = {5, 0};
		setsockopt(callers[i], SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
		EXPECT_GE(0, recv(callers[i], &byte, 1, 0)) << i;
	}
	EXPECT_EQ(2u, CountAccepted());
	EXPECT_EQ(2, fLooper.Locked([&] { return gate.Pending(); }));
	ASSERT_EQ(1u, fLooper.Locked([this] { return fNotices.size(); }));
	EXPECT_NE(std::string::npos, fNotices[0].find("2 connections from"
		" 127.0.0.1 have not logged in yet")) << fNotices[0];

	// A login gives the place back: the next caller is taken.
	fLooper.Locked([this] { fAccepted[0].pass.Release(); });
	int next = ConnectTcp(AF_INET, "127.0.0.1", listener.Port());
	EXPECT_TRUE(fLooper.WaitFor([this] { return fAccepted.size() == 3; }));
	fLooper.Locked([this] { fListener->Stop(); });
	ASSERT_EQ(2u, fLooper.Locked([this] { return fNotices.size(); }));
	EXPECT_NE(std::string::npos, fNotices[1].find("4 callers were turned"
		" away")) << fNotices[1];
	for (int caller : callers)
		close(caller);
	close(next);
}


// Out of descriptors, the listener rests instead of failing at full speed
// on the peer that waits, says so once, and takes the peer once
// descriptors are free again.
TEST_F(ListenerTest, ListenerOutOfDescriptorsRestsAndTakesThePeerLater)
{
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
	// The sanitizers' own checks open descriptors (UBSan reads memory
	// through a pipe), so a process without one left reports faults that
	// are not there; the plain build runs this.
	GTEST_SKIP() << "takes every descriptor of the process";
#endif
#endif
	Listener& listener = Make();
	ASSERT_EQ(B_OK, fLooper.Locked([&] {
		return listener.ListenOnTcp("127.0.0.1", 0);
	}));
	struct rlimit saved;
	ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
	std::vector<int> filler;
	int caller = -1;
	fLooper.Locked([&] {
		caller = ConnectTcp(AF_INET, "127.0.0.1", listener.Port());
		// Every descriptor below a low limit taken: accept meets EMFILE.
		struct rlimit low = saved;
		low.rlim_cur = (rlim_t)caller + 16;
		setrlimit(RLIMIT_NOFILE, &low);
		int copy;
		while ((copy = dup(caller)) >= 0)
			filler.push_back(copy);
	});
	ASSERT_GE(caller, 0);
	ASSERT_TRUE(fLooper.WaitFor([this] { return !fNotices.empty(); }));
	snooze(300000);
	EXPECT_EQ(0u, CountAccepted());
	fLooper.Locked([&] {
		EXPECT_EQ(1u, fNotices.size());
		EXPECT_NE(std::string::npos, fNotices[0].find("too many open files"))
			<< fNotices[0];
	});
	for (int copy : filler)
		close(copy);
	setrlimit(RLIMIT_NOFILE, &saved);
	EXPECT_TRUE(fLooper.WaitFor([this] { return fAccepted.size() == 1; }));
	fLooper.Locked([&] {
		ASSERT_EQ(2u, fNotices.size());
		EXPECT_NE(std::string::npos, fNotices[1].find("descriptors are free"
			" again")) << fNotices[1];
	});
	close(caller);
}
