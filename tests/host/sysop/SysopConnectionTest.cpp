#include "SysopConnection.h"

#include "RunningLooper.h"
#include "SysopProtocol.h"

#include <gtest/gtest.h>

#include <memory>


namespace {

// One sysop's command over a socket pair, answered by the test's handler.
class SysopConnectionTest : public ::testing::Test {
protected:
	void Start(SysopConnection::Answer answer)
	{
		ASSERT_GE(fSockets.host, 0);
		fConnection = std::make_unique<SysopConnection>(&fLooper.Looper(),
			fSockets.host,
			[this, answer](const std::vector<std::string>& words,
				SysopConnection&) {
				fRequests.push_back(words);
				return answer;
			},
			[this](SysopConnection*) { fEnded++; });
		ASSERT_EQ(B_OK, fLooper.Locked([this] {
			return fConnection->Start();
		}));
	}

	void TearDown() override
	{
		fLooper.Locked([this] { fConnection.reset(); });
	}

	bool SendRequest(const std::vector<std::string>& words)
	{
		std::string frame;
		AppendFrame(frame, kFrameSysopRequest, EncodeSysopRequest(words));
		return fSockets.Send(frame);
	}

	// The one answer, read until the host closes.
	status_t ReceiveAnswer(uint8* type, std::string* payload)
	{
		std::string received = fSockets.ReceiveAll();
		FrameReader reader;
		reader.Feed(received.data(), received.size());
		status_t status = reader.Next(type, payload);
		if (status == B_OK && reader.Next(type, payload) != B_WOULD_BLOCK)
			return B_BAD_DATA;
		return status;
	}

	RunningLooper fLooper;
	SocketPair fSockets;
	std::unique_ptr<SysopConnection> fConnection;
	std::vector<std::vector<std::string>> fRequests;
	int fEnded = 0;
};

}	// namespace


TEST_F(SysopConnectionTest, RequestIsAnsweredThenClosed)
{
	SysopConnection::Answer answer;
	answer.text = "Nobody is on the board.\n";
	Start(answer);
	ASSERT_TRUE(SendRequest({"who"}));
	uint8 type = 0;
	std::string payload;
	ASSERT_EQ(B_OK, ReceiveAnswer(&type, &payload));
	EXPECT_EQ(kFrameSysopDone, type);
	EXPECT_EQ("Nobody is on the board.\n", payload);
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	ASSERT_EQ(1u, fRequests.size());
	EXPECT_EQ(std::vector<std::string>({"who"}), fRequests[0]);
}


TEST_F(SysopConnectionTest, FailureCarriesTheExitStatus)
{
	SysopConnection::Answer answer;
	answer.done = false;
	answer.exitStatus = 4;
	answer.text = "No caller of that name.";
	Start(answer);
	ASSERT_TRUE(SendRequest({"kick", "Ash"}));
	uint8 type = 0;
	std::string payload;
	ASSERT_EQ(B_OK, ReceiveAnswer(&type, &payload));
	EXPECT_EQ(kFrameSysopFailed, type);
	EXPECT_EQ(std::string("\x04No caller of that name."), payload);
}


TEST_F(SysopConnectionTest, LargeAnswerGoesOutWhole)
{
	SysopConnection::Answer answer;
	answer.text = std::string(600 * 1024, 'x');
	Start(answer);
	ASSERT_TRUE(SendRequest({"who"}));
	uint8 type = 0;
	std::string payload;
	ASSERT_EQ(B_OK, ReceiveAnswer(&type, &payload));
	EXPECT_EQ(answer.text.size(), payload.size());
}


TEST_F(SysopConnectionTest, AnythingButARequestIsClosedUnanswered)
{
	Start(SysopConnection::Answer());
	std::string frame;
	AppendFrame(frame, kFrameKeys, std::string("who"));
	ASSERT_TRUE(fSockets.Send(frame));
	EXPECT_EQ("", fSockets.ReceiveAll());
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	EXPECT_TRUE(fRequests.empty());
}


