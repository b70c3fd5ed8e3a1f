#include "Player.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>

#include "LocalTimeZone.h"
#include "TestVolume.h"

namespace {

// 2026-12-07 12:00:00 and 23:00:00 UTC.
const uint32 kDecemberSeventhNoon = 1796644800;
const uint32 kDecemberSeventhLate = 1796684400;


// One blow as the rule defines it, replayed from the same seed: the damage,
// and how many numbers it took from the generator. A divisor below 1 counts
// as 1.
struct Blow {
	int		damage;
	int		draws;
};


int
Remainder(int draw, int divisor)
{
	return divisor < 1 ? 0 : draw % divisor;
}


Blow
ExpectedBlow(unsigned seed, int strength, int defense, int armorFactor)
{
	srand(seed);
	int r1 = rand();
	int r2 = rand();
	int r3 = rand();
	int64_t damage = (int64_t)Remainder(r1, strength) - Remainder(r2, defense)
		- Remainder(r3, armorFactor);
	if (damage < 0)
		damage = 0;
	if (damage == 0)
		return Blow{0, 3};
	int r4 = rand();
	return Blow{(int)(r4 % damage), 4};
}


// The number that the generator gives after the given count of draws.
int
DrawAfter(unsigned seed, int draws)
{
	srand(seed);
	for (int i = 0; i < draws; i++)
		rand();
	return rand();
}


// Hits the record with every seed of a range, healed before each blow, and
// checks each blow against the rule: the damage, the hit points taken and
// the count of draws.
void
ExpectBlowsFollowRule(CPlayer& player, int strength, int armorFactor)
{
	for (unsigned seed = 1; seed <= 300; seed++) {
		player.Heal(INT32_MAX);
		Blow expected = ExpectedBlow(seed, strength, player.GetDef(),
			armorFactor);
		int hpBefore = player.GetHP();
		srand(seed);
		int damage = player.IsHitBy(strength);
		int next = rand();

		ASSERT_EQ(expected.damage, damage) << "seed " << seed;
		ASSERT_EQ(DrawAfter(seed, expected.draws), next) << "seed " << seed;
		ASSERT_EQ((int64_t)hpBefore - damage, player.GetHP());
	}
}

}	// namespace


TEST(PlayerTest, NewRecordHoldsStartingValues)
{
	LocalTimeZone zone("UTC");
	FrozenClock clock(kDecemberSeventhNoon);
	CPlayer player;

	EXPECT_EQ(BString("Town"), player.GetLocation());
	EXPECT_EQ(BString(""), player.GetName());
	EXPECT_EQ(BString("Moderately Sharp Playing Card"), player.GetWeapon());
	EXPECT_EQ(1, player.GetWeaponStr());
	EXPECT_EQ(BString("T-Shirt and Jeans"), player.GetArmor());
	EXPECT_EQ(1, player.GetArmorStr());
	EXPECT_EQ(0, player.GetBalance());
	EXPECT_EQ(10, player.GetHP());
	EXPECT_EQ(10, player.GetMaxHP());
	EXPECT_EQ(1, player.GetLevel());
	EXPECT_EQ(0, player.GetXP());
	EXPECT_EQ(7, player.GetStr());
	EXPECT_EQ(7, player.GetDef());
	EXPECT_EQ(1, player.GetCaveLevel());
	EXPECT_EQ(15, player.GetFights());
	EXPECT_EQ(20261207, player.GetLastDay());
}


TEST(PlayerTest, DayNumberIsTheLocalDate)
{
	FrozenClock clock(kDecemberSeventhLate);
	{
		LocalTimeZone zone("UTC");
		EXPECT_EQ(20261207, CPlayer::Today());
	}
	{
		// Fourteen hours east of Greenwich it is already the next morning.
		LocalTimeZone zone("EAST-14");
		EXPECT_EQ(20261208, CPlayer::Today());
	}
}


