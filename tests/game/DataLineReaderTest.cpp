// The reader of the game's text files, on files of a test volume.

#include "DataLineReader.h"

#include "TestVolume.h"

#include <gtest/gtest.h>

#include <string>


namespace {

using Result = DataLineReader::Result;

const char* const kPath = "/boot/home/lines";

}	// namespace


TEST(DataLineReaderTest, LinesEndAtTheLineFeedAndKeepEveryOtherByte)
{
	TestVolume volume;
	volume.WriteFile(kPath, "one\n two \r\n\nlast");
	BFile file(kPath, B_READ_ONLY);
	DataLineReader reader(file);
	std::string line;

	EXPECT_EQ(Result::kLine, reader.ReadLine(&line));
	EXPECT_EQ("one", line);
	EXPECT_EQ(1, reader.LineNumber());
	EXPECT_EQ(Result::kLine, reader.ReadLine(&line));
	EXPECT_EQ(" two \r", line);
	EXPECT_EQ(Result::kLine, reader.ReadLine(&line));
	EXPECT_EQ("", line);
	EXPECT_EQ(Result::kCutOff, reader.ReadLine(&line));
	EXPECT_EQ("last", line);
	EXPECT_EQ(4, reader.LineNumber());
	EXPECT_EQ(Result::kEnd, reader.ReadLine(&line));
	EXPECT_EQ("", line);
}


TEST(DataLineReaderTest, LineOfTheBoundIsWholeAndOneByteMoreIsTooLong)
{
	TestVolume volume;
	std::string longest(DataLineReader::kLongestLine, 'x');
	volume.WriteFile(kPath, longest + "\n" + longest + "y\n");
	BFile file(kPath, B_READ_ONLY);
	DataLineReader reader(file);
	std::string line;

	EXPECT_EQ(Result::kLine, reader.ReadLine(&line));
	EXPECT_EQ(longest, line);
	EXPECT_EQ(Result::kTooLong, reader.ReadLine(&line));
	EXPECT_EQ(2, reader.LineNumber());
}


// A file of 2 MB without a line break: the reader gives up a block after
// the bound, instead of reading (and keeping) the whole file.
TEST(DataLineReaderTest, EndlessLineStopsTheReaderShortlyAfterTheBound)
{
	TestVolume volume;
	volume.WriteFile(kPath, std::string(2 * 1024 * 1024, 'z'));
	for (int skip = 0; skip < 2; skip++) {
		BFile file(kPath, B_READ_ONLY);
		DataLineReader reader(file);
		std::string line;
		Result result = skip ? reader.SkipPast('#') : reader.ReadLine(&line);
		EXPECT_EQ(Result::kTooLong, result);
		EXPECT_LE(reader.BytesRead(),
			DataLineReader::kLongestLine + DataLineReader::kBlockSize);
		EXPECT_LE((int32)line.size(), DataLineReader::kLongestLine);
	}
}


TEST(DataLineReaderTest, SkipPastCountsTheLinesItPasses)
{
	TestVolume volume;
	volume.WriteFile(kPath, "comment\nmore\n  #3\nRat\n");
	BFile file(kPath, B_READ_ONLY);
	DataLineReader reader(file);
	std::string line;

	EXPECT_EQ(Result::kLine, reader.SkipPast('#'));
	EXPECT_EQ(3, reader.LineNumber());
	EXPECT_EQ(Result::kLine, reader.ReadLine(&line));
	EXPECT_EQ("3", line);
	EXPECT_EQ(3, reader.LineNumber());
	EXPECT_EQ(Result::kEnd, reader.SkipPast('#'));
}


TEST(DataLineReaderTest, NumbersReadAsStrtolAndStopAtTheInt32Bounds)
{
	EXPECT_EQ(12, DataLineReader::NumberOf("  12 hp"));
	EXPECT_EQ(-4, DataLineReader::NumberOf("-4"));
	EXPECT_EQ(0, DataLineReader::NumberOf("none"));
	EXPECT_EQ(0, DataLineReader::NumberOf(""));
	EXPECT_EQ(INT32_MAX, DataLineReader::NumberOf("99999999999999"));
	EXPECT_EQ(INT32_MIN, DataLineReader::NumberOf("-99999999999999"));
}
