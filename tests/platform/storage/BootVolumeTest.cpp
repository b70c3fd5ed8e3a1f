#include <BootVolume.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <Entry.h>
#include <File.h>

#include "BootAccess.h"
#include "TestVolume.h"

// The kit's private parts, which this test looks at.
using namespace BPrivate;


namespace {

// A folder beside the volume, outside it, that escapes try to reach.
class OutsideFolder {
public:
	OutsideFolder()
	{
		char pattern[] = "/tmp/drelmoor-outside-XXXXXX";
		EXPECT_NE(nullptr, mkdtemp(pattern));
		fFolder = pattern;
		std::string secret = fFolder + "/secret";
		FILE* file = fopen(secret.c_str(), "w");
		fputs("outside", file);
		fclose(file);
	}
	~OutsideFolder()
	{
		unlink((fFolder + "/secret").c_str());
		unlink((fFolder + "/made").c_str());
		rmdir(fFolder.c_str());
	}
	const std::string& Folder() const { return fFolder; }
	bool Has(const char* name) const
	{
		struct stat info;
		return lstat((fFolder + "/" + name).c_str(), &info) == 0;
	}

private:
	std::string fFolder;
};

}	// namespace


TEST(BootVolumeTest, FolderComesFromTheEnvironment)
{
	TestVolume volume;
	EXPECT_STREQ(volume.Folder().c_str(), boot_volume_folder().String());

	BString path;
	ASSERT_EQ(B_OK, resolve_boot_path("/boot/home/Zenbo//doors/./vrask/", &path));
	EXPECT_EQ(volume.Folder() + "/home/Zenbo/doors/vrask", path.String());
	ASSERT_EQ(B_OK, resolve_boot_path("/boot", &path));
	EXPECT_EQ(volume.Folder(), path.String());
}


TEST(BootVolumeTest, DefaultFolderFollowsXdgDataHome)
{
	TestVolume volume;
	unsetenv("BOOT_VOLUME");
	const char* previous = getenv("XDG_DATA_HOME");
	std::string saved = previous != nullptr ? previous : "";
	setenv("XDG_DATA_HOME", "/srv/data", 1);
	EXPECT_STREQ("/srv/data/drelmoor/boot", boot_volume_folder().String());
	if (previous != nullptr)
		setenv("XDG_DATA_HOME", saved.c_str(), 1);
	else
		unsetenv("XDG_DATA_HOME");
}


TEST(BootVolumeTest, OtherPathsAreTheMachines)
{
	TestVolume volume;
	BString path;
	ASSERT_EQ(B_OK, resolve_boot_path("/tmp/x", &path));
	EXPECT_STREQ("/tmp/x", path.String());
	// Only the whole component "boot" names the volume.
	ASSERT_EQ(B_OK, resolve_boot_path("/bootstrap/y", &path));
	EXPECT_STREQ("/bootstrap/y", path.String());
}


TEST(BootVolumeTest, ClimbingIsRefused)
{
	TestVolume volume;
	BString path("unchanged");
	EXPECT_EQ(B_NOT_ALLOWED, resolve_boot_path("/boot/../etc/passwd", &path));
	EXPECT_EQ(B_NOT_ALLOWED, resolve_boot_path("/boot/home/../home", &path));
	EXPECT_STREQ("unchanged", path.String());

	volume.WriteFile("/boot/home/file", "x");
	BFile file("/boot/home/../home/file", B_READ_ONLY);
	EXPECT_EQ(B_NOT_ALLOWED, file.InitCheck());
}


TEST(BootVolumeTest, AbsoluteLinkOutIsRefused)
{
	TestVolume volume;
	OutsideFolder outside;
	volume.MakeFolder("/boot/home");
	ASSERT_EQ(0, symlink((outside.Folder() + "/secret").c_str(),
		volume.MachinePath("/boot/home/secret").c_str()));
	ASSERT_EQ(0, symlink(outside.Folder().c_str(),
		volume.MachinePath("/boot/away").c_str()));

	BFile reading("/boot/home/secret", B_READ_ONLY);
	EXPECT_EQ(B_CROSS_DEVICE_LINK, reading.InitCheck());
	BFile writing("/boot/away/made", B_WRITE_ONLY | B_CREATE_FILE);
	EXPECT_EQ(B_CROSS_DEVICE_LINK, writing.InitCheck());
	EXPECT_FALSE(outside.Has("made"));
}


TEST(BootVolumeTest, RelativeLinkOutIsRefused)
{
	TestVolume volume;
	OutsideFolder outside;
	volume.MakeFolder("/boot/home");
	// From <volume>/home, "../../<outside>" climbs out of the volume.
	std::string name = outside.Folder().substr(outside.Folder().rfind('/') + 1);
	ASSERT_EQ(0, symlink(("../../" + name + "/secret").c_str(),
		volume.MachinePath("/boot/home/secret").c_str()));

	BFile file("/boot/home/secret", B_READ_ONLY);
	EXPECT_EQ(B_CROSS_DEVICE_LINK, file.InitCheck());
	BEntry entry("/boot/home/secret", true);
	EXPECT_EQ(B_CROSS_DEVICE_LINK, entry.InitCheck());
}