TEST(PlayerTest, NamesPlacesAndEquipmentAreReplaced)
{
	CPlayer player;
	player.SetName("Rook");
	player.SetLocation("Caves");
	player.SetWeapon("Rusty Sword", 3);
	player.SetArmor("Leather", 2);

	EXPECT_EQ(BString("Rook"), player.GetName());
	EXPECT_EQ(BString("Caves"), player.GetLocation());
	EXPECT_EQ(BString("Rusty Sword"), player.GetWeapon());
	EXPECT_EQ(3, player.GetWeaponStr());
	EXPECT_EQ(BString("Leather"), player.GetArmor());
	EXPECT_EQ(2, player.GetArmorStr());
}


TEST(PlayerTest, ExperiencePastThresholdGainsOneLevel)
{
	CPlayer player;
	EXPECT_FALSE(player.AddXP(32));
	EXPECT_EQ(1, player.GetLevel());

	EXPECT_TRUE(player.AddXP(1));
	EXPECT_EQ(33, player.GetXP());
	EXPECT_EQ(2, player.GetLevel());
	EXPECT_EQ(15, player.GetMaxHP());
	EXPECT_EQ(8, player.GetStr());
	EXPECT_EQ(8, player.GetDef());
}


TEST(PlayerTest, OneCallRaisesAtMostOneLevel)
{
	CPlayer player;
	EXPECT_TRUE(player.AddXP(1000));
	EXPECT_EQ(2, player.GetLevel());
	EXPECT_TRUE(player.AddXP(0));
	EXPECT_EQ(3, player.GetLevel());
	EXPECT_EQ(1000, player.GetXP());
}


TEST(PlayerTest, LevelsFollowTheGrowthTable)
{
	const int kMaxHP[] = {10, 15, 22, 33, 49, 73};
	const int kStrength[] = {7, 8, 10, 13, 17, 22};

	CPlayer player;
	for (int level = 1; level <= 6; level++) {
		EXPECT_EQ(level, player.GetLevel());
		EXPECT_EQ(kMaxHP[level - 1], player.GetMaxHP());
		EXPECT_EQ(kStrength[level - 1], player.GetStr());
		EXPECT_EQ(kStrength[level - 1], player.GetDef());
		player.LevelUp();
	}
}


TEST(PlayerTest, LevelUpGrowsCurrentHitPoints)
{
	CPlayer player;
	EXPECT_TRUE(player.Damaged(7));
	ASSERT_EQ(3, player.GetHP());

	player.LevelUp();
	EXPECT_EQ(4, player.GetHP());
	EXPECT_EQ(15, player.GetMaxHP());
}


TEST(PlayerTest, DamagedReportsWhetherCharacterLives)
{
	CPlayer player;
	EXPECT_TRUE(player.Damaged(9));
	EXPECT_EQ(1, player.GetHP());
	EXPECT_FALSE(player.Damaged(1));
	EXPECT_EQ(0, player.GetHP());
}


TEST(PlayerTest, HealStopsAtMaximum)
{
	CPlayer player;
	player.Damaged(2);
	EXPECT_EQ(2, player.Heal(5));
	EXPECT_EQ(10, player.GetHP());
	EXPECT_EQ(0, player.Heal(99999));
	EXPECT_EQ(10, player.GetHP());

	player.Damaged(6);
	EXPECT_EQ(3, player.Heal(3));
	EXPECT_EQ(7, player.GetHP());
}


TEST(PlayerTest, FightsRunOutAtZero)
{
	CPlayer player;
	player.AddFights(-14);
	ASSERT_EQ(1, player.GetFights());

	EXPECT_TRUE(player.Fights());
	EXPECT_EQ(0, player.GetFights());
	EXPECT_FALSE(player.Fights());
	EXPECT_EQ(0, player.GetFights());

	player.AddFights(40);
	EXPECT_EQ(40, player.GetFights());
}


TEST(PlayerTest, SpendGoldRefusesMoreThanCarried)
{
	CPlayer player;
	player.AddGold(100);
	EXPECT_FALSE(player.SpendGold(101));
	EXPECT_EQ(100, player.GetBalance());
	EXPECT_TRUE(player.SpendGold(100));
	EXPECT_EQ(0, player.GetBalance());
}


