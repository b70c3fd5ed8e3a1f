#include <File.h>

#include <gtest/gtest.h>

#include <string.h>
#include <sys/stat.h>

#include "TestVolume.h"


namespace {

std::string
ReadAll(BFile& file)
{
	std::string content;
	char buffer[7];
	ssize_t count;
	while ((count = file.Read(buffer, sizeof(buffer))) > 0)
		content.append(buffer, (size_t)count);
	EXPECT_EQ(0, count);
	return content;
}

}	// namespace


TEST(FileTest, CreateWritesIntoTheBootVolume)
{
	TestVolume volume;
	volume.MakeFolder("/boot/home");

	BFile file("/boot/home/Rook", B_WRITE_ONLY | B_CREATE_FILE | B_ERASE_FILE);
	ASSERT_EQ(B_OK, file.InitCheck());
	EXPECT_EQ(5, file.Write("Rook\n", 5));
	file.Unset();
	EXPECT_EQ(B_NO_INIT, file.InitCheck());

	EXPECT_EQ("Rook\n", volume.ReadFile("/boot/home/Rook"));
}


TEST(FileTest, EraseLeavesNoTraceOfLongerContent)
{
	TestVolume volume;
	volume.WriteFile("/boot/save", "a much longer old record\n");

	BFile file("/boot/save", B_WRITE_ONLY | B_CREATE_FILE | B_ERASE_FILE);
	ASSERT_EQ(B_OK, file.InitCheck());
	file.Write("new\n", 4);
	file.Unset();
	EXPECT_EQ("new\n", volume.ReadFile("/boot/save"));
}


TEST(FileTest, WithoutEraseWritesOverTheStart)
{
	TestVolume volume;
	volume.WriteFile("/boot/save", "0123456789");

	BFile file("/boot/save", B_WRITE_ONLY);
	ASSERT_EQ(B_OK, file.InitCheck());
	file.Write("ab", 2);
	file.Unset();
	EXPECT_EQ("ab23456789", volume.ReadFile("/boot/save"));

	BFile appending("/boot/save", B_WRITE_ONLY | B_OPEN_AT_END);
	appending.Write("!", 1);
	appending.Unset();
	EXPECT_EQ("ab23456789!", volume.ReadFile("/boot/save"));
}


TEST(FileTest, MissingFileIsNotCreatedWithoutCreateMode)
{
	TestVolume volume;
	BFile reading("/boot/nothing", B_READ_ONLY);
	EXPECT_EQ(B_ENTRY_NOT_FOUND, reading.InitCheck());
	BFile writing("/boot/nothing", B_WRITE_ONLY);
	EXPECT_EQ(B_ENTRY_NOT_FOUND, writing.InitCheck());
	EXPECT_FALSE(volume.Exists("/boot/nothing"));
}


TEST(FileTest, FailIfExistsRefusesAnExistingFile)
{
	TestVolume volume;
	volume.WriteFile("/boot/taken", "keep");
	BFile file("/boot/taken", B_WRITE_ONLY | B_FAIL_IF_EXISTS);
	EXPECT_EQ(B_FILE_EXISTS, file.InitCheck());
	EXPECT_EQ("keep", volume.ReadFile("/boot/taken"));

	BFile fresh("/boot/fresh", B_WRITE_ONLY | B_FAIL_IF_EXISTS);
	EXPECT_EQ(B_OK, fresh.InitCheck());
}


TEST(FileTest, ReadOnlyFileRefusesWrites)
{
	TestVolume volume;
	volume.WriteFile("/boot/monsters", "#\nRat\n");

	BFile file("/boot/monsters", B_READ_ONLY);
	ASSERT_EQ(B_OK, file.InitCheck());
	EXPECT_TRUE(file.IsReadable());
	EXPECT_FALSE(file.IsWritable());
	EXPECT_EQ(B_NOT_ALLOWED, file.Write("x", 1));
	EXPECT_EQ("#\nRat\n", ReadAll(file));
	EXPECT_EQ("#\nRat\n", volume.ReadFile("/boot/monsters"));
}


TEST(FileTest, WriteOnlyFileRefusesReads)
{
	TestVolume volume;
	BFile file("/boot/out", B_WRITE_ONLY | B_CREATE_FILE);
	ASSERT_EQ(B_OK, file.InitCheck());
	char byte;
	EXPECT_EQ(B_NOT_ALLOWED, file.Read(&byte, 1));
}


TEST(FileTest, ReadOnlyWithEraseIsRefusedAndKeepsTheData)
{
	TestVolume volume;
	volume.WriteFile("/boot/precious", "data");
	BFile file("/boot/precious", B_READ_ONLY | B_ERASE_FILE);
	EXPECT_EQ(B_BAD_VALUE, file.InitCheck());
	EXPECT_EQ("data", volume.ReadFile("/boot/precious"));
}


TEST(FileTest, ReadWriteReadsBackWhatItWrote)
{
	TestVolume volume;
	BFile file("/boot/both", B_READ_WRITE | B_CREATE_FILE);
	ASSERT_EQ(B_OK, file.InitCheck());
	std::string big(100000, 'x');
	big[99999] = 'y';
	EXPECT_EQ((ssize_t)big.size(), file.Write(big.data(), big.size()));
	EXPECT_EQ(B_OK, file.Sync());
	EXPECT_EQ(big, volume.ReadFile("/boot/both"));
}


TEST(FileTest, FolderIsNoFile)
{
	TestVolume volume;
	volume.MakeFolder("/boot/home/users");
	BFile file("/boot/home/users", B_READ_ONLY);
	EXPECT_EQ(B_IS_A_DIRECTORY, file.InitCheck());
	char byte;
	EXPECT_LT(file.Read(&byte, 1), 0);
}


TEST(FileTest, FifoIsNoFileAndDoesNotWaitForAWriter)
{
	TestVolume volume;
	volume.MakeFolder("/boot/home");
	ASSERT_EQ(0, mkfifo(volume.MachinePath("/boot/home/pipe").c_str(), 0600));

	// Opening a fifo for reading would wait for a writer; the open returns
	// at once with an error instead, for reading and for writing alike.
	BFile reader("/boot/home/pipe", B_READ_ONLY);
	EXPECT_EQ(B_BAD_TYPE, reader.InitCheck());
	BFile writer("/boot/home/pipe", B_WRITE_ONLY);
	EXPECT_NE(B_OK, writer.InitCheck());
	char byte;
	EXPECT_LT(reader.Read(&byte, 1), 0);
}


TEST(FileTest, UninitialisedFileReportsItsStatus)
{
	BFile file;
	char byte = 0;
	EXPECT_EQ(B_NO_INIT, file.InitCheck());
	EXPECT_EQ(B_NO_INIT, file.Read(&byte, 1));
	EXPECT_EQ(B_NO_INIT, file.Write(&byte, 1));
	EXPECT_FALSE(file.IsReadable());
}
