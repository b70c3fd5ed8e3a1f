#include "DropFile.h"

#include <gtest/gtest.h>

#include <string>


static const char* const kDoor32 =
	"2\r\n5\r\n38400\r\nKorrin BBS\r\n17\r\nAsh Marlow\r\nAsh\r\n30\r\n"
	"546\r\n1\r\n2\r\n";


// The 52 lines of a DOOR.SYS, with the full name and the alias given.
static std::string
DoorSys(const char* port, const char* fullName, const char* alias,
	int lines = 52)
{
	std::string content;
	for (int line = 1; line <= lines; line++) {
		if (line == 1)
			content += port;
		else if (line == 10)
			content += fullName;
		else if (line == 36)
			content += alias;
		else
			content += std::to_string(line);
		content += "\r\n";
	}
	return content;
}


static std::string
DorInfo(const char* first, const char* last)
{
	return std::string("Korrin BBS\r\nKit\r\nSysop\r\nCOM0\r\n0 BAUD,N,8,1\r\n"
		" 0\r\n") + first + "\r\n" + last + "\r\nDarnhollow\r\n1\r\n30\r\n"
		"546\r\n-1\r\n";
}


static status_t
ParseAs(DropFile& file, const char* name, const std::string& content,
	BString* error)
{
	return file.Parse(name, content.data(), content.size(), error);
}


TEST(DropFileTest, Door32GivesTheAliasAndTheConnection)
{
	DropFile file;
	BString error;
	ASSERT_EQ(B_OK, ParseAs(file, "DOOR32.SYS", kDoor32, &error)) << error.String();
	EXPECT_EQ(DropFile::Format::kDoor32, file.FileFormat());
	EXPECT_STREQ("Ash", file.UserName().String());
	EXPECT_EQ(DropFile::CommType::kTelnet, file.Comm());
	EXPECT_EQ(5, file.CommHandle());
	EXPECT_EQ(2, file.Node());

	// Unix line ends, padded values, and the alias as the last line.
	ASSERT_EQ(B_OK, ParseAs(file, "door32.sys",
		"0\n0\n38400\nBBS\n17\nReal Name\n  Wren  ", &error)) << error.String();
	EXPECT_STREQ("Wren", file.UserName().String());
	EXPECT_EQ(DropFile::CommType::kLocal, file.Comm());
	// No node line: nothing known, and no mistake.
	EXPECT_EQ(0, file.Node());
}


TEST(DropFileTest, DoorSysGivesTheAliasOrElseTheFullName)
{
	DropFile file;
	BString error;
	ASSERT_EQ(B_OK, ParseAs(file, "DOOR.SYS",
		DoorSys("COM0:", "Ash Marlow", "Ash"), &error)) << error.String();
	EXPECT_EQ(DropFile::Format::kDoorSys, file.FileFormat());
	EXPECT_STREQ("Ash", file.UserName().String());
	EXPECT_EQ(DropFile::CommType::kLocal, file.Comm());
	EXPECT_EQ(4, file.Node());

	ASSERT_EQ(B_OK, ParseAs(file, "DOOR.SYS",
		DoorSys("COM1:", "Ash Marlow", ""), &error)) << error.String();
	EXPECT_STREQ("Ash Marlow", file.UserName().String());
}


TEST(DropFileTest, DorInfoJoinsFirstAndLastName)
{
	DropFile file;
	BString error;
	ASSERT_EQ(B_OK, ParseAs(file, "DORINFO1.DEF", DorInfo("ASH", "MARLOW"),
		&error)) << error.String();
	EXPECT_EQ(DropFile::Format::kDorInfo, file.FileFormat());
	EXPECT_STREQ("ASH MARLOW", file.UserName().String());

	ASSERT_EQ(B_OK, ParseAs(file, "dorinfo4.def", DorInfo("Wren", ""),
		&error)) << error.String();
	EXPECT_STREQ("Wren", file.UserName().String());
}


TEST(DropFileTest, AFileNamedOtherwiseIsKnownByItsContent)
{
	DropFile file;
	BString error;
	ASSERT_EQ(B_OK, ParseAs(file, "node1.drop", kDoor32, &error)) << error.String();
	EXPECT_EQ(DropFile::Format::kDoor32, file.FileFormat());
	ASSERT_EQ(B_OK, ParseAs(file, "node1.drop",
		DoorSys("COM0:", "Ash Marlow", "Ash"), &error)) << error.String();
	EXPECT_EQ(DropFile::Format::kDoorSys, file.FileFormat());
	ASSERT_EQ(B_OK, ParseAs(file, "node1.drop", DorInfo("Kit", "Vale"),
		&error)) << error.String();
	EXPECT_EQ(DropFile::Format::kDorInfo, file.FileFormat());

	EXPECT_EQ(B_BAD_DATA, ParseAs(file, "notes.txt", "hello\n", &error));
	EXPECT_NE(std::string::npos,
		std::string(error.String()).find("not a drop file"));
}


