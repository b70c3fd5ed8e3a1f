#include "TelnetProtocol.h"

#include <gtest/gtest.h>

#include <string>


namespace {

const char kIAC = (char)0xff;
const char kWill = (char)0xfb;
const char kWont = (char)0xfc;
const char kDo = (char)0xfd;
const char kDont = (char)0xfe;
const char kSB = (char)0xfa;
const char kSE = (char)0xf0;
const char kBinary = 0;
const char kEcho = 1;
const char kSGA = 3;
const char kStatus = 5;
const char kTerminalType = 24;
const char kWindowSize = 31;
const char kNewEnviron = 39;


class Line : public TelnetProtocol::Listener {
public:
	void KeysReceived(const std::string& keys) override { fKeys += keys; }
	void BytesToSend(const char* bytes, size_t size) override
	{
		fSent.append(bytes, size);
	}
	void ProtocolFailed(const char*) override { fFailed = true; }

	std::string TakeSent()
	{
		std::string sent = fSent;
		fSent.clear();
		return sent;
	}

	std::string fKeys;
	std::string fSent;
	bool fFailed = false;
};


std::string
Bytes(std::initializer_list<char> bytes)
{
	return std::string(bytes);
}


void
Receive(TelnetProtocol& protocol, const std::string& bytes)
{
	protocol.Receive(bytes.data(), bytes.size());
}

}	// namespace


TEST(TelnetProtocolTest, HostOffersEchoSgaAndBinaryAndAsksForSizeAndType)
{
	Line line;
	TelnetProtocol protocol(line);
	protocol.Start();
	EXPECT_EQ(Bytes({ kIAC, kWill, kEcho, kIAC, kWill, kSGA,
		kIAC, kDo, kWindowSize, kIAC, kDo, kTerminalType,
		kIAC, kWill, kBinary, kIAC, kDo, kBinary }), line.TakeSent());

	// The client agrees and tells.
	Receive(protocol, Bytes({ kIAC, kDo, kEcho, kIAC, kDo, kSGA,
		kIAC, kWill, kWindowSize, kIAC, kWill, kTerminalType }));
	EXPECT_EQ(Bytes({ kIAC, kSB, kTerminalType, 1, kIAC, kSE }),
		line.TakeSent());
	Receive(protocol, Bytes({ kIAC, kSB, kWindowSize, 0, (char)132, 0, 43,
		kIAC, kSE }));
	Receive(protocol, std::string(1, kIAC) + kSB + kTerminalType + '\0'
		+ "XTERM-256COLOR\x1b" + kIAC + kSE);
	EXPECT_EQ(132, protocol.Width());
	EXPECT_EQ(43, protocol.Height());
	// Kept as shown: no control byte of the client's.
	EXPECT_STREQ("XTERM-256COLOR", protocol.TerminalType().String());
	EXPECT_EQ("", line.fKeys);
	EXPECT_FALSE(line.fFailed);
}


TEST(TelnetProtocolTest, EightBitBytesAreTheClientsOnlyOnceItSendsBinary)
{
	Line line;
	TelnetProtocol protocol(line);
	protocol.Start();
	line.TakeSent();
	EXPECT_FALSE(protocol.ReceivesBinary());
	Receive(protocol, Bytes({ kIAC, kWill, kBinary }));
	EXPECT_TRUE(protocol.ReceivesBinary());
	// UTF-8 reaches the board byte for byte.
	Receive(protocol, "p\xc3\xa4ss\xe2\x9c\x93\r");
	EXPECT_EQ("p\xc3\xa4ss\xe2\x9c\x93\n", line.fKeys);
	Receive(protocol, Bytes({ kIAC, kWont, kBinary }));
	EXPECT_FALSE(protocol.ReceivesBinary());
}


TEST(TelnetProtocolTest, BinaryIsAcceptedAndEverythingElseRefused)
{
	Line line;
	TelnetProtocol protocol(line);
	Receive(protocol, Bytes({ kIAC, kDo, kBinary, kIAC, kWill, kBinary }));
	EXPECT_EQ(Bytes({ kIAC, kWill, kBinary, kIAC, kDo, kBinary }),
		line.TakeSent());
	Receive(protocol, Bytes({ kIAC, kDo, kStatus, kIAC, kWill, kNewEnviron }));
	EXPECT_EQ(Bytes({ kIAC, kWont, kStatus, kIAC, kDont, kNewEnviron }),
		line.TakeSent());
	// The client may not echo for the host.
	Receive(protocol, Bytes({ kIAC, kWill, kEcho }));
	EXPECT_EQ(Bytes({ kIAC, kDont, kEcho }), line.TakeSent());
}


