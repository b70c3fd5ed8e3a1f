#include "Monster.h"

#include "ErrorCapture.h"
#include "TestVolume.h"
#include "VraskPaths.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>

#include <algorithm>

#include <map>
#include <ostream>
#include <string>


namespace {

const int kDraws = 1500;


// A monsters file whose ten sections all hold the same lines, so that the
// level shifts cannot change what a draw gives.
std::string
SameSectionEverywhere(const std::string& section)
{
	std::string file = "Monsters for the tests.\n";
	for (int level = 1; level <= 10; level++)
		file += "#" + section;
	return file;
}


// Draws for the level with the seeds 1 to count, a fresh monster each time,
// and counts the names that come out ("" for a draw that failed).
std::map<std::string, int>
CountNames(int caveLevel, int count)
{
	std::map<std::string, int> names;
	for (int seed = 1; seed <= count; seed++) {
		srand(seed);
		CMonster monster;
		monster.GetMonster(caveLevel);
		if (monster.InitCheck() != B_OK)
			names[""]++;
		else
			names[monster.GetName().String()]++;
	}
	return names;
}

}	// namespace


TEST(MonsterTest, FinalMonsterHasItsOwnValuesAndDrawsNothing)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile,
		SameSectionEverywhere("1\nRat,Bite,5,5,5,5,5\n"));

	for (bool withFile : {true, false}) {
		if (!withFile)
			volume.WriteFile(kMonstersFile, "");
		srand(42);
		CMonster monster;
		monster.GetMonster(kFinalMonsterLevel);
		int next = rand();
		srand(42);
		EXPECT_EQ(rand(), next) << "the final monster drew a number";

		EXPECT_EQ(B_OK, monster.InitCheck());
		EXPECT_STREQ("Giant Vrask Beastie", monster.GetName().String());
		EXPECT_STREQ("Giant Vrask Attack", monster.GetAttack().String());
		EXPECT_EQ(20000, monster.GetStr());
		EXPECT_EQ(20000, monster.GetDef());
		EXPECT_EQ(1, monster.GetXP());
		EXPECT_EQ(1, monster.GetGold());
		EXPECT_EQ(30000, monster.GetHP());
	}
}


TEST(MonsterTest, FreshMonsterIsEmptyAndNotYetDrawn)
{
	CMonster monster;
	EXPECT_EQ(B_NO_INIT, monster.InitCheck());
	EXPECT_STREQ("", monster.GetName().String());
	EXPECT_STREQ("", monster.GetAttack().String());
	EXPECT_EQ(0, monster.GetHP());
	EXPECT_EQ(0, monster.GetStr());
	EXPECT_EQ(0, monster.GetDef());
	EXPECT_EQ(0, monster.GetXP());
	EXPECT_EQ(0, monster.GetGold());
}


TEST(MonsterTest, SectionOfThreeYieldsEachOfItsMonstersAndNeverTheFourthLine)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile, SameSectionEverywhere("3\n"
		"Ant,Nip,5,5,5,5,5\n"
		"Bat,Flap,5,5,5,5,5\n"
		"Cat,Claw,5,5,5,5,5\n"
		"Dog,Bark,5,5,5,5,5\n"));

	std::map<std::string, int> names = CountNames(5, kDraws);
	EXPECT_GT(names["Ant"], kDraws / 5);
	EXPECT_GT(names["Bat"], kDraws / 5);
	EXPECT_GT(names["Cat"], kDraws / 5);
	EXPECT_EQ(0, names.count("Dog"));
	EXPECT_EQ(0, names.count(""));
	EXPECT_EQ(kDraws, names["Ant"] + names["Bat"] + names["Cat"]
		+ names[kSpecialEventName]);
}


