#include "CharacterListing.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "TestVolume.h"
#include "VraskPaths.h"

namespace {

// 2026-12-08 12:00:00 UTC, the day of the player files below.
const uint32 kDecemberEighthNoon = 1796731200;

// A whole player file as the game saves it.
std::string
PlayerFile(const std::string& name, int level, const std::string& weapon)
{
	std::string text;
	for (const std::string& line : std::initializer_list<std::string>{name,
			weapon, "T-Shirt and Jeans", "2", "2", "250", "12", "9",
			std::to_string(level), "0", "7", "7", "15", "20261208"})
		text += line + "\n";
	return text;
}


std::vector<std::string>
Names(const std::vector<CharacterListing::Character>& characters)
{
	std::vector<std::string> names;
	for (const CharacterListing::Character& character : characters)
		names.push_back(character.name.String());
	return names;
}

}	// namespace


TEST(CharacterListingTest, EveryWholePlayerFileIsACharacterByLevelThenName)
{
	TestVolume volume;
	// The files' own day, so that loading them starts no new day (which
	// would heal every character).
	FrozenClock clock(kDecemberEighthNoon);
	volume.InstallGameData();
	volume.WriteFile(kUsersFolder "Ash", PlayerFile("Ash", 3, "Stick"));
	volume.WriteFile(kUsersFolder "Wren", PlayerFile("Wren", 12, "Sword"));
	volume.WriteFile(kUsersFolder "Bo", PlayerFile("Bo", 3, "Club"));

	std::vector<CharacterListing::Character> characters;
	ASSERT_EQ(B_OK, CharacterListing::ReadAll(&characters));
	EXPECT_EQ((std::vector<std::string>{"Wren", "Ash", "Bo"}),
		Names(characters));
	const CharacterListing::Character& wren = characters[0];
	EXPECT_EQ(BString("Wren"), wren.userName);
	EXPECT_EQ(12, wren.level);
	EXPECT_EQ(9, wren.hp);
	EXPECT_EQ(12, wren.maxHP);
	EXPECT_EQ(250, wren.gold);
	EXPECT_EQ(BString("Sword"), wren.weapon);
	EXPECT_EQ(BString("T-Shirt and Jeans"), wren.armor);
	struct stat info;
	ASSERT_EQ(0, stat(volume.MachinePath(kUsersFolder "Wren").c_str(), &info));
	EXPECT_EQ(info.st_mtime, wren.lastPlayed);
}


TEST(CharacterListingTest, WhatIsNoWholePlayerFileIsPassedOver)
{
	TestVolume volume;
	volume.InstallGameData();
	volume.WriteFile(kUsersFolder "Ash", PlayerFile("Ash", 3, "Stick"));
	// Cut off in the middle of a save, a folder, a link to a character and
	// a file whose name no user may have.
	volume.WriteFile(kUsersFolder "Half", "Half\nStick\n");
	volume.MakeFolder(kUsersFolder "Folder");
	ASSERT_EQ(0, symlink(volume.MachinePath(kUsersFolder "Ash").c_str(),
		volume.MachinePath(kUsersFolder "Link").c_str()));
	volume.WriteFile(kUsersFolder ".hidden", PlayerFile("Hidden", 9, "Axe"));

	CharacterListing listing;
	ASSERT_EQ(B_OK, listing.InitCheck());
	CharacterListing::Character character;
	ASSERT_TRUE(listing.GetNextCharacter(&character));
	EXPECT_EQ(BString("Ash"), character.userName);
	EXPECT_FALSE(listing.GetNextCharacter(&character));
	EXPECT_FALSE(listing.GetNextCharacter(&character));
}


TEST(CharacterListingTest, NamesAreShownHarmless)
{
	TestVolume volume;
	volume.InstallGameData();
	volume.WriteFile(kUsersFolder "Evil",
		PlayerFile("\x1b[2J\x1b]0;pwn\x07" "Evil", 5, "\x9b" "Stick"));

	std::vector<CharacterListing::Character> characters;
	ASSERT_EQ(B_OK, CharacterListing::ReadAll(&characters));
	ASSERT_EQ(1u, characters.size());
	for (const BString& text : {characters[0].name, characters[0].weapon}) {
		EXPECT_EQ(nullptr, strchr(text.String(), '\x1b')) << text.String();
		EXPECT_EQ(nullptr, strchr(text.String(), '\x07')) << text.String();
		EXPECT_EQ(nullptr, strchr(text.String(), '\x9b')) << text.String();
	}
	EXPECT_NE(nullptr, strstr(characters[0].name.String(), "Evil"));
}


TEST(CharacterListingTest, VolumeWithoutUsersFolderListsNobody)
{
	TestVolume volume;
	std::vector<CharacterListing::Character> characters(1);
	EXPECT_EQ(B_ENTRY_NOT_FOUND, CharacterListing::ReadAll(&characters));
	EXPECT_TRUE(characters.empty());
	CharacterListing listing;
	EXPECT_EQ(B_ENTRY_NOT_FOUND, listing.InitCheck());
	CharacterListing::Character character;
	EXPECT_FALSE(listing.GetNextCharacter(&character));
}