TEST(DropFileTest, AMalformedFileIsRefusedWithTheLineThatIsWrong)
{
	struct Case {
		const char*		name;
		std::string		content;
		const char*		error;
	};
	const Case cases[] = {
		{ "DOOR32.SYS", "7\n5\n38400\nBBS\n17\nReal\nAsh\n",
			"line 1: the comm type must be 0 (local), 1 (serial) or 2" },
		{ "DOOR32.SYS", "2\nfive\n38400\nBBS\n17\nReal\nAsh\n",
			"line 2: the comm handle must be a number" },
		{ "DOOR32.SYS", "0\n0\n38400\nBBS\n17\nReal Name\n",
			"line 7: missing" },
		{ "DOOR32.SYS", "0\n0\n38400\nBBS\n17\nReal\n \r\n30\n",
			"line 7: the name \"\" is empty" },
		{ "DOOR32.SYS", "0\n0\n38400\nBBS\n17\nReal\n../x\n30\n",
			"line 7: the name \"../x\" holds a \"/\"" },
		{ "DOOR32.SYS", "0\n0\n38400\nBBS\n17\nReal\n\x1b[2J\n",
			"line 7: the name \"\\x1b[2J\" holds a character other than" },
		{ "DOOR32.SYS", std::string("0\n0\n3\0" "8400\n", 10),
			"line 3: a 0 byte" },
		{ "DOOR.SYS", DoorSys("PORT1", "Ash Marlow", "Ash"),
			"line 1: the port must read COM0: to COM255:" },
		{ "DOOR.SYS", DoorSys("COM0:", "Ash Marlow", "Ash", 40),
			"line 41: missing: the file ends after 40 of its 52 lines" },
		{ "DOOR.SYS", DoorSys("COM0:", "", ""),
			"line 10: empty: the caller has neither an alias" },
		{ "DOOR.SYS", DoorSys("COM0:", "Ash", std::string(31, 'a').c_str()),
			"line 36: the name \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\" is longer" },
		{ "DORINFO1.DEF", "BBS\nKit\nSysop\nCOM0\n0\n0\n",
			"line 7: the caller's first name is missing" },
		{ "DORINFO1.DEF", "BBS\nKit\nSysop\nCOM0\n0\n0\nAsh",
			"line 8: missing" },
		{ "DORINFO1.DEF", DorInfo(".Ash", ""),
			"line 7: the name \".Ash\" starts with a space or a dot" },
	};
	for (const Case& test : cases) {
		DropFile file;
		BString error;
		EXPECT_EQ(B_BAD_DATA, ParseAs(file, test.name, test.content, &error))
			<< test.error;
		EXPECT_EQ(0, strncmp(test.error, error.String(), strlen(test.error)))
			<< "expected \"" << test.error << "\", got \"" << error.String()
			<< "\"";
	}
}


TEST(DropFileTest, AMissingOrHugeFileIsRefused)
{
	DropFile file;
	BString error;
	status_t status = file.Read("/nonexistent/DOOR32.SYS", &error);
	EXPECT_NE(B_OK, status);
	EXPECT_NE(B_BAD_DATA, status);

	char path[] = "/tmp/drelmoor-dropfile-XXXXXX";
	int descriptor = mkstemp(path);
	ASSERT_GE(descriptor, 0);
	std::string huge(100 * 1024, 'a');
	ASSERT_EQ((ssize_t)huge.size(), write(descriptor, huge.data(),
		huge.size()));
	close(descriptor);
	EXPECT_EQ(B_BAD_DATA, file.Read(path, &error));
	unlink(path);
	EXPECT_STREQ("the file is far larger than any drop file", error.String());
}


// #pragma mark - The caller's time left


static const bigtime_t kMinute = 60000000;


// A DOOR.SYS whose lines 18 and 19 give the seconds and minutes left.
static std::string
DoorSysWithTime(const char* seconds, const char* minutes)
{
	std::string content = DoorSys("COM0:", "Ash Marlow", "Ash");
	std::string lines[52];
	size_t start = 0;
	for (int line = 0; line < 52; line++) {
		size_t end = content.find("\r\n", start);
		lines[line] = content.substr(start, end - start);
		start = end + 2;
	}
	lines[17] = seconds;
	lines[18] = minutes;
	std::string result;
	for (const std::string& line : lines)
		result += line + "\r\n";
	return result;
}


static bigtime_t
TimeLeftOf(const char* fileName, const std::string& content)
{
	DropFile dropFile;
	BString error;
	EXPECT_EQ(B_OK, dropFile.Parse(fileName, content.data(), content.size(),
		&error)) << error.String();
	return dropFile.TimeLeft();
}


TEST(DropFileTest, EachKindGivesTheTimeLeft)
{
	EXPECT_EQ(546 * kMinute, TimeLeftOf("DOOR32.SYS", kDoor32));
	EXPECT_EQ(546 * kMinute, TimeLeftOf("DORINFO1.DEF", DorInfo("Ash", "")));
	// DOOR.SYS: the seconds first, else the minutes.
	EXPECT_EQ(3725 * 1000000LL, TimeLeftOf("DOOR.SYS",
		DoorSysWithTime("3725", "62")));
	EXPECT_EQ(62 * kMinute, TimeLeftOf("DOOR.SYS",
		DoorSysWithTime("", "62")));
}


TEST(DropFileTest, NoTimeOrANegativeOneIsNoLimit)
{
	EXPECT_EQ(-1, TimeLeftOf("DOOR32.SYS",
		"0\r\n0\r\n38400\r\nKorrin BBS\r\n17\r\nAsh\r\nAsh\r\n"));
	EXPECT_EQ(-1, TimeLeftOf("DOOR32.SYS",
		"0\r\n0\r\n38400\r\nKorrin BBS\r\n17\r\nAsh\r\nAsh\r\n30\r\n-1\r\n"));
	EXPECT_EQ(-1, TimeLeftOf("DOOR.SYS", DoorSysWithTime("-5", "-1")));
	EXPECT_EQ(-1, TimeLeftOf("DORINFO1.DEF", std::string("Korrin BBS\r\nKit"
		"\r\nSysop\r\nCOM0\r\n0 BAUD,N,8,1\r\n 0\r\nAsh\r\nMarlow\r\n")));
	// None left is none: the time is up at once.
	EXPECT_EQ(0, TimeLeftOf("DOOR32.SYS",
		"0\r\n0\r\n38400\r\nKorrin BBS\r\n17\r\nAsh\r\nAsh\r\n30\r\n0\r\n"));
}
