#include <Entry.h>

#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include "TestVolume.h"


TEST(EntryTest, GetNameGivesTheLeaf)
{
	TestVolume volume;
	volume.WriteFile("/boot/home/users/Ash", "");
	BEntry entry("/boot/home/users/Ash");
	ASSERT_EQ(B_OK, entry.InitCheck());
	char name[B_FILE_NAME_LENGTH];
	ASSERT_EQ(B_OK, entry.GetName(name));
	EXPECT_STREQ("Ash", name);
	EXPECT_STREQ("/boot/home/users/Ash", entry.Path());
	EXPECT_TRUE(entry.Exists());
	EXPECT_TRUE(entry.IsFile());
	EXPECT_FALSE(entry.IsDirectory());
}


TEST(EntryTest, EntryMayNameWhatDoesNotExistYet)
{
	TestVolume volume;
	volume.MakeFolder("/boot/home");
	BEntry entry("/boot/home/later/");
	ASSERT_EQ(B_OK, entry.InitCheck());
	EXPECT_FALSE(entry.Exists());
	char name[B_FILE_NAME_LENGTH];
	entry.GetName(name);
	EXPECT_STREQ("later", name);

	BEntry orphan("/boot/nowhere/later");
	EXPECT_EQ(B_ENTRY_NOT_FOUND, orphan.InitCheck());
	EXPECT_EQ(B_ENTRY_NOT_FOUND, orphan.GetName(name));
	EXPECT_STREQ("", name);
}


TEST(EntryTest, RenameWithoutClobberKeepsAnExistingTarget)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/Ash.new", "new");
	volume.WriteFile("/boot/users/Ash", "old");

	BEntry entry("/boot/users/Ash.new");
	EXPECT_EQ(B_FILE_EXISTS, entry.Rename("/boot/users/Ash"));
	EXPECT_EQ("old", volume.ReadFile("/boot/users/Ash"));
	EXPECT_STREQ("/boot/users/Ash.new", entry.Path());
}


TEST(EntryTest, RenameWithClobberReplacesTheTarget)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/Ash.new", "new");
	volume.WriteFile("/boot/users/Ash", "old");

	BEntry entry("/boot/users/Ash.new");
	ASSERT_EQ(B_OK, entry.Rename("/boot/users/Ash", true));
	EXPECT_EQ("new", volume.ReadFile("/boot/users/Ash"));
	EXPECT_FALSE(volume.Exists("/boot/users/Ash.new"));
	EXPECT_STREQ("/boot/users/Ash", entry.Path());
}


TEST(EntryTest, RenameToABareNameStaysInTheFolder)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/tmp", "x");
	BEntry entry("/boot/users/tmp");
	ASSERT_EQ(B_OK, entry.Rename("Rook"));
	EXPECT_TRUE(volume.Exists("/boot/users/Rook"));
	char name[B_FILE_NAME_LENGTH];
	entry.GetName(name);
	EXPECT_STREQ("Rook", name);
}


TEST(EntryTest, RenameRefusesToLeaveTheVolume)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/Ash", "x");
	char pattern[] = "/tmp/drelmoor-outside-XXXXXX";
	ASSERT_NE(nullptr, mkdtemp(pattern));
	std::string outside = pattern;
	ASSERT_EQ(0, symlink(outside.c_str(), volume.MachinePath("/boot/away").c_str()));

	BEntry entry("/boot/users/Ash");
	EXPECT_EQ(B_CROSS_DEVICE_LINK, entry.Rename("/boot/away/Ash"));
	EXPECT_EQ(B_CROSS_DEVICE_LINK, entry.Rename((outside + "/Ash").c_str()));
	EXPECT_EQ(B_NOT_ALLOWED, entry.Rename("/boot/users/../Ash"));
	EXPECT_TRUE(volume.Exists("/boot/users/Ash"));
	EXPECT_EQ(0, rmdir(outside.c_str()));
}


TEST(EntryTest, RemoveDeletesFilesAndEmptyFolders)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/Ash", "x");
	BEntry file("/boot/users/Ash");
	ASSERT_EQ(B_OK, file.Remove());
	EXPECT_FALSE(volume.Exists("/boot/users/Ash"));
	EXPECT_EQ(B_ENTRY_NOT_FOUND, file.Remove());

	BEntry folder("/boot/users");
	EXPECT_TRUE(folder.IsDirectory());
	ASSERT_EQ(B_OK, folder.Remove());
	EXPECT_FALSE(volume.Exists("/boot/users"));
}


TEST(EntryTest, RemovingALinkLeavesItsTarget)
{
	TestVolume volume;
	volume.WriteFile("/boot/users/Ash", "x");
	ASSERT_EQ(0, symlink("Ash", volume.MachinePath("/boot/users/alias").c_str()));
	BEntry link("/boot/users/alias");
	EXPECT_TRUE(link.IsSymLink());
	ASSERT_EQ(B_OK, link.Remove());
	EXPECT_TRUE(volume.Exists("/boot/users/Ash"));
}


TEST(EntryTest, VolumeRootCannotBeRemovedOrRenamed)
{
	TestVolume volume;
	BEntry root("/boot");
	ASSERT_EQ(B_OK, root.InitCheck());
	EXPECT_TRUE(root.IsDirectory());
	EXPECT_NE(B_OK, root.Remove());
	EXPECT_NE(B_OK, root.Rename("elsewhere"));
	EXPECT_TRUE(volume.Exists("/boot"));
}


TEST(EntryTest, CopiesAreIndependent)
{
	TestVolume volume;
	volume.WriteFile("/boot/a", "");
	volume.WriteFile("/boot/b", "");
	BEntry first("/boot/a");
	BEntry second(first);
	second.SetTo("/boot/b");
	EXPECT_STREQ("/boot/a", first.Path());
	EXPECT_STREQ("/boot/b", second.Path());
}
