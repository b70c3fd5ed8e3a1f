#include "BridgeConnection.h"

#include "QuietBoard.h"
#include "RunningLooper.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>


namespace {

typedef std::pair<uint8, std::string> Frame;


std::string
Hello(const std::string& name, uint8 version = kBridgeProtocolVersion)
{
	std::string frame;
	AppendFrame(frame, kFrameHello, std::string(1, (char)version) + name);
	return frame;
}


// A bridge's terminal on a quiet board over a socket pair.
class BridgeConnectionTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_GE(fSockets.host, 0);
		fConnection = std::make_unique<BridgeConnection>(&fLooper.Looper(),
			fBoard.Get(), fSockets.host,
			[this](BridgeConnection*) { fEnded++; });
		ASSERT_EQ(B_OK, fLooper.Locked([this] {
			return fConnection->Start();
		}));
	}

	void TearDown() override
	{
		fLooper.Locked([this] { fConnection.reset(); });
	}

	// The frames the host sends until it closes the socket or stops for
	// the peer's timeout.
	std::vector<Frame> ReceiveFrames(size_t count)
	{
		std::vector<Frame> frames;
		while (frames.size() < count) {
			uint8 type;
			std::string payload;
			status_t status = fReader.Next(&type, &payload);
			if (status == B_OK) {
				frames.push_back({type, payload});
				continue;
			}
			std::string more = fSockets.Receive(1);
			if (status != B_WOULD_BLOCK || more.empty())
				break;
			fReader.Feed(more.data(), more.size());
		}
		return frames;
	}

	bool PeerSeesTheEnd()
	{
		char byte;
		return recv(fSockets.peer, &byte, 1, 0) == 0;
	}

	RunningLooper fLooper;
	SocketPair fSockets;
	QuietBoard fBoard;
	std::unique_ptr<BridgeConnection> fConnection;
	FrameReader fReader;
	int fEnded = 0;
};

}	// namespace


TEST_F(BridgeConnectionTest, HelloIsWelcomedAndTheUserEntersTheDoor)
{
	ASSERT_TRUE(fSockets.Send(Hello(std::string("Ash\0node 3", 10))));
	std::vector<Frame> frames = ReceiveFrames(1);
	ASSERT_EQ(1u, frames.size());
	EXPECT_EQ(kFrameWelcome, frames[0].first);
	EXPECT_TRUE(fLooper.WaitFor([this] {
		return fBoard.fEnteredNames.size() == 1;
	}));
	EXPECT_EQ("Ash", fBoard.fEnteredNames[0]);
	EXPECT_STREQ("node 3", fLooper.Locked([this] {
		return fConnection->Address();
	}).String());

	// The door's text and the host's log line go out as frames.
	fLooper.Locked([this] {
		fConnection->Show("You stand in a cave.\n");
		fConnection->LogLine("Ash entered the door");
	});
	frames = ReceiveFrames(2);
	ASSERT_EQ(2u, frames.size());
	EXPECT_EQ(Frame(kFrameText, "You stand in a cave.\n"), frames[0]);
	EXPECT_EQ(Frame(kFrameLog, "Ash entered the door"), frames[1]);
}


TEST_F(BridgeConnectionTest, OtherProtocolVersionGetsANoticeAndAGoodbye)
{
	ASSERT_TRUE(fSockets.Send(Hello("Ash", kBridgeProtocolVersion + 1)));
	std::vector<Frame> frames = ReceiveFrames(3);
	ASSERT_EQ(2u, frames.size());
	EXPECT_EQ(Frame(kFrameNotice,
		"This bridge does not speak this host's protocol."), frames[0]);
	EXPECT_EQ(Frame(kFrameGoodbye, std::string(1, (char)kExitFailure)),
		frames[1]);
	EXPECT_TRUE(PeerSeesTheEnd());
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	EXPECT_TRUE(fBoard.fEnteredNames.empty());
}


TEST_F(BridgeConnectionTest, RefusedNameGetsNoWelcome)
{
	ASSERT_TRUE(fSockets.Send(Hello(".hidden")));
	std::vector<Frame> frames = ReceiveFrames(3);
	ASSERT_EQ(2u, frames.size());
	EXPECT_EQ(kFrameNotice, frames[0].first);
	EXPECT_NE(std::string::npos, frames[0].second.find("cannot be a user"))
		<< frames[0].second;
	EXPECT_EQ(kFrameGoodbye, frames[1].first);
	EXPECT_TRUE(PeerSeesTheEnd());
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
}


TEST_F(BridgeConnectionTest, FrameBeforeTheHelloEndsTheCallWithoutAWord)
{
	std::string keys;
	AppendFrame(keys, kFrameKeys, std::string("look\n"));
	ASSERT_TRUE(fSockets.Send(keys));
	EXPECT_TRUE(PeerSeesTheEnd());
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	EXPECT_TRUE(fBoard.fEnteredNames.empty());
}


TEST_F(BridgeConnectionTest, OversizedFrameEndsTheCallOnce)
{
	ASSERT_TRUE(fSockets.Send(Hello("Ash")));
	ASSERT_EQ(1u, ReceiveFrames(1).size());
	// A length past the frames' limit: nothing after it can be trusted.
	ASSERT_TRUE(fSockets.Send(std::string("k\x7f\xff\xff\xff", 5)));
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	EXPECT_TRUE(PeerSeesTheEnd());
	fLooper.Locked([this] {
		fConnection->Show("late");
		fConnection->Finish(CallEnd::kFailure, "late");
	});
	snooze(50000);
	EXPECT_EQ(1, fLooper.Locked([this] { return fEnded; }));
}


TEST_F(BridgeConnectionTest, HangUpOfAWelcomedBridgeEndsOnce)
{
	ASSERT_TRUE(fSockets.Send(Hello("Ash")));
	ASSERT_EQ(1u, ReceiveFrames(1).size());
	fSockets.ClosePeer();
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	snooze(50000);
	EXPECT_EQ(1, fLooper.Locked([this] { return fEnded; }));
}
