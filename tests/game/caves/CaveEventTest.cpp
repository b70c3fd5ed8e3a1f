// The rules of a special event without a host, drawn from fixed seeds.

#include "CaveEvent.h"

#include "Player.h"
#include "TestVolume.h"
#include "VraskPaths.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <set>


namespace {

using Kind = CaveEvent::Kind;

const int kSeeds = 400;

// The events in the order of the roll of 5 that picks them.
const Kind kByRoll[] = {Kind::kPool, Kind::kAppleTree, Kind::kMonk,
	Kind::kCorpse, Kind::kBramblePatch};


// A character of the given level, hurt, with one fight spent on the draw.
CPlayer
Character(int level)
{
	CPlayer player;
	for (int i = 1; i < level; i++)
		player.LevelUp();
	player.Damaged(3);
	EXPECT_TRUE(player.Fights());
	return player;
}

// At level 1 the monk and the bramble patch give exactly 1, the corpse 1
// to 10 gold.
void
ExpectLevelOneAmount(const CaveEvent::Outcome& outcome)
{
	if (outcome.kind == Kind::kMonk || outcome.kind == Kind::kBramblePatch) {
		EXPECT_EQ(1, outcome.amount);
	}
	if (outcome.kind == Kind::kCorpse) {
		EXPECT_GE(outcome.amount, 1);
		EXPECT_LE(outcome.amount, 10);
	}
}

}	// namespace


TEST(CaveEventTest, RollOfFivePicksTheEventInItsOrder)
{
	std::set<Kind> seen;
	for (int seed = 1; seed <= kSeeds; seed++) {
		srand(seed);
		int roll = rand() % 5;
		srand(seed);
		CPlayer player = Character(1);
		CaveEvent::Outcome outcome = CaveEvent::Happen(player);
		EXPECT_EQ(kByRoll[roll], outcome.kind) << "seed " << seed;
		seen.insert(outcome.kind);
	}
	EXPECT_EQ(5u, seen.size());
}


TEST(CaveEventTest, EachLuckyEventChangesOnlyWhatItSays)
{
	for (int seed = 1; seed <= kSeeds; seed++) {
		srand(seed);
		CPlayer player = Character(6);
		CPlayer before = player;
		CaveEvent::Outcome outcome = CaveEvent::Happen(player);

		// The fight spent on the draw comes back; the apple tree adds 3.
		int fights = before.GetFights() + 1
			+ (outcome.kind == Kind::kAppleTree ? 3 : 0);
		EXPECT_EQ(fights, player.GetFights());
		switch (outcome.kind) {
			case Kind::kPool:
				EXPECT_EQ(3, outcome.amount);
				EXPECT_EQ(player.GetMaxHP(), player.GetHP());
				break;
			case Kind::kAppleTree:
				EXPECT_EQ(3, outcome.amount);
				break;
			case Kind::kMonk:
				EXPECT_GE(outcome.amount, 1);
				EXPECT_LE(outcome.amount, 6);
				EXPECT_EQ(before.GetStr() + outcome.amount, player.GetStr());
				break;
			case Kind::kCorpse:
				EXPECT_GE(outcome.amount, 1);
				EXPECT_LE(outcome.amount, 60);
				EXPECT_EQ(before.GetBalance() + outcome.amount,
					player.GetBalance());
				break;
			case Kind::kBramblePatch:
				EXPECT_GE(outcome.amount, 1);
				EXPECT_LE(outcome.amount, 6);
				EXPECT_EQ(before.GetDef() + outcome.amount, player.GetDef());
				break;
			case Kind::kFinalMonster:
				ADD_FAILURE() << "the final monster away from the deepest level";
				break;
		}
		if (outcome.kind != Kind::kPool) {
			EXPECT_EQ(before.GetHP(), player.GetHP());
		}
		if (outcome.kind != Kind::kMonk) {
			EXPECT_EQ(before.GetStr(), player.GetStr());
		}
		if (outcome.kind != Kind::kBramblePatch) {
			EXPECT_EQ(before.GetDef(), player.GetDef());
		}
		if (outcome.kind != Kind::kCorpse) {
			EXPECT_EQ(before.GetBalance(), player.GetBalance());
		}
	}
}


TEST(CaveEventTest, PoolAtFullHealthHealsNothing)
{
	for (int seed = 1; seed <= kSeeds; seed++) {
		srand(seed);
		if (rand() % 5 != 0)
			continue;
		srand(seed);
		CPlayer player;
		EXPECT_EQ(Kind::kPool, CaveEvent::Happen(player).kind);
		EXPECT_EQ(10, player.GetHP());
		return;
	}
	FAIL() << "no seed draws the pool";
}


TEST(CaveEventTest, LevelOneMonkAndBrambleGiveOneAndCorpseUpToTen)
{
	for (int seed = 1; seed <= kSeeds; seed++) {
		srand(seed);
		CPlayer player = Character(1);
		CaveEvent::Outcome outcome = CaveEvent::Happen(player);
		ExpectLevelOneAmount(outcome);
	}
}


// A player file may hold a level of 0 or less; such a character counts as
// level 1 instead of dividing by zero.
TEST(CaveEventTest, LevelBelowOneCountsAsOne)
{
	TestVolume volume;
	volume.WriteFile(kUsersFolder "low", "Low\nStick\nRags\n1\n1\n0\n10\n5\n"
		"-3\n0\n7\n7\n15\n99999999\n");
	for (int seed = 1; seed <= 100; seed++) {
		srand(seed);
		CPlayer player;
		ASSERT_TRUE(player.LoadPlayer("low"));
		ASSERT_EQ(-3, player.GetLevel());
		CaveEvent::Outcome outcome = CaveEvent::Happen(player);
		ExpectLevelOneAmount(outcome);
	}
}


TEST(CaveEventTest, DeepestLevelBringsTheFinalMonsterOneTimeInTen)
{
	int finals = 0;
	for (int seed = 1; seed <= kSeeds; seed++) {
		srand(seed);
		bool final = rand() % 10 == 1;
		srand(seed);
		CPlayer player = Character(3);
		for (int level = 1; level < 10; level++)
			player.GoDown();
		int fights = player.GetFights();
		CaveEvent::Outcome outcome = CaveEvent::Happen(player);
		EXPECT_EQ(final, outcome.kind == Kind::kFinalMonster) << seed;
		if (final) {
			// The fight comes back, for the final fight to spend again.
			EXPECT_EQ(fights + 1, player.GetFights());
			finals++;
		}
	}
	EXPECT_GT(finals, 0);
}