TEST(MonsterTest, MonsterLineGivesNameAttackHitPointsStrengthDefenseXPGold)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile,
		SameSectionEverywhere("1\nCave Newt,Tail Slap,12,4,3,10,5\n"));

	int drawn = 0;
	for (int seed = 1; seed <= 100; seed++) {
		srand(seed);
		CMonster monster;
		monster.GetMonster(3);
		ASSERT_EQ(B_OK, monster.InitCheck());
		if (monster.IsSpecialEvent())
			continue;
		drawn++;
		EXPECT_STREQ("Cave Newt", monster.GetName().String());
		EXPECT_STREQ("Tail Slap", monster.GetAttack().String());
		EXPECT_EQ(12, monster.GetHP());
		EXPECT_EQ(4, monster.GetStr());
		EXPECT_EQ(3, monster.GetDef());
		EXPECT_EQ(10, monster.GetXP());
		EXPECT_EQ(5, monster.GetGold());
	}
	EXPECT_GT(drawn, 80);
}


TEST(MonsterTest, TextFieldsKeepTheirBlanksAndNumberFieldsIgnoreTrailingText)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile, SameSectionEverywhere(
		"  1 monster here\n  Cave Newt , Tail Slap  ,  12 hp, +4,3x,10,5\r\n"));

	for (int seed = 1; seed <= 30; seed++) {
		srand(seed);
		CMonster monster;
		monster.GetMonster(7);
		ASSERT_EQ(B_OK, monster.InitCheck());
		if (monster.IsSpecialEvent())
			continue;
		EXPECT_STREQ("  Cave Newt ", monster.GetName().String());
		EXPECT_STREQ(" Tail Slap  ", monster.GetAttack().String());
		EXPECT_EQ(12, monster.GetHP());
		EXPECT_EQ(4, monster.GetStr());
		EXPECT_EQ(3, monster.GetDef());
		EXPECT_EQ(10, monster.GetXP());
		EXPECT_EQ(5, monster.GetGold());
	}
}


TEST(MonsterTest, CommentsBeforeTheFirstSectionAndAfterItsLinesAreSkipped)
{
	std::string file = "Sections below, one per cave level.\n\n";
	for (int level = 1; level <= 10; level++) {
		file += "#1 monster\nImp " + std::to_string(level)
			+ ",Poke,5,5,5,5,5\nImps are small, and poke.\n\n";
	}
	TestVolume volume;
	volume.WriteFile(kMonstersFile, file);

	std::map<std::string, int> names = CountNames(6, 400);
	EXPECT_GT(names["Imp 6"], 300);
	EXPECT_EQ(0, names.count(""));
	for (const auto& [name, count] : names)
		EXPECT_TRUE(name.rfind("Imp ", 0) == 0 || name == kSpecialEventName)
			<< name << " drawn " << count << " times";
}


TEST(MonsterTest, LevelsShiftUpAndDownButNeverPastTheTopOrBottom)
{
	std::string file;
	for (int level = 1; level <= 10; level++)
		file += "#1\nL" + std::to_string(level) + ",Hit,5,5,5,5,5\n";
	TestVolume volume;
	volume.WriteFile(kMonstersFile, file);

	std::map<std::string, int> middle = CountNames(5, kDraws);
	// 5 in 100 shallower and 2 in 100 deeper, each step rolling again.
	EXPECT_GT(middle["L5"], kDraws * 80 / 100);
	EXPECT_GT(middle["L4"], kDraws * 3 / 100);
	EXPECT_LT(middle["L4"], kDraws * 7 / 100);
	EXPECT_GT(middle["L6"], kDraws * 1 / 200);
	EXPECT_LT(middle["L6"], kDraws * 4 / 100);
	EXPECT_GT(middle[kSpecialEventName], kDraws / 25);
	EXPECT_LT(middle[kSpecialEventName], kDraws / 10);

	std::map<std::string, int> top = CountNames(1, kDraws);
	EXPECT_GT(top["L1"], kDraws * 85 / 100);
	EXPECT_GT(top["L2"], 0);
	std::map<std::string, int> bottom = CountNames(10, kDraws);
	EXPECT_GT(bottom["L10"], kDraws * 80 / 100);
	EXPECT_GT(bottom["L9"], kDraws * 3 / 100);
	EXPECT_EQ(0, bottom.count(""));
	EXPECT_EQ(kDraws, bottom["L10"] + bottom["L9"] + bottom["L8"]
		+ bottom["L7"] + bottom[kSpecialEventName]);
}