TEST(BootVolumeTest, LinkInsideIsFollowed)
{
	TestVolume volume;
	volume.WriteFile("/boot/home/Zenbo/doors/vrask/armor", "1\nJeans\n");
	ASSERT_EQ(0, symlink("home/Zenbo/doors/vrask",
		(volume.MachinePath("/boot/data")).c_str()));
	volume.MakeFolder("/boot/shortcuts");
	ASSERT_EQ(0, symlink("../data/armor",
		volume.MachinePath("/boot/shortcuts/armor").c_str()));

	BFile file("/boot/data/armor", B_READ_ONLY);
	ASSERT_EQ(B_OK, file.InitCheck());
	char buffer[16] = {};
	EXPECT_EQ(8, file.Read(buffer, sizeof(buffer) - 1));
	EXPECT_STREQ("1\nJeans\n", buffer);

	BEntry entry("/boot/shortcuts/armor", true);
	ASSERT_EQ(B_OK, entry.InitCheck());
	EXPECT_STREQ("/boot/data/armor", entry.Path());
	EXPECT_FALSE(entry.IsSymLink());
}


TEST(BootVolumeTest, CreateDirectoryMakesEveryFolderInside)
{
	TestVolume volume;
	ASSERT_EQ(B_OK, create_directory("/boot/home/Zenbo/doors/vrask/users", 0755));
	EXPECT_TRUE(volume.Exists("/boot/home/Zenbo/doors/vrask/users"));
	EXPECT_EQ(B_OK, create_directory("/boot/home/Zenbo", 0755));

	volume.WriteFile("/boot/plain", "x");
	EXPECT_EQ(B_NOT_A_DIRECTORY, create_directory("/boot/plain/below", 0755));
}


TEST(BootVolumeTest, CreateDirectoryDoesNotFollowALinkOut)
{
	TestVolume volume;
	OutsideFolder outside;
	ASSERT_EQ(0, symlink(outside.Folder().c_str(),
		volume.MachinePath("/boot/away").c_str()));
	EXPECT_EQ(B_CROSS_DEVICE_LINK, create_directory("/boot/away/made", 0755));
	EXPECT_FALSE(outside.Has("made"));
}


TEST(BootVolumeTest, RuntimeFolderIsMadeInsideTheVolume)
{
	TestVolume volume;
	BString path;
	ASSERT_EQ(B_OK, runtime_folder(&path));
	EXPECT_EQ(volume.Folder() + "/var/run", path.String());
	EXPECT_TRUE(volume.Exists("/boot/var/run"));
}


TEST(BootVolumeTest, RuntimeFolderIsTheOwnersAloneEvenWhenMadeWider)
{
	TestVolume volume;
	BString path;
	ASSERT_EQ(B_OK, runtime_folder(&path));
	struct stat info;
	ASSERT_EQ(0, stat(path.String(), &info));
	EXPECT_EQ(0700u, info.st_mode & 07777);

	// A folder left by an older build, open to everyone, is narrowed.
	ASSERT_EQ(0, chmod(path.String(), 0777));
	ASSERT_EQ(B_OK, runtime_folder(&path));
	ASSERT_EQ(0, stat(path.String(), &info));
	EXPECT_EQ(0700u, info.st_mode & 07777);
}


TEST(BootVolumeTest, MissingVolumeFolderIsMadeOnDemand)
{
	TestVolume volume;
	std::string deeper = volume.Folder() + "/not/yet";
	setenv("BOOT_VOLUME", deeper.c_str(), 1);
	EXPECT_EQ(B_OK, create_directory("/boot/home", 0755));
	struct stat info;
	EXPECT_EQ(0, stat((deeper + "/home").c_str(), &info));
}


TEST(BootVolumeTest, WalkWithoutOpenat2StaysInsideAndRefusesEveryLink)
{
	TestVolume volume;
	OutsideFolder outside;
	volume.WriteFile("/boot/home/users/Ash", "Ash\n");
	ASSERT_EQ(0, symlink(outside.Folder().c_str(),
		volume.MachinePath("/boot/away").c_str()));
	ASSERT_EQ(0, symlink("users", volume.MachinePath("/boot/home/alias").c_str()));

	struct FallbackGuard {
		FallbackGuard() { set_boot_walk_fallback(true); }
		~FallbackGuard() { set_boot_walk_fallback(false); }
	} guard;

	BFile plain("/boot/home/users/Ash", B_READ_ONLY);
	EXPECT_EQ(B_OK, plain.InitCheck());
	BFile created("/boot/home/users/Rook", B_WRITE_ONLY | B_CREATE_FILE);
	EXPECT_EQ(B_OK, created.InitCheck());

	BFile out("/boot/away/made", B_WRITE_ONLY | B_CREATE_FILE);
	EXPECT_NE(B_OK, out.InitCheck());
	EXPECT_FALSE(outside.Has("made"));
	BFile secret("/boot/away/secret", B_READ_ONLY);
	EXPECT_NE(B_OK, secret.InitCheck());
	BFile inside("/boot/home/alias/Ash", B_READ_ONLY);
	EXPECT_NE(B_OK, inside.InitCheck());
}