TEST(PlayerTest, CaveLevelsStayWithinOneToTen)
{
	CPlayer player;
	player.GoUp();
	EXPECT_EQ(1, player.GetCaveLevel());

	for (int i = 0; i < 12; i++)
		player.GoDown();
	EXPECT_EQ(10, player.GetCaveLevel());
	player.GoUp();
	EXPECT_EQ(9, player.GetCaveLevel());
}


TEST(PlayerTest, StrengthAndDefenseGrow)
{
	CPlayer player;
	player.AddStr(3);
	player.AddDef(5);
	EXPECT_EQ(10, player.GetStr());
	EXPECT_EQ(12, player.GetDef());
}


TEST(PlayerTest, PowersOfTwoHoldAtInt32Limit)
{
	EXPECT_EQ(1, CPlayer::PowerOfTwo(0));
	EXPECT_EQ(2, CPlayer::PowerOfTwo(1));
	EXPECT_EQ(1 << 30, CPlayer::PowerOfTwo(30));
	EXPECT_EQ(INT32_MAX, CPlayer::PowerOfTwo(31));
	EXPECT_EQ(INT32_MAX, CPlayer::PowerOfTwo(INT32_MAX));
	EXPECT_EQ(0, CPlayer::PowerOfTwo(-1));
	EXPECT_EQ(0, CPlayer::PowerOfTwo(INT32_MIN));
}


TEST(PlayerTest, BlowFollowsItsDrawsInOrder)
{
	CPlayer player;
	for (int strength : {1, 2, 3, 9, 30, 1000})
		ExpectBlowsFollowRule(player, strength, 2);
}


TEST(PlayerTest, BlowNeverDoesMoreThanStrengthLessTwo)
{
	CPlayer player;
	player.SetArmor("Nothing", 0);
	for (int strength = 1; strength <= 40; strength++) {
		for (unsigned seed = 1; seed <= 50; seed++) {
			int hpBefore = player.GetHP();
			srand(seed * 7919 + strength);
			int damage = player.IsHitBy(strength);
			ASSERT_GE(damage, 0);
			ASSERT_LE(damage, strength < 2 ? 0 : strength - 2);
			ASSERT_EQ(hpBefore - damage, player.GetHP());
		}
	}
}


TEST(PlayerTest, ArmorOfStrengthZeroTakesNothingOff)
{
	CPlayer player;
	player.SetArmor("Nothing", 0);
	ExpectBlowsFollowRule(player, 25, 1);
}


TEST(PlayerTest, BlowWithDivisorsBelowOneCountsThemAsOne)
{
	CPlayer player;
	player.AddDef(-7);
	ASSERT_EQ(0, player.GetDef());
	ExpectBlowsFollowRule(player, 20, 2);

	player.AddDef(-50);
	player.SetArmor("Cursed Rags", -3);
	ExpectBlowsFollowRule(player, 20, 1);

	// A blow of no strength, or of a negative one, does nothing but still
	// takes its three numbers.
	ExpectBlowsFollowRule(player, 0, 1);
	ExpectBlowsFollowRule(player, -5, 1);
	ExpectBlowsFollowRule(player, INT32_MIN, 1);
}


TEST(PlayerTest, ArmorBeyondInt32CountsAsLargestFactor)
{
	CPlayer player;
	for (int armor : {31, 40, INT32_MAX}) {
		player.SetArmor("Dragon Scale", armor);
		ExpectBlowsFollowRule(player, INT32_MAX, INT32_MAX);
	}
}


TEST(PlayerTest, BlowOnLowestHitPointsStopsAtInt32Limit)
{
	CPlayer player;
	player.Damaged(INT32_MAX);
	player.Damaged(INT32_MAX);
	ASSERT_EQ(INT32_MIN, player.GetHP());

	player.AddDef(-6);
	player.SetArmor("Nothing", 0);
	int damageSeen = 0;
	for (unsigned seed = 1; seed <= 50; seed++) {
		srand(seed);
		damageSeen += player.IsHitBy(INT32_MAX) > 0;
		ASSERT_EQ(INT32_MIN, player.GetHP());
	}
	EXPECT_GT(damageSeen, 0);
}


