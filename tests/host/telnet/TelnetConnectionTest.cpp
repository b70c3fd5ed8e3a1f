#include "TelnetConnection.h"

#include "QuietBoard.h"
#include "RunningLooper.h"

#include <gtest/gtest.h>

#include <memory>


namespace {

const char kWillEcho[] = "\xff\xfb\x01";
const char kDoNaws[] = "\xff\xfd\x1f";


// A telnet caller on a quiet board over a socket pair.
class TelnetConnectionTest : public ::testing::Test {
protected:
	void TearDown() override
	{
		fLooper.Locked([this] { fConnection.reset(); });
	}

	void Start(const BoardSettings& settings = BoardSettings())
	{
		ASSERT_GE(fSockets.host, 0);
		fBoard = std::make_unique<QuietBoard>(settings);
		fConnection = std::make_unique<TelnetConnection>(&fLooper.Looper(),
			fBoard->Get(), fSockets.host, BString("192.0.2.7"),
			[this](TelnetConnection*) { fEnded++; });
		ASSERT_EQ(B_OK, fLooper.Locked([this] {
			return fConnection->Start();
		}));
	}

	// Reads until the text came, for at most the peer's timeout.
	std::string ReceiveUntil(const std::string& text)
	{
		std::string received;
		while (received.find(text) == std::string::npos) {
			std::string more = fSockets.Receive(1);
			if (more.empty())
				break;
			received += more;
		}
		return received;
	}

	size_t CountCallers()
	{
		return fLooper.Locked([this] {
			return fBoard->Get().ListCallers().size();
		});
	}

	RunningLooper fLooper;
	SocketPair fSockets;
	std::unique_ptr<QuietBoard> fBoard;
	std::unique_ptr<TelnetConnection> fConnection;
	int fEnded = 0;
};

}	// namespace


TEST_F(TelnetConnectionTest, OffersItsOptionsAndTheBoardGreetsTheCaller)
{
	Start();
	std::string received = ReceiveUntil("Name: ");
	EXPECT_NE(std::string::npos, received.find(kWillEcho));
	EXPECT_NE(std::string::npos, received.find(kDoNaws));
	EXPECT_NE(std::string::npos,
		received.find("Welcome to the Drelmoor board.")) << received;
	EXPECT_EQ(1u, CountCallers());
	EXPECT_STREQ("telnet", fConnection->Kind());
	EXPECT_STREQ("192.0.2.7", fConnection->Address().String());
}


TEST_F(TelnetConnectionTest, TypedKeysReachTheBoard)
{
	Start();
	ReceiveUntil("Name: ");
	ASSERT_TRUE(fSockets.Send(".hidden\r\n"));
	std::string received = ReceiveUntil("Name: ");
	EXPECT_NE(std::string::npos,
		received.find("That name starts with a space or a dot.")) << received;
}


TEST_F(TelnetConnectionTest, WindowSizeAndTerminalTypeAreTheCallers)
{
	Start();
	ReceiveUntil("Name: ");
	// WILL NAWS, then the size: 100 x 40.
	ASSERT_TRUE(fSockets.Send(std::string("\xff\xfb\x1f\xff\xfa\x1f", 6)
		+ std::string("\x00\x64\x00\x28", 4) + "\xff\xf0"));
	EXPECT_TRUE(fLooper.WaitFor([this] {
		return fConnection->TerminalType() == "unknown 100x40";
	})) << fLooper.Locked([this] {
		return fConnection->TerminalType();
	}).String();
}


TEST_F(TelnetConnectionTest, BusyBoardSendsItsNoticeAndEndsOnce)
{
	BoardSettings settings;
	settings.maxCallers = 0;
	Start(settings);
	std::string received = fSockets.ReceiveAll();
	EXPECT_NE(std::string::npos,
		received.find("The board is busy, please call again later."))
		<< received;
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	fLooper.Locked([this] {
		// Finished: the board's later words go nowhere.
		fConnection->Show("late");
		fConnection->Finish(CallEnd::kSessionEnded, "again");
	});
	EXPECT_EQ(1, fLooper.Locked([this] { return fEnded; }));
}


TEST_F(TelnetConnectionTest, HangUpIsReportedToTheBoardAndTheOwnerOnce)
{
	Start();
	ReceiveUntil("Name: ");
	fSockets.ClosePeer();
	ASSERT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	EXPECT_EQ(0u, CountCallers());
	snooze(50000);
	EXPECT_EQ(1, fLooper.Locked([this] { return fEnded; }));
}


TEST_F(TelnetConnectionTest, CallerWhoSendsAndNeverReadsIsCutOff)
{
	Start();
	// Every refused option asks for an answer; a caller who never reads
	// the answers cannot make the host keep them without end.
	std::string requests;
	for (int i = 0; i < 4096; i++)
		requests += "\xff\xfd\x63\xff\xfd\x64";
	for (int i = 0; i < 256 && fLooper.Locked([this] { return fEnded; })
			== 0; i++) {
		if (!fSockets.Send(requests))
			break;
	}
	EXPECT_TRUE(fLooper.WaitFor([this] { return fEnded == 1; }));
	EXPECT_EQ(0u, CountCallers());
}