TEST(MonsterTest, MarkerKeepsWhatTheMonsterHeldBefore)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile,
		SameSectionEverywhere("1\nCave Newt,Tail Slap,12,4,3,10,5\n"));

	CMonster monster;
	int markers = 0;
	srand(3);
	for (int draw = 0; draw < 200; draw++) {
		monster.GetMonster(2);
		ASSERT_EQ(B_OK, monster.InitCheck());
		if (!monster.IsSpecialEvent() || draw == 0)
			continue;
		markers++;
		EXPECT_STREQ(kSpecialEventName, monster.GetName().String());
		EXPECT_STREQ("Tail Slap", monster.GetAttack().String());
		EXPECT_EQ(12, monster.GetHP());
		EXPECT_EQ(4, monster.GetStr());
		EXPECT_EQ(3, monster.GetDef());
		EXPECT_EQ(10, monster.GetXP());
		EXPECT_EQ(5, monster.GetGold());
		// The next ordinary draw fills the whole monster again.
		while (monster.IsSpecialEvent())
			monster.GetMonster(2);
		EXPECT_STREQ("Cave Newt", monster.GetName().String());
	}
	EXPECT_GT(markers, 3);
}


TEST(MonsterTest, MarkerOfAFreshMonsterHasNoAttackAndNoNumbers)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile,
		SameSectionEverywhere("1\nCave Newt,Tail Slap,12,4,3,10,5\n"));

	int markers = 0;
	for (int seed = 1; seed <= 300; seed++) {
		srand(seed);
		CMonster monster;
		monster.GetMonster(9);
		if (!monster.IsSpecialEvent())
			continue;
		markers++;
		EXPECT_EQ(B_OK, monster.InitCheck());
		EXPECT_STREQ("", monster.GetAttack().String());
		EXPECT_EQ(0, monster.GetHP());
		EXPECT_EQ(0, monster.GetStr());
		EXPECT_EQ(0, monster.GetDef());
		EXPECT_EQ(0, monster.GetXP());
		EXPECT_EQ(0, monster.GetGold());
	}
	EXPECT_GT(markers, 5);
}


TEST(MonsterTest, FileIsReadAfreshForEveryDraw)
{
	TestVolume volume;
	CMonster monster;
	for (const char* name : {"Newt", "Toad"}) {
		volume.WriteFile(kMonstersFile, SameSectionEverywhere(
			std::string("1\n") + name + ",Slap,12,4,3,10,5\n"));
		srand(1);
		do {
			monster.GetMonster(4);
		} while (monster.IsSpecialEvent());
		EXPECT_STREQ(name, monster.GetName().String());
	}
}


TEST(MonsterTest, BlowsNeverHealAndNeverExceedPowerLessTwo)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile,
		SameSectionEverywhere("1\nOgre,Club,1000000,50,7,10,5\n"));
	CMonster monster;
	srand(5);
	do {
		monster.GetMonster(1);
	} while (monster.IsSpecialEvent());

	int landed = 0;
	for (int power : {1, 2, 3, 9, 40, 1000, 2147483647}) {
		for (int blow = 0; blow < 200; blow++) {
			int before = monster.GetHP();
			int damage = monster.IsHitBy(power);
			EXPECT_GE(damage, 0);
			EXPECT_LE((long long)damage, (long long)power - 2 < 0 ? 0
				: (long long)power - 2);
			// Hit points run below zero, but a monster hit on and on stops
			// at the lowest int32 instead of wrapping round to full health.
			EXPECT_EQ(std::max<long long>(INT32_MIN, (long long)before - damage),
				monster.GetHP());
			landed += damage > 0;
		}
	}
	EXPECT_GT(landed, 100);
}


TEST(MonsterTest, BlowDoesNothingWhenTheDefenseRollMatchesThePowerRoll)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile,
		SameSectionEverywhere("1\nOgre,Club,1000000,50,7,10,5\n"));
	CMonster monster;
	srand(8);
	do {
		monster.GetMonster(1);
	} while (monster.IsSpecialEvent());

	const int kPower = 9;
	int blocked = 0;
	for (int seed = 1; seed <= 500; seed++) {
		srand(seed);
		int powerRoll = rand() % kPower;
		int defenseRoll = rand() % 7;
		srand(seed);
		int damage = monster.IsHitBy(kPower);
		if (defenseRoll >= powerRoll) {
			blocked++;
			EXPECT_EQ(0, damage) << "seed " << seed;
		}
	}
	EXPECT_GT(blocked, 100);
}


