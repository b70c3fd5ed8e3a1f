// The reading of an item file as the shop's visit does it, and the log line
// that a broken file earns.

#include "ItemFileReader.h"

#include "ErrorCapture.h"
#include "TestVolume.h"
#include "VraskPaths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace {

// A whole visit's reading, as the shop reads: the count, then no more names
// than it counts.
std::vector<std::string>
ReadVisit(long* count)
{
	ItemFileReader reader(kWeaponsFile);
	std::vector<std::string> names;
	*count = reader.ReadCount();
	BString name;
	while ((long)names.size() < *count && reader.ReadName(&name))
		names.push_back(name.String());
	reader.Close();
	return names;
}

}	// namespace


TEST(ItemFileReaderTest, SoundFileGivesItsItemsAndNoLogLine)
{
	TestVolume volume;
	volume.WriteFile(kWeaponsFile, "3\nStick\nClub\nSword\n");
	ErrorCapture capture;
	long count;
	EXPECT_EQ((std::vector<std::string>{"Stick", "Club", "Sword"}),
		ReadVisit(&count));
	EXPECT_EQ(3, count);
	EXPECT_EQ("", capture.Text());
}


// The truncated file still offers its cut-off last item, as the shop
// always did; the log says where the file ends.
TEST(ItemFileReaderTest, CutOffFileKeepsItsItemsAndIsLoggedOnce)
{
	TestVolume volume;
	volume.WriteFile(kWeaponsFile, "20\nStick\nClub\nSlightl");
	ErrorCapture capture;
	long count;
	for (int visit = 0; visit < 3; visit++) {
		EXPECT_EQ((std::vector<std::string>{"Stick", "Club", "Slightl"}),
			ReadVisit(&count));
	}
	EXPECT_EQ("Drelmoor: broken data file " kWeaponsFile ", line 4: the file "
		"ends inside the line, without its line feed: it may be cut off\n",
		capture.Text());
}


TEST(ItemFileReaderTest, EachKindOfBrokenFileNamesItsLineAndFault)
{
	struct Case {
		std::string		content;
		std::string		logLine;
		size_t			items;
	};
	const Case kCases[] = {
		{"", ", line 1: the file is empty: it needs its count of items", 0},
		{std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10) + "\n\x03\x00",
			", line 1: no count of items on the line", 0},
		{"5\nStick\nClub\n", ", line 4: the file ends before item 3 of the 5 "
			"that it counts", 2},
		{"3\nStick\n" + std::string(5000, 'x') + "\nSword\n",
			", line 3: the line is longer than 4096 bytes", 1},
	};
	for (const Case& test : kCases) {
		TestVolume volume;
		volume.WriteFile(kWeaponsFile, test.content);
		ErrorCapture capture;
		long count;
		EXPECT_EQ(test.items, ReadVisit(&count).size()) << test.logLine;
		EXPECT_EQ("Drelmoor: broken data file " kWeaponsFile + test.logLine
			+ "\n", capture.Text());
	}
}


TEST(ItemFileReaderTest, MissingFileIsLoggedWhenOpened)
{
	TestVolume volume;
	ErrorCapture capture;
	ItemFileReader reader(kArmorFile);
	EXPECT_NE(B_OK, reader.InitCheck());
	EXPECT_EQ(1, capture.CountLinesWith(kArmorFile ": cannot be opened"));
}


// Mended, the file reads without a word; broken again the same way, it is
// told again.
TEST(ItemFileReaderTest, RepairedThenBrokenFileIsToldAgain)
{
	TestVolume volume;
	ErrorCapture capture;
	long count;
	volume.WriteFile(kWeaponsFile, "");
	ReadVisit(&count);
	volume.WriteFile(kWeaponsFile, "1\nStick\n");
	ReadVisit(&count);
	volume.WriteFile(kWeaponsFile, "");
	ReadVisit(&count);
	EXPECT_EQ(2, capture.CountLinesWith("the file is empty"));
}


TEST(ItemFileReaderTest, EndlessNameStopsTheVisitShortlyAfterTheBound)
{
	TestVolume volume;
	volume.WriteFile(kWeaponsFile, "3\n" + std::string(3 * 1024 * 1024, 'n'));
	ErrorCapture capture;
	ItemFileReader reader(kWeaponsFile);
	EXPECT_EQ(3, reader.ReadCount());
	BString name;
	EXPECT_FALSE(reader.ReadName(&name));
	EXPECT_LE(reader.BytesRead(),
		2 + DataLineReader::kLongestLine + DataLineReader::kBlockSize);
	reader.Close();
	EXPECT_EQ(1, capture.CountLinesWith("line 2: the line is longer than"));
}
