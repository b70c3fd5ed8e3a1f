#include "Listener.h"

#include "RunningLooper.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/un.h>

#include <string>
#include <vector>


namespace {

struct Accepted {
	int descriptor;
	BString address;
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
			[this](int descriptor, const BString& address) {
				fAccepted.push_back({descriptor, address});
				if (fStopAfterFirst)
					fListener->Stop();
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
