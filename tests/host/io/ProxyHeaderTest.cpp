#include "ProxyHeader.h"

#include <gtest/gtest.h>

#include <string>


namespace {

ProxyHeader::Verdict
Parse(ProxyHeader& header, const std::string& bytes)
{
	return header.Parse((const uint8*)bytes.data(), bytes.size());
}


std::string
Binary(uint8 command, uint8 family, const std::string& addresses)
{
	std::string header("\r\n\r\n\0\r\nQUIT\n", 12);
	header += (char)(0x20 | command);
	header += (char)family;
	header += (char)(addresses.size() >> 8);
	header += (char)(addresses.size() & 0xff);
	return header + addresses;
}

}	// namespace


TEST(ProxyHeaderTest, TextHeaderNamesTheCallerAndEndsAtItsLine)
{
	ProxyHeader header;
	std::string line = "PROXY TCP4 203.0.113.7 192.0.2.1 40000 23\r\n";
	EXPECT_EQ(ProxyHeader::Verdict::kComplete,
		Parse(header, line + "\xff\xfd\x01"));
	EXPECT_EQ(line.size(), header.Length());
	EXPECT_EQ(BString("203.0.113.7"), header.Address());

	EXPECT_EQ(ProxyHeader::Verdict::kComplete, Parse(header,
		"PROXY TCP6 ::ffff:198.51.100.2 ::1 1 2\r\n"));
	EXPECT_EQ(BString("198.51.100.2"), header.Address());
	EXPECT_EQ(ProxyHeader::Verdict::kComplete, Parse(header,
		"PROXY TCP6 2001:db8::7 2001:db8::1 65535 22\r\n"));
	EXPECT_EQ(BString("2001:db8::7"), header.Address());
	// The proxy's own check names nobody.
	EXPECT_EQ(ProxyHeader::Verdict::kComplete,
		Parse(header, "PROXY UNKNOWN\r\n"));
	EXPECT_EQ(BString(""), header.Address());
}


TEST(ProxyHeaderTest, HeaderArrivingInPiecesNeedsMoreUntilWhole)
{
	ProxyHeader header;
	std::string line = "PROXY TCP4 203.0.113.7 192.0.2.1 40000 23\r\n";
	for (size_t size = 0; size < line.size(); size++) {
		EXPECT_EQ(ProxyHeader::Verdict::kNeedMore,
			Parse(header, line.substr(0, size))) << size;
	}
	std::string binary = Binary(1, 0x11,
		std::string("\xc6\x33\x64\x09\x7f\x00\x00\x01\x9c\x40\x00\x17", 12));
	for (size_t size = 0; size < binary.size(); size++) {
		EXPECT_EQ(ProxyHeader::Verdict::kNeedMore,
			Parse(header, binary.substr(0, size))) << size;
	}
	EXPECT_EQ(ProxyHeader::Verdict::kComplete, Parse(header, binary + "SSH"));
	EXPECT_EQ(28u, header.Length());
	EXPECT_EQ(BString("198.51.100.9"), header.Address());
}


TEST(ProxyHeaderTest, BinaryHeaderOfIPv6AndLocalAndWithExtras)
{
	ProxyHeader header;
	std::string v6(16, '\0');
	v6[0] = '\x20';
	v6[1] = '\x01';
	v6[2] = '\x0d';
	v6[3] = '\xb8';
	v6[15] = '\x05';
	std::string addresses = v6 + std::string(16, '\0')
		+ "\x01\x02\x03\x04";
	// Extra fields (TLVs) after the addresses belong to the header.
	EXPECT_EQ(ProxyHeader::Verdict::kComplete,
		Parse(header, Binary(1, 0x21, addresses
			+ std::string("\x04\x00\x01x", 4))));
	EXPECT_EQ(16u + 36 + 4, header.Length());
	EXPECT_EQ(BString("2001:db8::5"), header.Address());
	EXPECT_EQ(ProxyHeader::Verdict::kComplete,
		Parse(header, Binary(0, 0x00, "")));
	EXPECT_EQ(BString(""), header.Address());
}


TEST(ProxyHeaderTest, AnythingButAWellFormedHeaderIsInvalid)
{
	ProxyHeader header;
	const char* const kBad[] = {
		"\xff\xfb\x01",										// telnet
		"SSH-2.0-OpenSSH_9.2\r\n",
		"GET / HTTP/1.1\r\n",
		"PROXY TCP4 203.0.113.7 192.0.2.1 40000 23\n",		// no CR
		"PROXY TCP4 203.0.113.7 192.0.2.1 40000\r\n",
		"PROXY TCP4 203.0.113.7  192.0.2.1 40000 23\r\n",
		"PROXY TCP4 203.0.113.07 192.0.2.1 40000 23\r\n",
		"PROXY TCP4 2001:db8::7 192.0.2.1 40000 23\r\n",
		"PROXY TCP6 203.0.113.7 ::1 40000 23\r\n",
		"PROXY TCP4 203.0.113.7 192.0.2.1 65536 23\r\n",
		"PROXY TCP4 203.0.113.7 192.0.2.1 -1 23\r\n",
		"PROXY TCP4 203.0.113.7\x1b[2J 192.0.2.1 1 23\r\n",
		"PROXY UDP4 203.0.113.7 192.0.2.1 1 2\r\n",
	};
	for (const char* bad : kBad)
		EXPECT_EQ(ProxyHeader::Verdict::kInvalid, Parse(header, bad)) << bad;
	EXPECT_EQ(ProxyHeader::Verdict::kInvalid,
		Parse(header, "PROXY TCP4 " + std::string(200, '1')));
	// Version 1 in the binary form, an unknown command, UDP, a header
	// too short for its family, and one over the cap.
	std::string v4(12, '\x01');
	std::string wrongVersion = Binary(1, 0x11, v4);
	wrongVersion[12] = '\x11';
	EXPECT_EQ(ProxyHeader::Verdict::kInvalid, Parse(header, wrongVersion));
	EXPECT_EQ(ProxyHeader::Verdict::kInvalid,
		Parse(header, Binary(2, 0x11, v4)));
	EXPECT_EQ(ProxyHeader::Verdict::kInvalid,
		Parse(header, Binary(1, 0x12, v4)));
	EXPECT_EQ(ProxyHeader::Verdict::kInvalid,
		Parse(header, Binary(1, 0x21, v4)));
	std::string tooLong = Binary(1, 0x11, v4).substr(0, 14) + "\x02\x01";
	EXPECT_EQ(ProxyHeader::Verdict::kInvalid, Parse(header, tooLong));
	EXPECT_STRNE("", header.Problem());
}
