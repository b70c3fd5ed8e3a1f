#include "UserName.h"

#include <gtest/gtest.h>

#include <string>


static const char* const kDropFile =
	"2\r\n5\r\n38400\r\nKorrin BBS\r\n17\r\nAsh Marlow\r\nAsh\r\n30\r\n"
	"546\r\n1\r\n2\r\n";


TEST(DropFileTest, DropFileGivesTheAliasLine)
{
	BString name;
	ASSERT_EQ(B_OK, ParseDropFileUser(kDropFile, strlen(kDropFile), &name));
	EXPECT_STREQ("Ash", name.String());

	const char* unixLines = "2\n5\n38400\nBBS\n17\nReal Name\n  Wren  \n";
	ASSERT_EQ(B_OK, ParseDropFileUser(unixLines, strlen(unixLines), &name));
	EXPECT_STREQ("Wren", name.String());

	// The alias may be the last line, without a line end.
	const char* lastLine = "2\n5\n38400\nBBS\n17\nReal Name\nKit";
	ASSERT_EQ(B_OK, ParseDropFileUser(lastLine, strlen(lastLine), &name));
	EXPECT_STREQ("Kit", name.String());
}


TEST(DropFileTest, DropFileWithoutAUsableAliasIsRefused)
{
	BString name("unchanged");
	const char* shortFile = "2\n5\n38400\nBBS\n17\nReal Name\n";
	EXPECT_EQ(B_BAD_DATA, ParseDropFileUser(shortFile, strlen(shortFile),
		&name));
	const char* blankAlias = "2\n5\n38400\nBBS\n17\nReal Name\n \r\n30\n";
	EXPECT_EQ(B_BAD_DATA, ParseDropFileUser(blankAlias, strlen(blankAlias),
		&name));
	const char* pathAlias = "2\n5\n38400\nBBS\n17\nReal Name\n../x\n30\n";
	EXPECT_EQ(B_BAD_DATA, ParseDropFileUser(pathAlias, strlen(pathAlias),
		&name));
	EXPECT_STREQ("unchanged", name.String());
}


TEST(DropFileTest, MissingDropFileIsAnErrorOtherThanBadData)
{
	BString name;
	status_t status = ReadDropFileUser("/nonexistent/DOOR32.SYS", &name);
	EXPECT_NE(B_OK, status);
	EXPECT_NE(B_BAD_DATA, status);
}