TEST_F(SysopConnectionTest, SecondRequestIsNobodys)
{
	Start(SysopConnection::Answer());
	std::string frames;
	AppendFrame(frames, kFrameSysopRequest, EncodeSysopRequest({"who"}));
	AppendFrame(frames, kFrameSysopRequest, EncodeSysopRequest({"kick",
		"Ash"}));
	ASSERT_TRUE(fSockets.Send(frames));
	fSockets.ReceiveAll();
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	EXPECT_EQ(1u, fRequests.size());
}


// A spy whose terminal reads nothing: the connection stops taking the
// caller's screen once a bounded backlog waits, says why, and tells the
// board it has gone; the keys of a chat reach the board translated.
TEST_F(SysopConnectionTest, WatchThatFallsBehindIsLetGoWithAWord)
{
	SysopConnection::Answer answer;
	answer.staysOpen = true;
	Start(answer);
	int gone = 0;
	std::string keys;
	fLooper.Locked([&] {
		fConnection->SetGone([&] { gone++; });
		fConnection->SetKeysTyped([&](const std::string& typed) {
			keys += typed;
		});
		return B_OK;
	});
	ASSERT_TRUE(SendRequest({"spy", "Ash"}));
	std::string frame;
	AppendFrame(frame, kFrameSysopKeys, "hi\r\n");
	ASSERT_TRUE(fSockets.Send(frame));
	EXPECT_TRUE(fLooper.WaitFor([&] { return keys == "hi\n"; }));

	const std::string screen(1000, 's');
	size_t shown = 0;
	fLooper.Locked([&] {
		// Far more than the backlog: the socket's buffer fills first.
		for (int i = 0; i < 2000; i++) {
			fConnection->Shown(screen);
			shown += screen.size();
		}
		return B_OK;
	});
	EXPECT_EQ(1, gone);
	std::string received = fSockets.ReceiveAll();
	// Bounded by the backlog and the socket's own buffers, well below
	// what was shown.
	EXPECT_LT(received.size(), shown / 2);
	FrameReader reader;
	reader.Feed(received.data(), received.size());
	uint8 type = 0;
	std::string payload;
	while (reader.Next(&type, &payload) == B_OK
		&& type == kFrameSysopShown) {
	}
	EXPECT_EQ(kFrameSysopFailed, type);
	EXPECT_NE(std::string::npos, payload.find("fell behind"));
	fLooper.Locked([&] { fConnection.reset(); return B_OK; });
	// Told once, not again when it goes.
	EXPECT_EQ(1, gone);
}


// The sysop's end of a chat is answered, whatever follows it in the same
// bytes: the answer goes out whole before the connection closes.
TEST_F(SysopConnectionTest, EndOfAnOpenRequestIsAnsweredAndWhatFollowsIgnored)
{
	SysopConnection::Answer answer;
	answer.staysOpen = true;
	Start(answer);
	std::string typed;
	fLooper.Locked([&] {
		SysopConnection* connection = fConnection.get();
		connection->SetEndAsked([connection] {
			connection->Ended("The chat has ended.");
		});
		connection->SetKeysTyped([&](const std::string& keys) {
			typed += keys;
		});
		return B_OK;
	});
	std::string frames;
	AppendFrame(frames, kFrameSysopRequest, EncodeSysopRequest({"chat",
		"Ash"}));
	AppendFrame(frames, kFrameSysopKeys, "a");
	AppendFrame(frames, kFrameSysopEnd, "");
	AppendFrame(frames, kFrameSysopKeys, "b");
	AppendFrame(frames, 'z', "nonsense");
	ASSERT_TRUE(fSockets.Send(frames));
	uint8 type = 0;
	std::string payload;
	ASSERT_EQ(B_OK, ReceiveAnswer(&type, &payload));
	EXPECT_EQ(kFrameSysopDone, type);
	EXPECT_EQ("The chat has ended.\n", payload);
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	EXPECT_EQ("a", fLooper.Locked([&] { return typed; }));
}
