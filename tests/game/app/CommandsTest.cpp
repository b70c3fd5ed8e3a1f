// The table of commands that the prompt, the dispatch and the menus read.

#include "Commands.h"

#include <gtest/gtest.h>

#include <set>
#include <string>


namespace {

const Location kPlaces[] = {Location::kTown, Location::kCaves,
	Location::kBlacksmith, Location::kHealers};

}	// namespace


TEST(CommandsTest, EveryPlaceHasOneCommandAKeyAndItsMenuNamesTheKey)
{
	for (Location location : kPlaces) {
		const PlaceCommands* place = CommandsAt(location);
		ASSERT_NE(place, nullptr);
		std::set<char> keys;
		for (int32 i = 0; i < place->count; i++) {
			const Command& command = place->commands[i];
			EXPECT_TRUE(keys.insert(command.key).second) << command.key;
			std::string menuLine = command.menuLine;
			EXPECT_NE(menuLine.find(std::string("(") + command.key + ")"),
				std::string::npos) << menuLine;
			EXPECT_EQ(&command, place->Find(command.key));
			EXPECT_EQ(&command, place->Find(command.key - 'A' + 'a'));
		}
		// Every place lets the player see the status and quit.
		EXPECT_NE(place->Find('s'), nullptr);
		EXPECT_NE(place->Find('q'), nullptr);
	}
}


TEST(CommandsTest, KeysOutsideTheLettersSelectNothingAndNowhereHasNoCommands)
{
	const PlaceCommands* town = CommandsAt(Location::kTown);
	for (char key : {'\n', '1', ' ', '?', (char)0xe3, (char)0x83})
		EXPECT_EQ(nullptr, town->Find(key)) << (int)key;
	EXPECT_EQ(nullptr, CommandsAt(Location::kNowhere));
}


TEST(CommandsTest, WaysOutOfTheCavesAreBlockedOnlyAtTheirEnds)
{
	const PlaceCommands* caves = CommandsAt(Location::kCaves);
	const Command* up = caves->Find('U');
	const Command* down = caves->Find('D');
	ASSERT_NE(up, nullptr);
	ASSERT_NE(down, nullptr);
	EXPECT_TRUE(up->IsBlocked(1));
	EXPECT_FALSE(down->IsBlocked(1));
	EXPECT_TRUE(down->IsBlocked(10));
	EXPECT_FALSE(up->IsBlocked(10));
	for (int32 level = 2; level <= 9; level++) {
		EXPECT_FALSE(up->IsBlocked(level));
		EXPECT_FALSE(down->IsBlocked(level));
	}
}
