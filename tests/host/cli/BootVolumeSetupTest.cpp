#include "BootVolumeSetup.h"

#include <ChildProcess.h>
#include <TestVolume.h>
#include <VraskPaths.h>

#include <gtest/gtest.h>

#include <stdlib.h>


namespace {

// A folder of data files of the test's own, so the layout does not depend
// on the shipped files.
BString
WriteDataFolder(const TestVolume& volume)
{
	volume.WriteFile("/boot/source/monsters", "# monsters\n");
	volume.WriteFile("/boot/source/weapons", "1\nStick\n");
	volume.WriteFile("/boot/source/armor", "1\nRags\n");
	return BString(volume.MachinePath("/boot/source").c_str());
}

}	// namespace


TEST(BootVolumeSetupTest, MakeVolumeLaysOutDataFilesAndUsersFolder)
{
	TestVolume volume;
	BString report;
	ASSERT_EQ(B_OK, MakeBootVolume(WriteDataFolder(volume), &report));

	EXPECT_EQ("# monsters\n", volume.ReadFile(kMonstersFile));
	EXPECT_EQ("1\nStick\n", volume.ReadFile(kWeaponsFile));
	EXPECT_EQ("1\nRags\n", volume.ReadFile(kArmorFile));
	EXPECT_TRUE(volume.Exists(kUsersFolder));
	EXPECT_NE(nullptr, strstr(report.String(), "installed monsters, weapons,"
		" armor"));

	BString problem;
	EXPECT_EQ(B_OK, CheckBootVolume(&problem)) << problem.String();
}


TEST(BootVolumeSetupTest, MakeVolumeKeepsPlayerFilesAndEditedData)
{
	TestVolume volume;
	volume.WriteFile(kUsersFolder "Ash", "a player\n");
	volume.WriteFile(kWeaponsFile, "2\nSysop's Sword\nSpoon\n");

	BString report;
	ASSERT_EQ(B_OK, MakeBootVolume(WriteDataFolder(volume), &report));
	EXPECT_EQ("a player\n", volume.ReadFile(kUsersFolder "Ash"));
	EXPECT_EQ("2\nSysop's Sword\nSpoon\n", volume.ReadFile(kWeaponsFile));
	EXPECT_EQ("# monsters\n", volume.ReadFile(kMonstersFile));
	EXPECT_NE(nullptr, strstr(report.String(), "kept weapons"));

	// A second layout changes nothing at all.
	volume.WriteFile(kMonstersFile, "# edited\n");
	ASSERT_EQ(B_OK, MakeBootVolume(WriteDataFolder(volume), &report));
	EXPECT_EQ("# edited\n", volume.ReadFile(kMonstersFile));
}


TEST(BootVolumeSetupTest, CheckNamesTheMissingDataFiles)
{
	TestVolume volume;
	volume.WriteFile(kWeaponsFile, "1\nStick\n");

	BString problem;
	EXPECT_NE(B_OK, CheckBootVolume(&problem));
	EXPECT_NE(nullptr, strstr(problem.String(), "missing monsters, armor"))
		<< problem.String();
	EXPECT_NE(nullptr, strstr(problem.String(), "--make-volume"));
}


TEST(BootVolumeSetupTest, MakeVolumeCommandCreatesAMissingVolume)
{
	TestVolume volume;
	BString data = WriteDataFolder(volume);
	std::string target = volume.Folder() + "/deep/new volume";

	ChildProcess zenbo;
	zenbo.CaptureOutput();
	ASSERT_EQ(B_OK, zenbo.Start(DRELMOOR_BINARY_DIR "/bin/zenbo",
		{ "--make-volume", "--volume", target, "--data", data.String() }));
	int exitCode = -1;
	ASSERT_EQ(B_OK, zenbo.WaitForExit(20000000, &exitCode));
	EXPECT_EQ(0, exitCode) << zenbo.Errors();
	EXPECT_EQ("", zenbo.Output());
	EXPECT_EQ("1\nRags\n", volume.ReadFile(
		"/boot/deep/new volume/home/Zenbo/doors/vrask/armor"));
	EXPECT_TRUE(volume.Exists(
		"/boot/deep/new volume/home/Zenbo/doors/vrask/users"));
}


TEST(BootVolumeSetupTest, FailedLayoutLeavesNothingBehind)
{
	TestVolume volume;
	std::string target = volume.Folder() + "/deep/new volume";
	volume.WriteFile("/boot/partial/monsters", "# monsters\n");

	for (const std::string& data : { std::string("/nonexistent"),
			volume.MachinePath("/boot/partial") }) {
		ChildProcess zenbo;
		zenbo.CaptureOutput();
		ASSERT_EQ(B_OK, zenbo.Start(DRELMOOR_BINARY_DIR "/bin/zenbo",
			{ "--make-volume", "--volume", target, "--data", data }));
		int exitCode = -1;
		ASSERT_EQ(B_OK, zenbo.WaitForExit(20000000, &exitCode));
		EXPECT_EQ(1, exitCode) << data;
		EXPECT_NE(std::string::npos, zenbo.Errors().find("no data file"))
			<< zenbo.Errors();
		EXPECT_FALSE(volume.Exists("/boot/deep")) << data;
	}

	// A volume that was there keeps only what it had.
	volume.MakeFolder("/boot/old");
	BString report;
	setenv("BOOT_VOLUME", volume.MachinePath("/boot/old").c_str(), 1);
	EXPECT_EQ(B_ENTRY_NOT_FOUND, MakeBootVolume("/nonexistent", &report));
	setenv("BOOT_VOLUME", volume.Folder().c_str(), 1);
	EXPECT_TRUE(volume.Exists("/boot/old"));
	EXPECT_FALSE(volume.Exists("/boot/old/home"));
}