TEST(TelnetProtocolTest, KeysComeThroughTheLineDisciplineAroundCommands)
{
	Line line;
	TelnetProtocol protocol(line);
	Receive(protocol, std::string("a\r", 2));
	Receive(protocol, std::string("\0b", 2) + kIAC + kIAC + "\x7f" + kIAC
		+ (char)0xf4 + "c\r\n");
	// IAC IAC is the byte 0xff typed; IAC IP is no key.
	EXPECT_EQ("a\nb\xff\bc\n", line.fKeys);
}


TEST(TelnetProtocolTest, TextsLeaveWithCrLfDoubledIacAndNoControls)
{
	Line line;
	TelnetProtocol protocol(line);
	protocol.SendText("caf\xff\n\x1b[2J\rX\r");
	EXPECT_EQ(std::string("caf\xff\xff\r\n[2J\r\0X\r\0", 15), line.TakeSent());
}


TEST(TelnetProtocolTest, OversizedSubnegotiationIsCappedAndTheLineGoesOn)
{
	Line line;
	TelnetProtocol protocol(line);
	std::string huge = std::string(1, kIAC) + kSB + kTerminalType + '\0'
		+ std::string(64 * 1024, 'A') + kIAC + kSE;
	Receive(protocol, huge);
	EXPECT_LE(protocol.TerminalType().Length(), 40);
	if (!line.fFailed) {
		Receive(protocol, "k");
		EXPECT_NE(std::string::npos, line.fKeys.find('k'));
	}
}


// Compression is never negotiated, so a caller's "IAC SB COMPRESS2 IAC SE"
// starts nothing: the bytes after it are the caller's keys as they are,
// never inflated into many more.
TEST(TelnetProtocolTest, CompressionStartedUnaskedIsNeverTaken)
{
	const char kCompress2 = (char)86;
	Line line;
	TelnetProtocol protocol(line);
	// What deflate makes of 100,000 times "s": 121 bytes.
	std::string deflated(
		"\x78\xda\xed\xc1\x31\x0d\x00\x00\x00\xc3\x20\xd1\xf5\x9f\xcc\xc6"
		"\x0e\xa0\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
		"\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
		"\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
		"\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
		"\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
		"\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
		"\x00\x00\x80\x57\x03\x9e\x83\x84\x22", 121);
	Receive(protocol, std::string(1, kIAC) + kSB + kCompress2 + kIAC + kSE
		+ deflated + "ok");
	EXPECT_FALSE(line.fFailed);
	EXPECT_LE(line.fKeys.size(), deflated.size() + 2);
	EXPECT_EQ("ok", line.fKeys.substr(line.fKeys.size() - 2));
}


// The compression option's subnegotiation is left out whole even when it
// comes a byte at a time; the commands around it are read as ever.
TEST(TelnetProtocolTest, CompressionSubnegotiationSplitAcrossReadsIsDropped)
{
	const char kCompress = (char)85;
	Line line;
	TelnetProtocol protocol(line);
	line.TakeSent();
	std::string bytes = std::string(1, kIAC) + kSB + kCompress + "z" + kIAC
		+ kIAC + "z" + kIAC + kSE + "a" + kIAC + kIAC + kIAC + kSB
		+ kTerminalType + '\0' + "VT100" + kIAC + kSE + "b";
	for (char byte : bytes)
		Receive(protocol, std::string(1, byte));
	EXPECT_FALSE(line.fFailed);
	EXPECT_EQ("a\xff" "b", line.fKeys);
	EXPECT_STREQ("VT100", protocol.TerminalType().String());
}


TEST(TelnetProtocolTest, OfferOfCompressionIsRefused)
{
	const char kCompress2 = (char)86;
	Line line;
	TelnetProtocol protocol(line);
	Receive(protocol, Bytes({kIAC, kWill, kCompress2}));
	EXPECT_EQ(Bytes({kIAC, kDont, kCompress2}), line.TakeSent());
	Receive(protocol, Bytes({kIAC, kDo, kCompress2}));
	EXPECT_EQ(Bytes({kIAC, kWont, kCompress2}), line.TakeSent());
}


// libtelnet ends a subnegotiation at an IAC that is not doubled and reads
// a command after it: a compression subnegotiation opened inside another
// is left out all the same.
TEST(TelnetProtocolTest, CompressionOpenedInsideAnotherSubnegotiationIsDropped)
{
	const char kCompress2 = (char)86;
	Line line;
	TelnetProtocol protocol(line);
	// What deflate makes of 1,000 times "s".
	std::string deflated("\x78\xda\x2b\x2e\x1e\x05\xa3\x60\x14\x0c\x77"
		"\x00\x00\x79\x56\xc1\x48", 17);
	Receive(protocol, std::string(1, kIAC) + kSB + kTerminalType + '\0' + "X"
		+ kIAC + kSB + kCompress2 + kIAC + kSE + deflated + "ok");
	EXPECT_LE(line.fKeys.size(), deflated.size() + 2);
	EXPECT_EQ(std::string::npos, line.fKeys.find("sss"));
}
