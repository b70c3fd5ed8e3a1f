#include "RloginBoards.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>


namespace {

RloginBoards::Entry
Board(const char* tag, const char* secret,
	std::vector<std::string> addresses, int32 maxCallers = 20)
{
	RloginBoards::Entry entry;
	entry.tag = tag;
	entry.secret = secret;
	entry.addresses = addresses;
	entry.maxCallers = maxCallers;
	return entry;
}

}	// namespace


TEST(RloginBoardsTest, AddressAndSecretNameTheBoard)
{
	RloginBoards boards;
	BString problem;
	ASSERT_EQ(B_OK, boards.Add(Board("DARK", "s3cret", { "192.0.2.7" }),
		&problem));
	ASSERT_EQ(B_OK, boards.Add(Board("LIGHT", "other", { "192.0.2.7",
		"2001:db8::1" }), &problem));
	RloginBoards::Entry found;
	EXPECT_EQ(RloginBoards::Verdict::kAdmitted,
		boards.Judge("192.0.2.7", "other", &found));
	EXPECT_EQ("LIGHT", std::string(found.tag.String()));
	EXPECT_EQ(RloginBoards::Verdict::kAdmitted,
		boards.Judge("::ffff:192.0.2.7", "s3cret", &found));
	EXPECT_EQ("DARK", std::string(found.tag.String()));
	EXPECT_EQ(RloginBoards::Verdict::kAdmitted,
		boards.Judge("2001:db8:0::1", "other", &found));
	EXPECT_EQ(RloginBoards::Verdict::kWrongSecret,
		boards.Judge("192.0.2.7", "s3cre", &found));
	EXPECT_EQ(RloginBoards::Verdict::kWrongSecret,
		boards.Judge("192.0.2.7", "", &found));
	EXPECT_EQ(RloginBoards::Verdict::kUnknownAddress,
		boards.Judge("192.0.2.8", "s3cret", &found));
	EXPECT_EQ(RloginBoards::Verdict::kUnknownAddress,
		boards.Judge("not an address", "s3cret", &found));
}


TEST(RloginBoardsTest, MistakesAreRefused)
{
	RloginBoards boards;
	BString problem;
	EXPECT_NE(B_OK, boards.Add(Board("TOOLONGTAG", "s", { "192.0.2.7" }),
		&problem));
	EXPECT_NE(B_OK, boards.Add(Board("A-B", "s", { "192.0.2.7" }), &problem));
	EXPECT_NE(B_OK, boards.Add(Board("A", "with blank", { "192.0.2.7" }),
		&problem));
	EXPECT_NE(B_OK, boards.Add(Board("A", "s", {}), &problem));
	EXPECT_NE(B_OK, boards.Add(Board("A", "s", { "example.org" }), &problem));
	EXPECT_NE(B_OK, boards.Add(Board("A", "s", { "192.0.2.7" }, 0),
		&problem));
	ASSERT_EQ(B_OK, boards.Add(Board("Dark", "s", { "192.0.2.7" }), &problem));
	EXPECT_EQ(B_FILE_EXISTS, boards.Add(Board("DARK", "t", { "192.0.2.9" }),
		&problem));
}


TEST(RloginBoardsTest, FileIsOwnerOnlyAndReadBack)
{
	char folder[] = "/tmp/drelmoor-boards-XXXXXX";
	ASSERT_NE(nullptr, mkdtemp(folder));
	std::string path = std::string(folder) + "/boards";
	RloginBoards boards;
	BString problem;
	ASSERT_EQ(B_OK, boards.Add(Board("DARK", RloginBoards::NewSecret().c_str(),
		{ "192.0.2.7", "::1" }, 5), &problem));
	ASSERT_EQ(B_OK, boards.Save(path.c_str()));
	struct stat info;
	ASSERT_EQ(0, stat(path.c_str(), &info));
	EXPECT_EQ(0600u, info.st_mode & 0777);

	RloginBoards read;
	ASSERT_EQ(B_OK, read.Load(path.c_str(), &problem)) << problem.String();
	ASSERT_EQ(1u, read.Entries().size());
	EXPECT_EQ(boards.Entries()[0].secret, read.Entries()[0].secret);
	EXPECT_EQ(2u, read.Entries()[0].addresses.size());
	EXPECT_EQ(5, read.Entries()[0].maxCallers);

	FILE* file = fopen(path.c_str(), "a");
	fputs("BAD\tline\n", file);
	fclose(file);
	EXPECT_EQ(B_BAD_DATA, read.Load(path.c_str(), &problem));
	EXPECT_NE(nullptr, strstr(problem.String(), ":4: ")) << problem.String();
	unlink(path.c_str());
	rmdir(folder);
}


TEST(RloginBoardsTest, NewSecretsDiffer)
{
	std::string first = RloginBoards::NewSecret();
	EXPECT_EQ(RloginBoards::kNewSecretLength, first.size());
	EXPECT_TRUE(RloginBoards::IsValidSecret(first));
	EXPECT_NE(first, RloginBoards::NewSecret());
}
