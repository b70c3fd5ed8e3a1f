#include "ProxyGate.h"

#include "RunningLooper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>


namespace {

// A gate on a running looper that trusts 10.0.0.1 and keeps what it
// passed on and what it dropped.
class ProxyGateTest : public ::testing::Test {
protected:
	ProxyGateTest()
	{
		fLooper.Locked([this] {
			fGate = std::make_unique<ProxyGate>(fLooper.Looper(),
				[this](int descriptor, const BString& address,
						const PeerGate::Pass& pass) {
					fPassed.push_back({ descriptor, address, pass });
				},
				[this](const BString& proxy, const char* problem) {
					fDropped.push_back(std::string(proxy.String()) + ": "
						+ problem);
				});
			fGate->Trust({ BString("10.0.0.1") });
			fGate->SetTimeout(300000);
		});
	}

	~ProxyGateTest() override
	{
		fLooper.Locked([this] { fGate.reset(); });
	}

	void Accept(SocketPair& line, const char* address)
	{
		fLooper.Locked([&] {
			PeerGate::Pass pass;
			ASSERT_NE(PeerGate::Verdict::kTooMany,
				fPeers.Admit(BString(address), &pass));
			fGate->Accept(line.host, address, pass);
		});
	}

	size_t CountPassed()
	{
		return fLooper.Locked([this] { return fPassed.size(); });
	}

	// What waits on the host's end after the gate, without waiting.
	static std::string Waiting(int descriptor)
	{
		char buffer[256];
		ssize_t got = recv(descriptor, buffer, sizeof(buffer), MSG_DONTWAIT);
		return got > 0 ? std::string(buffer, (size_t)got) : std::string();
	}

	struct Passed {
		int descriptor;
		BString address;
		PeerGate::Pass pass;
	};

	RunningLooper fLooper;
	PeerGate fPeers;
	std::unique_ptr<ProxyGate> fGate;
	std::vector<Passed> fPassed;
	std::vector<std::string> fDropped;
};

}	// namespace


TEST_F(ProxyGateTest, HeaderInPiecesNamesTheCallerAndLeavesTheirBytes)
{
	SocketPair line;
	Accept(line, "10.0.0.1");
	ASSERT_TRUE(line.Send("PROXY TCP4 198.51.100.7 10.0.0.2 4"));
	snooze(50000);
	EXPECT_EQ(0u, CountPassed());
	ASSERT_TRUE(line.Send("0000 23\r\n\xff\xfb\x18" "Ash\r"));
	ASSERT_TRUE(fLooper.WaitFor([this] { return !fPassed.empty(); }));
	EXPECT_EQ(BString("198.51.100.7"), fPassed[0].address);
	EXPECT_EQ(line.host, fPassed[0].descriptor);
	// The connection keeps the place it was counted in from its accept.
	fLooper.Locked([this] {
		EXPECT_TRUE(fPassed[0].pass.IsHeld());
		EXPECT_EQ(1, fPeers.Pending());
	});
	// The caller's own bytes are the way in's, not one of them taken.
	EXPECT_EQ("\xff\xfb\x18" "Ash\r", Waiting(line.host));
	close(line.host);
}


TEST_F(ProxyGateTest, PeerOfAnotherAddressIsPassedOnAtOnceHeaderAndAll)
{
	SocketPair line;
	ASSERT_TRUE(line.Send("PROXY TCP4 198.51.100.7 10.0.0.2 40000 23\r\n"));
	Accept(line, "10.0.0.9");
	ASSERT_EQ(1u, CountPassed());
	EXPECT_EQ(BString("10.0.0.9"), fPassed[0].address);
	EXPECT_EQ("PROXY TCP4 198.51.100.7 10.0.0.2 40000 23\r\n",
		Waiting(line.host));
	close(line.host);
}


TEST_F(ProxyGateTest, InvalidOrLateHeaderDropsTheConnection)
{
	SocketPair wrong;
	SocketPair silent;
	Accept(wrong, "10.0.0.1");
	Accept(silent, "::ffff:10.0.0.1");
	ASSERT_TRUE(wrong.Send("SSH-2.0-OpenSSH_9.2\r\n"));
	// Each end is closed by the gate: the peers read the end of stream.
	EXPECT_EQ("", wrong.ReceiveAll());
	EXPECT_EQ("", silent.ReceiveAll());
	EXPECT_EQ(0u, CountPassed());
	fLooper.Locked([this] {
		// A connection dropped at the gate gives its place back.
		EXPECT_EQ(0, fPeers.Pending());
		ASSERT_EQ(2u, fDropped.size());
		EXPECT_EQ("10.0.0.1: no proxy header", fDropped[0]);
		EXPECT_EQ("::ffff:10.0.0.1: no proxy header in time", fDropped[1]);
	});
}
