#include <Directory.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include <Entry.h>

#include "TestVolume.h"


namespace {

std::vector<std::string>
Names(BDirectory& directory, bool traverse = false)
{
	std::vector<std::string> names;
	BEntry entry;
	status_t status;
	while ((status = directory.GetNextEntry(&entry, traverse)) == B_OK) {
		char name[B_FILE_NAME_LENGTH];
		EXPECT_EQ(B_OK, entry.GetName(name));
		names.push_back(name);
	}
	EXPECT_EQ(B_ENTRY_NOT_FOUND, status);
	EXPECT_EQ(B_NO_INIT, entry.InitCheck());
	return names;
}

}	// namespace


TEST(DirectoryTest, ListsEveryEntryButDotAndDotDot)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/Ash", "Ash\n");
	volume.WriteFile("/boot/users/Rook", "Rook\n");
	volume.MakeFolder("/boot/users/sub");

	BDirectory directory("/boot/users");
	ASSERT_EQ(B_OK, directory.InitCheck());
	std::vector<std::string> names = Names(directory);
	EXPECT_EQ((std::set<std::string>{ "Ash", "Rook", "sub" }),
		std::set<std::string>(names.begin(), names.end()));
	EXPECT_EQ(3u, names.size());
}


TEST(DirectoryTest, RewindGivesTheSameOrderAgain)
{
	TestVolume volume;
	for (const char* name : { "a", "b", "c", "d", "e" })
		volume.WriteFile((std::string("/boot/users/") + name).c_str(), "");

	BDirectory directory("/boot/users");
	std::vector<std::string> first = Names(directory);
	BEntry entry;
	EXPECT_EQ(B_ENTRY_NOT_FOUND, directory.GetNextEntry(&entry));
	ASSERT_EQ(B_OK, directory.Rewind());
	EXPECT_EQ(first, Names(directory));
	EXPECT_EQ(5u, first.size());
}


TEST(DirectoryTest, CountEntriesKeepsTheWalkWhereItWas)
{
	TestVolume volume;
	for (const char* name : { "a", "b", "c" })
		volume.WriteFile((std::string("/boot/users/") + name).c_str(), "");

	BDirectory directory("/boot/users");
	std::vector<std::string> all = Names(directory);
	directory.Rewind();
	BEntry entry;
	ASSERT_EQ(B_OK, directory.GetNextEntry(&entry));
	EXPECT_EQ(3, directory.CountEntries());
	std::vector<std::string> rest = Names(directory);
	EXPECT_EQ(std::vector<std::string>(all.begin() + 1, all.end()), rest);
}


TEST(DirectoryTest, LinksAreEntriesOfTheirOwnWithoutTraverse)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/Ash", "Ash\n");
	ASSERT_EQ(0, symlink("Ash", volume.MachinePath("/boot/users/alias").c_str()));
	ASSERT_EQ(0, symlink("/etc", volume.MachinePath("/boot/users/etc").c_str()));

	BDirectory directory("/boot/users");
	BEntry entry;
	std::set<std::string> links;
	while (directory.GetNextEntry(&entry, false) == B_OK) {
		char name[B_FILE_NAME_LENGTH];
		entry.GetName(name);
		if (entry.IsSymLink())
			links.insert(name);
	}
	EXPECT_EQ((std::set<std::string>{ "alias", "etc" }), links);
}


TEST(DirectoryTest, TraverseFollowsLinksInsideAndPassesOverLinksOut)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/Ash", "Ash\n");
	ASSERT_EQ(0, symlink("Ash", volume.MachinePath("/boot/users/alias").c_str()));
	ASSERT_EQ(0, symlink("/etc/passwd",
		volume.MachinePath("/boot/users/passwd").c_str()));
	ASSERT_EQ(0, symlink("nothing", volume.MachinePath("/boot/users/dangling").c_str()));

	BDirectory directory("/boot/users");
	BEntry entry;
	std::multiset<std::string> paths;
	while (directory.GetNextEntry(&entry, true) == B_OK) {
		EXPECT_FALSE(entry.IsSymLink());
		paths.insert(entry.Path());
	}
	EXPECT_EQ((std::multiset<std::string>{ "/boot/users/Ash", "/boot/users/Ash" }),
		paths);
}


TEST(DirectoryTest, FolderThatCannotBeOpenedReportsIt)
{
	TestVolume volume;
	BDirectory missing("/boot/home/Zenbo/doors/vrask/users");
	EXPECT_EQ(B_ENTRY_NOT_FOUND, missing.InitCheck());
	BEntry entry;
	EXPECT_NE(B_OK, missing.GetNextEntry(&entry));
	EXPECT_NE(B_OK, missing.Rewind());

	volume.WriteFile("/boot/file", "");
	BDirectory notFolder("/boot/file");
	EXPECT_EQ(B_NOT_A_DIRECTORY, notFolder.InitCheck());
}


TEST(DirectoryTest, UnsetReleasesTheFolder)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/Ash", "");
	BDirectory directory("/boot/users");
	ASSERT_EQ(B_OK, directory.InitCheck());
	directory.Unset();
	EXPECT_EQ(B_NO_INIT, directory.InitCheck());
	BEntry entry;
	EXPECT_EQ(B_NO_INIT, directory.GetNextEntry(&entry));
}
