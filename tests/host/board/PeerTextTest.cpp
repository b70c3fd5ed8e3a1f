#include "PeerText.h"

#include <gtest/gtest.h>

#include <string>


TEST(PeerTextTest, PrintableTextPassesUnchanged)
{
	EXPECT_EQ("SSH-2.0-OpenSSH_9.2 \"quoted\" \\ ~",
		PeerText::Escaped(std::string("SSH-2.0-OpenSSH_9.2 \"quoted\" \\ ~")));
	// Well-formed UTF-8 of printable characters is text, not control.
	EXPECT_EQ("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x90\x89",
		PeerText::Escaped(
			std::string("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x90\x89")));
}


TEST(PeerTextTest, ControlsAndC1AreShownEscaped)
{
	EXPECT_EQ("a\\x1b]0;x\\x07b\\x00\\x0a\\x7f",
		PeerText::Escaped(std::string("a\x1b]0;x\x07" "b\0\n\x7f", 11)));
	// A CSI as its one byte, and as the UTF-8 of U+009B.
	EXPECT_EQ("\\x9b31m \\xc2\\x9b31m",
		PeerText::Escaped(std::string("\x9b" "31m \xc2\x9b" "31m")));
}


TEST(PeerTextTest, MalformedUtf8IsShownByteByByte)
{
	// Cut short, overlong, a surrogate, past U+10FFFF, a lone follower.
	EXPECT_EQ("\\xe2\\x82", PeerText::Escaped(std::string("\xe2\x82")));
	EXPECT_EQ("\\xc0\\xaf", PeerText::Escaped(std::string("\xc0\xaf")));
	EXPECT_EQ("\\xe0\\x80\\xaf",
		PeerText::Escaped(std::string("\xe0\x80\xaf")));
	EXPECT_EQ("\\xed\\xa0\\x80",
		PeerText::Escaped(std::string("\xed\xa0\x80")));
	EXPECT_EQ("\\xf4\\x90\\x80\\x80",
		PeerText::Escaped(std::string("\xf4\x90\x80\x80")));
	EXPECT_EQ("\\x85x", PeerText::Escaped(std::string("\x85x")));
}


TEST(PeerTextTest, EscapedTextHasNoByteThatDrivesATerminal)
{
	std::string every;
	for (int byte = 0; byte < 256; byte++)
		every += (char)byte;
	for (int lead = 0xc2; lead < 0xf5; lead++) {
		for (int next = 0x80; next < 0xc0; next++) {
			every += (char)lead;
			every += (char)next;
		}
	}
	std::string escaped = PeerText::Escaped(every);
	for (size_t i = 0; i < escaped.size(); i++) {
		unsigned char byte = (unsigned char)escaped[i];
		ASSERT_FALSE(byte < 0x20 || byte == 0x7f) << i;
		// A byte of 0x80..0x9F stands only inside a printable character.
		if (byte >= 0x80 && byte <= 0x9f) {
			ASSERT_GE((unsigned char)escaped[i - 1], 0xc3) << i;
		}
	}
}


TEST(PeerTextTest, TerminalTypeIsCappedAndKeepsPrintableAsciiOnly)
{
	EXPECT_EQ("xterm-256color",
		PeerText::TerminalType("xterm-256color", 14));
	EXPECT_EQ("XTERM[31m",
		PeerText::TerminalType("X TERM\x1b[31m\xe9\xa0", 13));
	std::string longType(100, 'v');
	EXPECT_EQ(PeerText::kMaxTerminalType,
		PeerText::TerminalType(longType.data(), longType.size()).size());
}
