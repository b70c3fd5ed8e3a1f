#include "VraskPaths.h"

#include <TestVolume.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

// The weapons and armor files the game ships: the shop trusts their count
// line, and a new character's equipment must be item 1 of each.

namespace {

std::vector<std::string>
Lines(const std::string& text)
{
	std::vector<std::string> lines;
	std::istringstream stream(text);
	std::string line;
	while (std::getline(stream, line))
		lines.push_back(line);
	return lines;
}


void
ExpectSoundItemFile(const std::string& text, const char* firstItem)
{
	ASSERT_FALSE(text.empty());
	EXPECT_EQ(text.back(), '\n') << "the last name needs its line feed";
	std::vector<std::string> lines = Lines(text);
	ASSERT_GE(lines.size(), 2u);

	long count = strtol(lines[0].c_str(), NULL, 10);
	EXPECT_EQ(count, long(lines.size()) - 1) << "count line and names differ";
	EXPECT_GE(count, 20);
	EXPECT_LE(count, 26) << "items beyond 26 cost more than any purse holds";
	EXPECT_EQ(lines[1], firstItem);

	std::set<std::string> names;
	for (size_t i = 1; i < lines.size(); i++) {
		const std::string& name = lines[i];
		EXPECT_FALSE(name.empty()) << "item " << i;
		EXPECT_EQ(name.find('\r'), std::string::npos) << "item " << i;
		EXPECT_TRUE(names.insert(name).second) << "item " << i << " twice";
	}
}

}	// namespace


TEST(ItemFilesTest, ShippedWeaponsStartAtTheNewCharactersPlayingCard)
{
	TestVolume volume;
	volume.InstallGameData();

	ExpectSoundItemFile(volume.ReadFile(kWeaponsFile),
		"Moderately Sharp Playing Card");
}


TEST(ItemFilesTest, ShippedArmorStartsAtTheNewCharactersTShirtAndJeans)
{
	TestVolume volume;
	volume.InstallGameData();

	ExpectSoundItemFile(volume.ReadFile(kArmorFile), "T-Shirt and Jeans");
}