TEST(PlayerTest, GrowthStopsAtInt32Limits)
{
	CPlayer player;
	player.AddGold(INT32_MAX);
	player.AddGold(INT32_MAX);
	EXPECT_EQ(INT32_MAX, player.GetBalance());
	EXPECT_TRUE(player.SpendGold(INT32_MAX));
	player.AddGold(INT32_MIN);
	player.AddGold(INT32_MIN);
	EXPECT_EQ(INT32_MIN, player.GetBalance());

	player.AddStr(INT32_MAX);
	player.AddDef(INT32_MAX);
	player.AddFights(INT32_MAX);
	EXPECT_EQ(INT32_MAX, player.GetStr());
	EXPECT_EQ(INT32_MAX, player.GetDef());
	EXPECT_EQ(INT32_MAX, player.GetFights());

	player.AddStr(INT32_MIN);
	player.AddStr(INT32_MIN);
	player.AddFights(INT32_MIN);
	player.AddFights(INT32_MIN);
	EXPECT_EQ(INT32_MIN, player.GetStr());
	EXPECT_EQ(INT32_MIN, player.GetFights());
	EXPECT_FALSE(player.Fights());
	EXPECT_EQ(0, player.GetFights());
}


TEST(PlayerTest, SpendingNegativeGoldStopsAtInt32Limit)
{
	CPlayer player;
	player.AddGold(10);
	EXPECT_TRUE(player.SpendGold(INT32_MIN));
	EXPECT_EQ(INT32_MAX, player.GetBalance());
}


TEST(PlayerTest, HugeExperienceRaisesOneLevelAndHolds)
{
	CPlayer player;
	EXPECT_TRUE(player.AddXP(INT32_MAX));
	EXPECT_TRUE(player.AddXP(INT32_MAX));
	EXPECT_EQ(INT32_MAX, player.GetXP());
	EXPECT_EQ(3, player.GetLevel());

	// 2 raised to 31 is beyond any int32 of experience: the climb ends
	// there.
	while (player.AddXP(0))
		ASSERT_LE(player.GetLevel(), 27);
	EXPECT_EQ(27, player.GetLevel());
}


TEST(PlayerTest, LevelUpOnHugeValuesStopsAtInt32Limits)
{
	CPlayer player;
	for (int i = 0; i < 100; i++)
		player.LevelUp();
	EXPECT_EQ(INT32_MAX, player.GetMaxHP());
	EXPECT_EQ(INT32_MAX, player.GetHP());
	EXPECT_EQ(101, player.GetLevel());

	player.AddStr(INT32_MAX);
	player.LevelUp();
	EXPECT_EQ(INT32_MAX, player.GetStr());

	CPlayer dead;
	dead.Damaged(INT32_MAX);
	dead.Damaged(INT32_MAX);
	dead.LevelUp();
	EXPECT_EQ(INT32_MIN, dead.GetHP());
}


TEST(PlayerTest, HealWithExtremeAmountsStopsAtInt32Limits)
{
	CPlayer player;
	player.Damaged(INT32_MAX);
	player.Damaged(INT32_MAX);
	ASSERT_EQ(INT32_MIN, player.GetHP());

	// The missing points are more than an int32 holds; a full heal gives
	// what can be given.
	EXPECT_EQ(INT32_MAX, player.Heal(INT32_MAX));
	EXPECT_EQ(-1, player.GetHP());
	EXPECT_EQ(11, player.Heal(INT32_MAX));
	EXPECT_EQ(10, player.GetHP());

	EXPECT_EQ(INT32_MIN, player.Heal(INT32_MIN));
	EXPECT_EQ(INT32_MIN + 10, player.GetHP());
	EXPECT_EQ(-10, player.Heal(INT32_MIN));
	EXPECT_EQ(INT32_MIN, player.GetHP());
	EXPECT_FALSE(player.Damaged(1));
	EXPECT_EQ(INT32_MIN, player.GetHP());
}