TEST(MonsterTest, BlowWithoutPowerDoesNoDamageAndTakesItsTwoDraws)
{
	CMonster unfilled;
	for (int power : {0, -5}) {
		srand(11);
		EXPECT_EQ(0, unfilled.IsHitBy(power));
		int next = rand();
		srand(11);
		rand();
		rand();
		EXPECT_EQ(rand(), next);
		EXPECT_EQ(0, unfilled.GetHP());
	}
}


// Every draw from a monsters file that cannot give a fightable monster ends,
// without dividing by zero, in either the special-event marker or an error;
// never in a monster that could not be fought.
// The door's log names the file and what is wrong with it, once for each
// section rather than at every draw.
struct BrokenFile {
	const char*		name;
	std::string		content;
	std::string		logLine;
};


// Names the case only; the contents are long.
void
PrintTo(const BrokenFile& file, std::ostream* stream)
{
	*stream << file.name;
}


class BrokenMonstersFileTest : public testing::TestWithParam<BrokenFile> {
};


TEST_P(BrokenMonstersFileTest, NeverGivesAMonsterThatCannotBeFought)
{
	TestVolume volume;
	const std::string& content = GetParam().content;
	if (content == "<missing>") {
		// No file at all.
	} else if (content == "<folder>")
		volume.MakeFolder(kMonstersFile);
	else
		volume.WriteFile(kMonstersFile, content);

	ErrorCapture capture;
	int failed = 0;
	int markers = 0;
	for (int seed = 1; seed <= 300; seed++) {
		srand(seed);
		CMonster monster;
		monster.GetMonster(10);
		if (monster.InitCheck() != B_OK) {
			failed++;
			EXPECT_NE(B_NO_INIT, monster.InitCheck());
			EXPECT_FALSE(monster.IsSpecialEvent());
			continue;
		}
		if (monster.IsSpecialEvent()) {
			markers++;
			continue;
		}
		EXPECT_GE(monster.GetStr(), 1);
		EXPECT_GE(monster.GetDef(), 1);
		EXPECT_GE(monster.GetHP(), 1);
	}
	EXPECT_GT(failed, 200);
	EXPECT_GT(markers, 0);

	std::string logLine = "Drelmoor: broken data file " kMonstersFile
		+ GetParam().logLine;
	EXPECT_GE(capture.CountLinesWith(logLine), 1) << capture.Text();
	// Draws of level 10 may wander up a few levels, each its own section.
	EXPECT_LE(capture.CountLinesWith("Drelmoor: broken data file"), 3)
		<< capture.Text();
}


namespace {

std::string
NineGoodSectionsThen(const std::string& tenth)
{
	std::string file;
	for (int level = 1; level <= 9; level++)
		file += "#1\nRat,Bite,5,5,5,5,5\n";
	return file + tenth;
}

}	// namespace


