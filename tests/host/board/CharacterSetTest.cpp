#include "CharacterSet.h"

#include <gtest/gtest.h>

#include <iconv.h>


namespace {

std::string
Decoded(CharacterSet& set, const std::string& bytes)
{
	std::string doorBytes;
	set.DecodeKeys(bytes.data(), bytes.size(), doorBytes);
	return doorBytes;
}

}	// namespace


TEST(CharacterSetTest, Cp437TableAgreesWithTheSystemsConverter)
{
	iconv_t converter = iconv_open("UTF-8", "CP437");
	if (converter == (iconv_t)-1)
		GTEST_SKIP() << "the C library has no CP437 converter";
	for (int byte = 0x80; byte <= 0xff; byte++) {
		char in[1] = {(char)byte};
		char out[8] = {};
		char* inPointer = in;
		char* outPointer = out;
		size_t inLeft = 1;
		size_t outLeft = sizeof(out);
		ASSERT_NE((size_t)-1, iconv(converter, &inPointer, &inLeft,
			&outPointer, &outLeft));
		std::string ours;
		CharacterSet::AppendUtf8(
			CharacterSet::CodePoint(DoorCharset::kCp437, (uint8)byte), ours);
		EXPECT_EQ(std::string(out), ours) << "byte " << byte;
		// And back: every CP437 letter can be typed.
		EXPECT_EQ(byte, CharacterSet::DoorByte(DoorCharset::kCp437,
			CharacterSet::CodePoint(DoorCharset::kCp437, (uint8)byte)));
	}
	iconv_close(converter);
}


TEST(CharacterSetTest, CharacterWithoutADoorByteIsNoKey)
{
	CharacterSet set(DoorCharset::kCp437, TerminalEncoding::kUtf8);
	// The euro sign and an emoji: CP437 has neither.
	EXPECT_EQ("ab", Decoded(set, "a\xe2\x82\xac\xf0\x9f\x98\x80" "b"));
	CharacterSet latin1(DoorCharset::kLatin1, TerminalEncoding::kUtf8);
	EXPECT_EQ("\xe9", Decoded(latin1, "\xc3\xa9"));
	// A C1 control typed as UTF-8 is no key in either set.
	EXPECT_EQ("", Decoded(latin1, "\xc2\x9b"));
	EXPECT_EQ("", Decoded(set, "\xc2\x80"));
}


TEST(CharacterSetTest, MalformedUtf8NeverBecomesAControlKey)
{
	CharacterSet set(DoorCharset::kCp437, TerminalEncoding::kUtf8);
	// An overlong ESC and an overlong LF, a stray continuation byte, a
	// lead byte cut short by a letter, and bytes that lead nothing.
	EXPECT_EQ("", Decoded(set, "\xc0\x9b\xe0\x80\x8a"));
	EXPECT_EQ("x", Decoded(set, "\x80\xc3x"));
	EXPECT_EQ("", Decoded(set, "\xff\xfe\xf8\x88\x80\x80\x80"));
	// A held lead byte never swallows more than its character.
	EXPECT_EQ("", Decoded(set, "\xe2\x82"));
	EXPECT_EQ("y", Decoded(set, "\xac" "y"));
}


TEST(CharacterSetTest, EightBitTerminalGetsAndSendsTheBytesAsTheyAre)
{
	CharacterSet set;
	EXPECT_EQ("\xc3\xa9", Decoded(set, "\xc3\xa9"));
	std::string output;
	set.AppendCharacter(0x82, output);
	EXPECT_EQ("\x82", output);
}


TEST(CharacterSetTest, TerminalTypeNamesTheEncodingWhenItCan)
{
	const TerminalEncoding utf8 = TerminalEncoding::kUtf8;
	const TerminalEncoding eightBit = TerminalEncoding::kEightBit;
	EXPECT_EQ(utf8, CharacterSet::EncodingForTerminalType("xterm-256color",
		eightBit));
	EXPECT_EQ(utf8, CharacterSet::EncodingForTerminalType("vt100.UTF-8",
		eightBit));
	EXPECT_EQ(TerminalEncoding::kDoorCharset,
		CharacterSet::EncodingForTerminalType("ANSI", utf8));
	EXPECT_EQ(TerminalEncoding::kDoorCharset,
		CharacterSet::EncodingForTerminalType("syncterm", utf8));
	// A name that says nothing: the way in's guess.
	EXPECT_EQ(utf8, CharacterSet::EncodingForTerminalType("vt102", utf8));
	EXPECT_EQ(eightBit, CharacterSet::EncodingForTerminalType("", eightBit));
}


TEST(CharacterSetTest, NamesOfTheSetsAreTheOptionsValues)
{
	DoorCharset door = DoorCharset::kCp437;
	EXPECT_TRUE(CharacterSet::ParseName("latin1", &door));
	EXPECT_EQ(DoorCharset::kLatin1, door);
	EXPECT_STREQ("latin1", CharacterSet::Name(door));
	EXPECT_FALSE(CharacterSet::ParseName("utf8", &door));
	EXPECT_EQ("caf\xc3\xa9", CharacterSet::Utf8Text(DoorCharset::kCp437,
		"caf\x82\x1b"));
}
