#include "OutputPacer.h"

#include "RunningLooper.h"
#include "StreamConnection.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <memory>


namespace {

class QuietOwner : public StreamConnection::Owner {
public:
	void BytesReceived(const char*, size_t) override {}
	void StreamEnded(StreamConnection::EndReason) override { fEnded = true; }

	bool fEnded = false;
};


// A paced connection on a running looper over a socket pair; the
// connection goes before the pacer, and both under the looper's lock.
class OutputPacerTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fLooper.Locked([this] {
			fPacer = std::make_unique<OutputPacer>(fLooper.Looper());
			fConnection = std::make_unique<StreamConnection>(
				fLooper.Looper(), fSockets.host, fOwner);
			fConnection->SetPacer(fPacer.get());
			ASSERT_EQ(B_OK, fConnection->Start());
		});
	}

	void TearDown() override
	{
		fLooper.Locked([this] {
			fConnection.reset();
			fPacer.reset();
		});
	}

	void ShowSoon(const std::string& text)
	{
		fLooper.Locked([&] {
			fConnection->Queue(text);
			fConnection->FlushSoon();
		});
	}

	// Whether the peer has something to read within the time.
	bool PeerCanRead(int milliseconds)
	{
		pollfd entry = {fSockets.peer, POLLIN, 0};
		return poll(&entry, 1, milliseconds) == 1;
	}

	RunningLooper fLooper;
	SocketPair fSockets;
	QuietOwner fOwner;
	std::unique_ptr<OutputPacer> fPacer;
	std::unique_ptr<StreamConnection> fConnection;
};

}	// namespace


TEST_F(OutputPacerTest, PiecesOfAScreenGoTogetherWhenTheOwnerFlushes)
{
	ShowSoon("Status for [Ash]\n");
	ShowSoon("Level : 3\n");
	ShowSoon("Town> ");
	EXPECT_FALSE(PeerCanRead(10)) << "a piece went before the screen ended";

	fLooper.Locked([this] { fConnection->Flush(); });
	std::string screen = "Status for [Ash]\nLevel : 3\nTown> ";
	EXPECT_EQ(screen, fSockets.Receive(screen.size()));
}


TEST_F(OutputPacerTest, KeptPiecesGoByThemselvesAfterTheHoldBack)
{
	ShowSoon("Name : level");
	ShowSoon("\nAsh : 3");
	// Nobody flushes (a long screen flows on): the pacer sends on time.
	EXPECT_EQ("Name : level\nAsh : 3", fSockets.Receive(19));
	fLooper.Locked([this] { EXPECT_EQ(0u, fConnection->Queued()); });

	// And the next piece is kept again, not sent at once.
	ShowSoon("\nBo : 2");
	EXPECT_FALSE(PeerCanRead(5));
	EXPECT_EQ("\nBo : 2", fSockets.Receive(7));
}


TEST_F(OutputPacerTest, AScreenfulThatGrowsPastTheHoldGoesAtOnce)
{
	std::string large(OutputPacer::kMostHeld, 'x');
	ShowSoon(large);
	EXPECT_TRUE(PeerCanRead(0) || PeerCanRead(20));
	EXPECT_EQ(large, fSockets.Receive(large.size()));
}


TEST_F(OutputPacerTest, AConnectionThatGoesWhileKeptIsForgotten)
{
	ShowSoon("half a screen");
	fLooper.Locked([this] { fConnection.reset(); });
	// The pacer's time comes with nothing to send to; a second connection
	// on the same pacer is paced as before.
	SocketPair other;
	QuietOwner owner;
	std::unique_ptr<StreamConnection> next;
	fLooper.Locked([&] {
		next = std::make_unique<StreamConnection>(fLooper.Looper(),
			other.host, owner);
		next->SetPacer(fPacer.get());
		ASSERT_EQ(B_OK, next->Start());
		next->Queue("next caller");
		next->FlushSoon();
	});
	EXPECT_EQ("next caller", other.Receive(11));
	fLooper.Locked([&] { next.reset(); });
}