INSTANTIATE_TEST_SUITE_P(MonsterTest, BrokenMonstersFileTest, testing::Values(
	BrokenFile{"Missing", std::string("<missing>"), ": cannot be opened"},
	BrokenFile{"Unreadable", std::string("<folder>"), ": cannot be opened"},
	BrokenFile{"Empty", std::string(""), ", line 1: it has 0 cave level "
		"sections, and cave level 10 needs its own"},
	BrokenFile{"NoSections", std::string("Rat,Bite,5,5,5,5,5\n"), ", line 1: "
		"it has 0 cave level sections, and cave level 10 needs its own"},
	BrokenFile{"ShortOfTheLevelsSection", NineGoodSectionsThen(""),
		", line 18: it has 9 cave level sections, and cave level 10 needs "
		"its own"},
	BrokenFile{"HeaderWithoutLineEnd", NineGoodSectionsThen("#1"),
		", line 19: the header of the section ends with the file (the file "
		"ends inside the line)"},
	BrokenFile{"CountZero", NineGoodSectionsThen(
		"#0\nRat,Bite,5,5,5,5,5\n"),
		", line 19: the section of cave level 10 counts no monster"},
	BrokenFile{"CountNegative", NineGoodSectionsThen(
		"#-3\nRat,Bite,5,5,5,5,5\n"),
		", line 19: the section of cave level 10 counts no monster"},
	BrokenFile{"CountWithoutDigits", NineGoodSectionsThen(
		"# many\nRat,Bite,5,5,5,5,5\n"),
		", line 19: the section of cave level 10 counts no monster"},
	BrokenFile{"FewerLinesThanCounted", NineGoodSectionsThen(
		"#1000\nRat,Bite,5,5,5,5,5\n"),
		", line 21: the section of cave level 10 ends before its monster"},
	BrokenFile{"EndsInsideAMonsterLine", NineGoodSectionsThen(
		"#1\nRat,Bite,5,5,5"), ", line 20: the section of cave level 10 ends "
		"before its monster 1 of 1 (the file ends inside the line)"},
	BrokenFile{"StrengthZero", NineGoodSectionsThen(
		"#1\nRat,Bite,5,0,5,5,5\n"), ", line 20: the monster has no hit "
		"points, strength or defense of 1 or more"},
	BrokenFile{"DefenseZero", NineGoodSectionsThen(
		"#1\nRat,Bite,5,5,0,5,5\n"), ", line 20: the monster has no hit "
		"points, strength or defense of 1 or more"},
	BrokenFile{"DefenseNegative", NineGoodSectionsThen(
		"#1\nRat,Bite,5,5,-4,5,5\n"), ", line 20: the monster has no hit "
		"points, strength or defense of 1 or more"},
	BrokenFile{"HitPointsZero", NineGoodSectionsThen(
		"#1\nRat,Bite,0,5,5,5,5\n"), ", line 20: the monster has no hit "
		"points, strength or defense of 1 or more"},
	BrokenFile{"TooFewFields", NineGoodSectionsThen("#1\nRat,Bite,5\n"),
		", line 20: the monster has no hit points, strength or defense of 1 "
		"or more"},
	BrokenFile{"EndlessMonsterLine", NineGoodSectionsThen(
		"#1\n" + std::string(3 * 1024 * 1024, 'x')),
		", line 20: the line is longer than 4096 bytes"},
	BrokenFile{"EndlessFileWithoutLineBreak",
		std::string(3 * 1024 * 1024, 'x'),
		", line 1: the line is longer than 4096 bytes"}),
	[](const testing::TestParamInfo<BrokenMonstersFileTest::ParamType>& info) {
		return std::string(info.param.name);
	});


TEST(MonsterTest, GamesMonstersFileGivesFiveOrMoreMonstersPerLevelGrowingWithDepth)
{
	TestVolume volume;
	volume.InstallGameData();

	double previousReward = 0;
	double previousStrength = 0;
	for (int level = 1; level <= 10; level++) {
		std::map<std::string, int> names;
		double reward = 0;
		double strength = 0;
		int drawn = 0;
		srand(level);
		for (int draw = 0; draw < 80; draw++) {
			CMonster monster;
			monster.GetMonster(level);
			ASSERT_EQ(B_OK, monster.InitCheck()) << "level " << level;
			if (monster.IsSpecialEvent())
				continue;
			ASSERT_GE(monster.GetStr(), 1);
			ASSERT_GE(monster.GetDef(), 1);
			ASSERT_GE(monster.GetHP(), 1);
			EXPECT_GE(monster.GetXP(), 1);
			EXPECT_GE(monster.GetGold(), 1);
			EXPECT_NE(monster.GetName(), monster.GetAttack());
			names[monster.GetName().String()]++;
			reward += monster.GetGold();
			strength += monster.GetStr();
			drawn++;
		}
		EXPECT_GE(names.size(), 5u) << "level " << level;
		reward /= drawn;
		strength /= drawn;
		EXPECT_GT(reward, previousReward) << "level " << level;
		EXPECT_GT(strength, previousStrength) << "level " << level;
		previousReward = reward;
		previousStrength = strength;
	}
}
