#include "StreamConnection.h"

#include "RunningLooper.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>


namespace {

using EndReason = StreamConnection::EndReason;

// Records what the connection reports; may act from within a report, as a
// protocol does.
class RecordingOwner : public StreamConnection::Owner {
public:
	void BytesReceived(const char* data, size_t size) override
	{
		fReceived.append(data, size);
		if (fOnBytes)
			fOnBytes();
	}
	void OutputFlushed() override { fFlushes++; }
	void StreamEnded(EndReason reason) override
	{
		fEnds.push_back(reason);
		if (fOnEnd)
			fOnEnd();
	}

	std::string fReceived;
	int fFlushes = 0;
	std::vector<EndReason> fEnds;
	std::function<void()> fOnBytes;
	std::function<void()> fOnEnd;
};


// A connection on a running looper over a socket pair, deleted under the
// looper's lock before the looper goes.
class StreamConnectionTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_GE(fSockets.host, 0);
	}

	void TearDown() override
	{
		fLooper.Locked([this] { fConnection.reset(); });
	}

	StreamConnection& Start(size_t maxQueued
		= StreamConnection::kDefaultMaxQueued)
	{
		fConnection = std::make_unique<StreamConnection>(fLooper.Looper(),
			fSockets.host, fOwner, maxQueued);
		EXPECT_EQ(B_OK, fLooper.Locked([this] {
			return fConnection->Start();
		}));
		return *fConnection;
	}

	RunningLooper fLooper;
	SocketPair fSockets;
	RecordingOwner fOwner;
	std::unique_ptr<StreamConnection> fConnection;
};


std::string
Pattern(size_t size)
{
	std::string bytes(size, '\0');
	for (size_t i = 0; i < size; i++)
		bytes[i] = char('a' + (i * 7 + i / 251) % 26);
	return bytes;
}

}	// namespace


TEST_F(StreamConnectionTest, PeersBytesReachTheOwner)
{
	Start();
	ASSERT_TRUE(fSockets.Send("look"));
	ASSERT_TRUE(fSockets.Send(" north"));
	EXPECT_TRUE(fLooper.WaitFor([this] {
		return fOwner.fReceived == "look north";
	})) << fOwner.fReceived;
	fLooper.Locked([this] { EXPECT_TRUE(fOwner.fEnds.empty()); });
}


TEST_F(StreamConnectionTest, OutputWaitsForStartThenGoesInOrder)
{
	fConnection = std::make_unique<StreamConnection>(fLooper.Looper(),
		fSockets.host, fOwner);
	fLooper.Locked([this] {
		fConnection->Queue("first ");
		fConnection->Flush();
	});
	EXPECT_EQ(6u, fLooper.Locked([this] { return fConnection->Queued(); }));

	fLooper.Locked([this] {
		EXPECT_EQ(B_OK, fConnection->Start());
		fConnection->Queue("second");
		fConnection->Flush();
	});
	EXPECT_EQ("first second", fSockets.Receive(12));
	EXPECT_EQ(0u, fLooper.Locked([this] { return fConnection->Queued(); }));
	fLooper.Locked([this] { EXPECT_GE(fOwner.fFlushes, 1); });
}


TEST_F(StreamConnectionTest, PartialWriteKeepsTheRestAndSendsItWhenThereIsRoom)
{
	int small = 4096;
	setsockopt(fSockets.host, SOL_SOCKET, SO_SNDBUF, &small, sizeof(small));
	Start();
	const std::string text = Pattern(600 * 1024);
	size_t waiting = fLooper.Locked([&] {
		fConnection->Queue(text);
		fConnection->Flush();
		return fConnection->Queued();
	});
	// The socket took a part; the rest waits in the queue, not in a loop.
	ASSERT_GT(waiting, 0u);
	ASSERT_LT(waiting, text.size());

	std::string received = fSockets.Receive(text.size());
	EXPECT_EQ(text.size(), received.size());
	EXPECT_TRUE(received == text) << "the bytes came out of order";
	EXPECT_TRUE(fLooper.WaitFor([this] {
		return fConnection->Queued() == 0;
	}));
	fLooper.Locked([this] { EXPECT_TRUE(fOwner.fEnds.empty()); });
}


TEST_F(StreamConnectionTest, PeerThatStopsReadingIsCutOffAtTheCap)
{
	const size_t cap = 64 * 1024;
	Start(cap);
	const std::string chunk = Pattern(4096);
	size_t most = 0;
	bool ended = false;
	for (int i = 0; i < 1000 && !ended; i++) {
		fLooper.Locked([&] {
			fConnection->Queue(chunk);
			fConnection->Flush();
			most = std::max(most, fConnection->Queued());
			ended = !fOwner.fEnds.empty();
		});
	}
	// The end comes on the looper's next turn, after the queueing call.
	ASSERT_TRUE(fLooper.WaitFor([this] { return !fOwner.fEnds.empty(); }));
	ASSERT_EQ(1u, fLooper.Locked([this] { return fOwner.fEnds.size(); }));
	EXPECT_EQ(EndReason::kOverflowed, fOwner.fEnds[0]);
	EXPECT_LE(most, cap);
	EXPECT_EQ(0u, fLooper.Locked([this] { return fConnection->Queued(); }));

	// Ended: nothing more is taken, and the peer sees the end.
	fLooper.Locked([&] {
		fConnection->Queue(chunk);
		fConnection->Flush();
	});
	EXPECT_EQ(0u, fLooper.Locked([this] { return fConnection->Queued(); }));
	fSockets.ReceiveAll();
	char byte;
	EXPECT_EQ(0, recv(fSockets.peer, &byte, 1, 0));
}


