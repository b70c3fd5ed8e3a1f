#include "LineDiscipline.h"

#include <gtest/gtest.h>


namespace {

std::string
Keys(LineDiscipline& discipline, const std::string& bytes)
{
	std::string keys;
	discipline.TranslateKeys(bytes.data(), bytes.size(), keys);
	return keys;
}

}	// namespace


TEST(LineDisciplineTest, EveryEnterIsOneLineFeed)
{
	LineDiscipline discipline;
	EXPECT_EQ("a\nb\nc\nd\n", Keys(discipline,
		std::string("a\r\nb\r\0c\rd\n", 11)));
	// A lone CR, CR LF, a lone LF, CR NUL and CR LF one after the other.
	EXPECT_EQ("\n\n\n\n\n", Keys(discipline, std::string("\r\r\n\n\r\0\r\n",
		8)));
}


TEST(LineDisciplineTest, EnterSplitAcrossReadsIsStillOne)
{
	LineDiscipline discipline;
	EXPECT_EQ("x\n", Keys(discipline, "x\r"));
	EXPECT_EQ("", Keys(discipline, "\n"));
	EXPECT_EQ("\n", Keys(discipline, "\r"));
	EXPECT_EQ("", Keys(discipline, std::string(1, '\0')));
	EXPECT_EQ("\n", Keys(discipline, "\n"));
}


TEST(LineDisciplineTest, BackspaceAndDeleteAreOneBackspaceAndZeroIsNoKey)
{
	LineDiscipline discipline;
	EXPECT_EQ("ab\b\bc", Keys(discipline, std::string("a\0b\x7f\bc", 6)));
}


TEST(LineDisciplineTest, OutputEndsLinesInCrLfAndDropsControls)
{
	// In Latin-1, 0x9B is the 8-bit CSI.
	LineDiscipline discipline;
	discipline.SetCharacterSet(CharacterSet(DoorCharset::kLatin1));
	std::string output;
	std::string text = "\x1b[31mRED\x1b]0;pwn\x07\x9b" "2J\x7f\x01\n\tok\b\r";
	discipline.TranslateText(text, output);
	EXPECT_EQ("[31mRED]0;pwn\x07" "2J\r\n\tok\b\r", output);
	// Latin-1 letters are text, not controls.
	output.clear();
	discipline.TranslateText("caf\xe9", output);
	EXPECT_EQ("caf\xe9", output);
}


TEST(LineDisciplineTest, EndLineStartsAFreshLineOnlyWhenNeeded)
{
	LineDiscipline discipline;
	std::string output;
	discipline.EndLine(output);
	EXPECT_EQ("", output);
	discipline.TranslateText("Bye", output);
	discipline.EndLine(output);
	discipline.EndLine(output);
	EXPECT_EQ("Bye\r\n", output);
}


TEST(LineDisciplineTest, Cp437LettersAtC1PlacesAreLettersNotControls)
{
	// 0x9B is CP437's cent sign, 0x82 its e acute: to a CP437 terminal the
	// bytes as they are, to a UTF-8 one whole characters, and to a
	// terminal of some other 8-bit set nothing, since it may take them for
	// C1 controls.
	LineDiscipline raw;
	raw.SetCharacterSet(CharacterSet(DoorCharset::kCp437,
		TerminalEncoding::kDoorCharset));
	std::string output;
	raw.TranslateText("\x9b\x82\x1b\xe9", output);
	EXPECT_EQ("\x9b\x82\xe9", output);

	LineDiscipline unknown;
	output.clear();
	unknown.TranslateText("\x9b\x82\xe9", output);
	EXPECT_EQ("\xe9", output);

	LineDiscipline utf8;
	utf8.SetCharacterSet(CharacterSet(DoorCharset::kCp437,
		TerminalEncoding::kUtf8));
	output.clear();
	utf8.TranslateText("caf\x82 \x9b\n", output);
	EXPECT_EQ("caf\xc3\xa9 \xc2\xa2\r\n", output);
}


TEST(LineDisciplineTest, Latin1C1ControlsNeverReachAUtf8Terminal)
{
	LineDiscipline discipline;
	discipline.SetCharacterSet(CharacterSet(DoorCharset::kLatin1,
		TerminalEncoding::kUtf8));
	std::string output;
	discipline.TranslateText("a\x9b" "2J\x85\xe9", output);
	EXPECT_EQ("a2J\xc3\xa9", output);
}


TEST(LineDisciplineTest, Utf8KeyIsOneDoorKeyEvenSplitAcrossReads)
{
	LineDiscipline discipline;
	discipline.SetCharacterSet(CharacterSet(DoorCharset::kCp437,
		TerminalEncoding::kUtf8));
	EXPECT_EQ("\x82", Keys(discipline, "\xc3\xa9"));
	EXPECT_EQ("", Keys(discipline, "\xc3"));
	EXPECT_EQ("\x82\n", Keys(discipline, "\xa9\r"));
	// y diaeresis is 0x98 in CP437: one key, not C3 and BF.
	EXPECT_EQ("\x98", Keys(discipline, "\xc3\xbf"));
}
