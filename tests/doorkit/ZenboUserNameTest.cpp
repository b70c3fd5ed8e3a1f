#include "ZenboUserName.h"

#include <gtest/gtest.h>

#include <string>


TEST(ZenboUserNameTest, PlainShortPrintableNamesAreUsers)
{
	EXPECT_TRUE(IsValidUserName("Ash"));
	EXPECT_TRUE(IsValidUserName("Ash Marlow"));
	EXPECT_TRUE(IsValidUserName("Ash.."));
	EXPECT_TRUE(IsValidUserName("~Wren_the-2nd!"));
	EXPECT_TRUE(IsValidUserName(BString(std::string(30, 'a').c_str())));
}


TEST(ZenboUserNameTest, EachRefusalNamesItsReason)
{
	EXPECT_EQ(UserNameProblem::kEmpty, JudgeUserName(""));
	EXPECT_EQ(UserNameProblem::kTooLong,
		JudgeUserName(BString(std::string(31, 'a').c_str())));
	EXPECT_EQ(UserNameProblem::kTooLong,
		JudgeUserName(BString(std::string(300, 'a').c_str())));
	EXPECT_EQ(UserNameProblem::kNotPrintable, JudgeUserName("Ash\n"));
	EXPECT_EQ(UserNameProblem::kNotPrintable, JudgeUserName("Ash\x7f"));
	EXPECT_EQ(UserNameProblem::kNotPrintable, JudgeUserName("\x1b[2J"));
	EXPECT_EQ(UserNameProblem::kNotPrintable, JudgeUserName("\x9b" "2J"));
	EXPECT_EQ(UserNameProblem::kNotPrintable, JudgeUserName("Zo\xc3\xab"));
	EXPECT_EQ(UserNameProblem::kNotPrintable, JudgeUserName("a\0b", 3));
	EXPECT_EQ(UserNameProblem::kSlash, JudgeUserName("a/b"));
	EXPECT_EQ(UserNameProblem::kSlash, JudgeUserName("../Ash"));
	EXPECT_EQ(UserNameProblem::kBadStart, JudgeUserName("."));
	EXPECT_EQ(UserNameProblem::kBadStart, JudgeUserName(".."));
	EXPECT_EQ(UserNameProblem::kBadStart, JudgeUserName(".Ash"));
	EXPECT_EQ(UserNameProblem::kBadStart, JudgeUserName(" Ash"));

	EXPECT_STREQ("is longer than 30 characters",
		DescribeUserNameProblem(UserNameProblem::kTooLong));
	EXPECT_STREQ("", DescribeUserNameProblem(UserNameProblem::kNone));
}


TEST(ZenboUserNameTest, EscapedNamesHoldOnlyPrintableBytes)
{
	EXPECT_STREQ("Ash", EscapedUserName("Ash").String());
	EXPECT_STREQ("\\x1b[31mRED\\x0a\\x9b2J\\x5c",
		EscapedUserName("\x1b[31mRED\n\x9b" "2J\\").String());
	EXPECT_STREQ("a\\x00b", EscapedUserName("a\0b", 3).String());
}


TEST(ZenboUserNameTest, PrintableNamesReplaceTerminalControls)
{
	EXPECT_STREQ("?[31mRED?]0;pwn??2J",
		PrintableUserName("\x1b[31mRED\x1b]0;pwn\a\x9b" "2J").String());
	// Bytes from 0xA0 up are no control: they stay as they were.
	EXPECT_STREQ("Zo\xc3\xab", PrintableUserName("Zo\xc3\xab").String());
	EXPECT_STREQ("??", PrintableUserName("\x7f\x80").String());
}
