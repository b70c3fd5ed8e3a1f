#include "TestVolume.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>


namespace {

bool
MachinePathExists(const std::string& path)
{
	struct stat info;
	return lstat(path.c_str(), &info) == 0;
}

}	// namespace


TEST(TestVolumeTest, VolumeIsTheBootVolumeWhileItLives)
{
	setenv("BOOT_VOLUME", "/somewhere/else", 1);
	std::string folder;
	{
		TestVolume volume;
		folder = volume.Folder();
		EXPECT_EQ(folder, getenv("BOOT_VOLUME"));
		EXPECT_EQ(0u, folder.rfind("/tmp/", 0));
		volume.WriteFile("/boot/a/b/c", "deep");
		EXPECT_EQ("deep", volume.ReadFile("/boot/a/b/c"));
		EXPECT_EQ(folder + "/a/b/c", volume.MachinePath("/boot/a/b/c"));
	}
	EXPECT_STREQ("/somewhere/else", getenv("BOOT_VOLUME"));
	EXPECT_FALSE(MachinePathExists(folder));
	unsetenv("BOOT_VOLUME");
}


TEST(TestVolumeTest, RemovalDoesNotFollowLinksOut)
{
	char pattern[] = "/tmp/drelmoor-outside-XXXXXX";
	ASSERT_NE(nullptr, mkdtemp(pattern));
	std::string outside = pattern;
	std::string kept = outside + "/kept";
	ASSERT_EQ(0, mkdir(kept.c_str(), 0755));
	{
		TestVolume volume;
		volume.MakeFolder("/boot/home");
		ASSERT_EQ(0, symlink(outside.c_str(),
			volume.MachinePath("/boot/home/away").c_str()));
	}
	EXPECT_TRUE(MachinePathExists(kept));
	rmdir(kept.c_str());
	rmdir(outside.c_str());
}


TEST(TestVolumeTest, GameDataIsInstalledWithAnEmptyUsersFolder)
{
	TestVolume volume;
	volume.InstallGameData();
	EXPECT_TRUE(volume.Exists("/boot/home/Zenbo/doors/vrask/users"));
	for (const char* name : { "monsters", "weapons", "armor" }) {
		std::string source = std::string(DRELMOOR_SOURCE_DIR) + "/data/" + name;
		std::string installed = std::string("/boot/home/Zenbo/doors/vrask/") + name;
		EXPECT_EQ(MachinePathExists(source), volume.Exists(installed.c_str())) << name;
	}
}
