#include "RloginProtocol.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>


namespace {

class Recorder : public RloginProtocol::Listener {
public:
	void HandshakeReceived(const RloginProtocol::Handshake& handshake) override
	{
		fHandshakes.push_back(handshake);
	}
	void KeysReceived(const std::string& keys) override { fKeys += keys; }
	void WindowChanged(uint16 columns, uint16 rows) override
	{
		fWindows.push_back({ columns, rows });
	}
	void ProtocolFailed(const char* reason) override { fFailure = reason; }

	std::vector<RloginProtocol::Handshake> fHandshakes;
	std::string fKeys;
	std::vector<std::pair<uint16, uint16>> fWindows;
	std::string fFailure;
};


const std::string kHandshake("\0secret\0Ash\0ansi-bbs/38400\0", 27);


std::string
WindowMessage(uint16 rows, uint16 columns)
{
	std::string message("\xff\xffss", 4);
	for (uint16 value : { rows, columns, (uint16)0, (uint16)0 }) {
		message += (char)(value >> 8);
		message += (char)(value & 0xff);
	}
	return message;
}

}	// namespace


TEST(RloginProtocolTest, HandshakeGivesBothUsersAndTheTerminal)
{
	Recorder recorder;
	RloginProtocol protocol(recorder);
	// A byte at a time, as a slow line may bring it.
	for (char byte : kHandshake)
		protocol.Receive(&byte, 1);
	ASSERT_EQ(1u, recorder.fHandshakes.size());
	EXPECT_EQ("secret", recorder.fHandshakes[0].clientUser);
	EXPECT_EQ("Ash", recorder.fHandshakes[0].serverUser);
	EXPECT_EQ("ansi-bbs", recorder.fHandshakes[0].terminalType);
	EXPECT_EQ(38400u, recorder.fHandshakes[0].speed);
	EXPECT_TRUE(protocol.HasHandshake());
	EXPECT_EQ("", recorder.fFailure);
}


TEST(RloginProtocolTest, KeysAfterTheHandshakeFollowItWithTheDiscipline)
{
	Recorder recorder;
	RloginProtocol protocol(recorder);
	std::string bytes = kHandshake + "ab\r\nc\x7f";
	protocol.Receive(bytes.data(), bytes.size());
	ASSERT_EQ(1u, recorder.fHandshakes.size());
	EXPECT_EQ("ab\nc\b", recorder.fKeys);
}


TEST(RloginProtocolTest, WindowChangesAreTakenOutOfTheKeysEvenWhenCut)
{
	Recorder recorder;
	RloginProtocol protocol(recorder);
	protocol.Receive(kHandshake.data(), kHandshake.size());
	std::string bytes = "x" + WindowMessage(30, 100) + "y"
		+ WindowMessage(40, 132);
	for (size_t cut = 0; cut < bytes.size(); cut += 3)
		protocol.Receive(bytes.data() + cut, std::min((size_t)3,
			bytes.size() - cut));
	EXPECT_EQ("xy", recorder.fKeys);
	ASSERT_EQ(2u, recorder.fWindows.size());
	EXPECT_EQ(std::make_pair((uint16)100, (uint16)30), recorder.fWindows[0]);
	EXPECT_EQ(std::make_pair((uint16)132, (uint16)40), recorder.fWindows[1]);
}


TEST(RloginProtocolTest, BadHandshakesFailTheLine)
{
	{
		Recorder recorder;
		RloginProtocol protocol(recorder);
		protocol.Receive("GET / HTTP/1.0\r\n", 16);
		EXPECT_TRUE(protocol.HasFailed());
		EXPECT_NE("", recorder.fFailure);
		EXPECT_TRUE(recorder.fHandshakes.empty());
	}
	{
		Recorder recorder;
		RloginProtocol protocol(recorder);
		std::string bytes(1, '\0');
		bytes += std::string(RloginProtocol::kMaxFieldLength + 1, 'x');
		protocol.Receive(bytes.data(), bytes.size());
		EXPECT_TRUE(protocol.HasFailed());
		// Nothing more is heard from a failed line.
		protocol.Receive(kHandshake.data(), kHandshake.size());
		EXPECT_TRUE(recorder.fHandshakes.empty());
	}
}


TEST(RloginProtocolTest, TextsReachTheTerminalWithoutControls)
{
	Recorder recorder;
	RloginProtocol protocol(recorder);
	std::string output;
	protocol.TranslateText("a\x1b[2J\nb", output);
	EXPECT_EQ("a[2J\r\nb", output);
}