TEST_F(StreamConnectionTest, EndOfFileEndsAsAHangUpOnce)
{
	Start();
	ASSERT_TRUE(fSockets.Send("bye"));
	fSockets.ClosePeer();
	ASSERT_TRUE(fLooper.WaitFor([this] { return !fOwner.fEnds.empty(); }));
	fLooper.Locked([this] { EXPECT_EQ("bye", fOwner.fReceived); });

	// Whatever the owner does afterwards, the end was reported once.
	fLooper.Locked([this] {
		fConnection->Queue("late");
		fConnection->Flush();
		fConnection->Finish();
		fConnection->Close();
	});
	snooze(50000);
	fLooper.Locked([this] {
		ASSERT_EQ(1u, fOwner.fEnds.size());
		EXPECT_EQ(EndReason::kHungUp, fOwner.fEnds[0]);
		EXPECT_TRUE(fConnection->HasEnded());
	});
}


TEST_F(StreamConnectionTest, ResetByThePeerEndsAsAFailure)
{
	Start();
	// A peer that goes with bytes it never read resets the stream.
	fLooper.Locked([this] {
		fConnection->Queue("unread");
		fConnection->Flush();
	});
	snooze(10000);
	fSockets.ClosePeer();
	ASSERT_TRUE(fLooper.WaitFor([this] { return !fOwner.fEnds.empty(); }));
	snooze(50000);
	fLooper.Locked([this] {
		ASSERT_EQ(1u, fOwner.fEnds.size());
		EXPECT_EQ(EndReason::kFailed, fOwner.fEnds[0]);
	});
}


TEST_F(StreamConnectionTest, FinishSendsEverythingThenEndsOnce)
{
	int small = 4096;
	setsockopt(fSockets.host, SOL_SOCKET, SO_SNDBUF, &small, sizeof(small));
	Start();
	const std::string text = Pattern(200 * 1024);
	fLooper.Locked([&] {
		fConnection->Queue(text);
		fConnection->Finish();
		// Finishing: nothing new is taken.
		fConnection->Queue("after the end");
		fConnection->Finish();
		EXPECT_TRUE(fOwner.fEnds.empty());
	});
	std::string received = fSockets.ReceiveAll();
	EXPECT_TRUE(received == text) << received.size() << " bytes";
	ASSERT_TRUE(fLooper.WaitFor([this] { return !fOwner.fEnds.empty(); }));
	snooze(50000);
	fLooper.Locked([this] {
		ASSERT_EQ(1u, fOwner.fEnds.size());
		EXPECT_EQ(EndReason::kFinished, fOwner.fEnds[0]);
	});
}


TEST_F(StreamConnectionTest, OwnerClosingFromItsOwnReportsEndsOnce)
{
	Start();
	fOwner.fOnBytes = [this] {
		fConnection->Close();
		fConnection->Close();
	};
	fOwner.fOnEnd = [this] { fConnection->Close(); };
	ASSERT_TRUE(fSockets.Send("quit"));
	ASSERT_TRUE(fLooper.WaitFor([this] { return !fOwner.fEnds.empty(); }));
	fSockets.ClosePeer();
	snooze(50000);
	fLooper.Locked([this] {
		ASSERT_EQ(1u, fOwner.fEnds.size());
		EXPECT_EQ(EndReason::kClosed, fOwner.fEnds[0]);
	});
}


TEST_F(StreamConnectionTest, DeletedConnectionClosesWithoutReporting)
{
	Start();
	fLooper.Locked([this] { fConnection.reset(); });
	char byte;
	EXPECT_EQ(0, recv(fSockets.peer, &byte, 1, 0));
	fLooper.Locked([this] { EXPECT_TRUE(fOwner.fEnds.empty()); });
}


// The one who queues (the board, showing a caller a text) goes on with the
// caller after Queue returns: the overflow is never reported from within
// it, only on the looper's next turn, and the peer's line is cut at once.
TEST_F(StreamConnectionTest, OverflowIsReportedAfterTheCallThatQueued)
{
	Start(4096);
	fLooper.Locked([&] {
		fConnection->Queue(Pattern(4097));
		EXPECT_TRUE(fOwner.fEnds.empty());
		EXPECT_FALSE(fConnection->HasEnded());
		// Whatever comes after is dropped, not queued.
		fConnection->Queue("more");
		fConnection->Flush();
		EXPECT_EQ(0u, fConnection->Queued());
	});
	ASSERT_TRUE(fLooper.WaitFor([this] { return !fOwner.fEnds.empty(); }));
	fLooper.Locked([&] {
		ASSERT_EQ(1u, fOwner.fEnds.size());
		EXPECT_EQ(EndReason::kOverflowed, fOwner.fEnds[0]);
	});
	char byte;
	EXPECT_EQ(0, recv(fSockets.peer, &byte, 1, 0));
}


// A send that fails within the owner's own call (a peer gone while the
// board shows it a text) is told on the next turn, as an overflow is.
TEST_F(StreamConnectionTest, SendThatFailsWithinTheOwnersCallIsToldAfterIt)
{
	Start();
	fLooper.Locked([&] {
		fConnection->Queue("unread");
		fConnection->Flush();
	});
	snooze(10000);
	fLooper.Locked([&] {
		fSockets.ClosePeer();
		for (int i = 0; i < 4 && !fConnection->HasEnded(); i++) {
			fConnection->Queue(Pattern(4096));
			fConnection->Flush();
		}
		EXPECT_TRUE(fOwner.fEnds.empty());
	});
	ASSERT_TRUE(fLooper.WaitFor([this] { return !fOwner.fEnds.empty(); }));
	fLooper.Locked([this] { EXPECT_EQ(1u, fOwner.fEnds.size()); });
}
