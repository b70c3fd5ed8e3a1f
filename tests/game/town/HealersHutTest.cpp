// The healer's rules without a host: prices by level, payment and refusal.

#include "HealersHut.h"

#include "Player.h"
#include "TestVolume.h"
#include "VraskPaths.h"

#include <gtest/gtest.h>


namespace {

using Verdict = HealersHut::Verdict;


CPlayer
AtLevel(int level)
{
	CPlayer player;
	for (int i = 1; i < level; i++)
		player.LevelUp();
	return player;
}

}	// namespace


TEST(HealersHutTest, FullHealthNeedsNoHealingAndCostsNothing)
{
	CPlayer player = AtLevel(10);
	player.AddGold(50);
	HealersHut::Outcome outcome = HealersHut::Heal(player, 1);
	EXPECT_EQ(Verdict::kNotNeeded, outcome.verdict);
	EXPECT_EQ(50, player.GetBalance());
	EXPECT_EQ(0, HealersHut::MissingHitPoints(player));
}


TEST(HealersHutTest, PricePerPointIsAFifthOfTheLevel)
{
	const int kPrices[][2] = {{1, 0}, {4, 0}, {5, 1}, {9, 1}, {10, 2}, {14, 2},
		{15, 3}};
	for (const auto& levelAndPrice : kPrices) {
		EXPECT_EQ(levelAndPrice[1],
			HealersHut::PricePerPoint(AtLevel(levelAndPrice[0])))
			<< "level " << levelAndPrice[0];
	}
}


TEST(HealersHutTest, SignQuotesAQuarterOfTheLevel)
{
	const int kQuotes[][2] = {{1, 0}, {3, 0}, {4, 1}, {7, 1}, {8, 2}, {11, 2}};
	for (const auto& levelAndQuote : kQuotes) {
		EXPECT_EQ(levelAndQuote[1],
			HealersHut::QuotedPricePerPoint(AtLevel(levelAndQuote[0])))
			<< "level " << levelAndQuote[0];
	}
}


TEST(HealersHutTest, LowLevelsHealForNothingWithoutGold)
{
	CPlayer player = AtLevel(4);
	player.Damaged(5);
	HealersHut::Outcome outcome = HealersHut::Heal(player,
		HealersHut::MissingHitPoints(player));
	EXPECT_EQ(Verdict::kHealed, outcome.verdict);
	EXPECT_EQ(5, outcome.count);
	EXPECT_EQ(0, outcome.price);
	EXPECT_EQ(player.GetMaxHP(), player.GetHP());
}


TEST(HealersHutTest, LevelSevenShortOfGoldIsAskedTheFullPriceAndKeepsAll)
{
	CPlayer player = AtLevel(7);
	player.Damaged(15);
	player.AddGold(3);
	int hitPoints = player.GetHP();
	int missing = HealersHut::MissingHitPoints(player);
	ASSERT_EQ(15, missing);

	HealersHut::Outcome outcome = HealersHut::Heal(player, missing);
	EXPECT_EQ(Verdict::kCannotPay, outcome.verdict);
	EXPECT_EQ(15, outcome.price);
	EXPECT_EQ(3, player.GetBalance());
	EXPECT_EQ(hitPoints, player.GetHP());

	player.AddGold(12);
	outcome = HealersHut::Heal(player, missing);
	EXPECT_EQ(Verdict::kHealed, outcome.verdict);
	EXPECT_EQ(0, player.GetBalance());
	EXPECT_EQ(player.GetMaxHP(), player.GetHP());
}


TEST(HealersHutTest, LevelTenPaysTwoForOnePoint)
{
	CPlayer player = AtLevel(10);
	player.Damaged(4);
	player.AddGold(10);
	HealersHut::Outcome outcome = HealersHut::Heal(player, 1);
	EXPECT_EQ(Verdict::kHealed, outcome.verdict);
	EXPECT_EQ(2, outcome.price);
	EXPECT_EQ(8, player.GetBalance());
	EXPECT_EQ(player.GetMaxHP() - 3, player.GetHP());
}


// A player file edited by hand: a price past any purse is asked in full
// and refused, a negative level heals for nothing, and a record fuller
// than full is not sold negative hit points.
TEST(HealersHutTest, TamperedRecordsNeitherOverflowNorPayThePlayer)
{
	TestVolume volume;
	volume.WriteFile(kUsersFolder "rich", "Rich\nStick\nRags\n1\n1\n"
		"2147483647\n2147483647\n1\n2147483647\n0\n7\n7\n15\n99999999\n");
	volume.WriteFile(kUsersFolder "low", "Low\nStick\nRags\n1\n1\n"
		"0\n20\n5\n-10\n0\n7\n7\n15\n99999999\n");
	volume.WriteFile(kUsersFolder "full", "Full\nStick\nRags\n1\n1\n"
		"0\n10\n50\n10\n0\n7\n7\n15\n99999999\n");

	CPlayer rich;
	ASSERT_TRUE(rich.LoadPlayer("rich"));
	HealersHut::Outcome outcome = HealersHut::Heal(rich,
		HealersHut::MissingHitPoints(rich));
	EXPECT_EQ(Verdict::kCannotPay, outcome.verdict);
	EXPECT_EQ(int64(429496729) * 2147483646, outcome.price);
	EXPECT_EQ(2147483647, rich.GetBalance());

	CPlayer low;
	ASSERT_TRUE(low.LoadPlayer("low"));
	outcome = HealersHut::Heal(low, 15);
	EXPECT_EQ(Verdict::kHealed, outcome.verdict);
	EXPECT_EQ(0, outcome.price);
	EXPECT_EQ(0, low.GetBalance());

	CPlayer full;
	ASSERT_TRUE(full.LoadPlayer("full"));
	EXPECT_EQ(0, HealersHut::MissingHitPoints(full));
	EXPECT_EQ(Verdict::kNotNeeded, HealersHut::Heal(full, -5).verdict);
	EXPECT_EQ(50, full.GetHP());
}
