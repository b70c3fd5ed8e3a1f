// The rules of a cave fight without a host: the opening, the exchange of
// blows and the kill. Every case draws from rand() with fixed seeds, and
// the monsters file of the test's own boot volume holds one monster a
// section, so that only the draws decide.

#include "CaveFight.h"

#include "Player.h"
#include "TestVolume.h"
#include "VraskPaths.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>


namespace {

const int kSeeds = 300;


// Ten sections of the same one monster.
std::string
OneMonsterEverywhere(const std::string& monster)
{
	std::string file;
	for (int level = 1; level <= 10; level++)
		file += "#1\n" + monster + "\n";
	return file;
}


// Plays `exchange` on a fresh player's first exchange for every seed whose
// fight opens on a monster rather than a special event.
template<typename Exchange>
void
ForEachOpenedFight(Exchange exchange)
{
	for (int seed = 1; seed <= kSeeds; seed++) {
		srand(seed);
		CPlayer player;
		CaveFight fight(player, false);
		if (fight.Open() == CaveFight::Opening::kMonster)
			exchange(seed, player, fight);
	}
}


// A player who has spent every fight of the day.
CPlayer
TiredPlayer()
{
	CPlayer player;
	while (player.Fights())
		;
	return player;
}

}	// namespace


TEST(CaveFightTest, TiredPlayerDrawsNoMonster)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile, OneMonsterEverywhere("Rat,Bite,5,5,5,5,5"));
	CPlayer player = TiredPlayer();

	srand(7);
	int nextDraw = rand();
	srand(7);
	CaveFight fight(player, false);
	EXPECT_EQ(CaveFight::Opening::kTired, fight.Open());
	EXPECT_EQ(0, player.GetFights());
	EXPECT_EQ(nextDraw, rand());
}


TEST(CaveFightTest, ClosedCavesGiveTheFightBack)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile, "no sections at all\n");
	int closed = 0;
	for (int seed = 1; seed <= kSeeds; seed++) {
		srand(seed);
		CPlayer player;
		CaveFight fight(player, false);
		CaveFight::Opening opening = fight.Open();
		if (opening == CaveFight::Opening::kSpecialEvent) {
			EXPECT_EQ(14, player.GetFights());
			continue;
		}
		EXPECT_EQ(CaveFight::Opening::kCavesClosed, opening);
		EXPECT_EQ(15, player.GetFights());
		closed++;
	}
	EXPECT_GT(closed, 0);
}


TEST(CaveFightTest, FinalFightMeetsTheBeastWithoutADraw)
{
	TestVolume volume;
	CPlayer player;
	srand(3);
	int nextDraw = rand();
	srand(3);
	CaveFight fight(player, true);
	ASSERT_EQ(CaveFight::Opening::kMonster, fight.Open());
	EXPECT_EQ(BString("Giant Vrask Beastie"), fight.Monster().GetName());
	EXPECT_EQ(nextDraw, rand());
	EXPECT_FALSE(fight.CanRun());
}


TEST(CaveFightTest, KeysChooseEitherCase)
{
	EXPECT_EQ(CaveFight::Choice::kAttack, CaveFight::ChoiceOf('a'));
	EXPECT_EQ(CaveFight::Choice::kAttack, CaveFight::ChoiceOf('A'));
	EXPECT_EQ(CaveFight::Choice::kRun, CaveFight::ChoiceOf('r'));
	EXPECT_EQ(CaveFight::Choice::kRun, CaveFight::ChoiceOf('R'));
	EXPECT_EQ(CaveFight::Choice::kOther, CaveFight::ChoiceOf('\n'));
	EXPECT_EQ(CaveFight::Choice::kOther, CaveFight::ChoiceOf('x'));
}


// Power 9 (weapon 1, strength 7): a landing blow does 1 to 7, and only 7,
// at least three quarters of 9, is critical. The monster cannot die or hurt.
TEST(CaveFightTest, CriticalHitIsABlowOfThreeQuartersOfThePower)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile,
		OneMonsterEverywhere("Stone,Nothing,1000000,1,1,0,0"));
	int critical = 0;
	int ordinary = 0;
	ForEachOpenedFight([&](int, CPlayer& player, CaveFight& fight) {
		ASSERT_EQ(9, CaveFight::AttackPower(player));
		CaveFight::Exchange exchange = fight.Attack();
		// Against strength 1 the monster never lands, so the player did.
		ASSERT_EQ(0, exchange.taken);
		ASSERT_GE(exchange.dealt, 1);
		ASSERT_LE(exchange.dealt, 7);
		EXPECT_EQ(exchange.dealt == 7, exchange.critical) << exchange.dealt;
		EXPECT_FALSE(exchange.killed);
		EXPECT_EQ(1000000 - exchange.dealt, fight.Monster().GetHP());
		(exchange.critical ? critical : ordinary)++;
	});
	EXPECT_GT(critical, 0);
	EXPECT_GT(ordinary, 0);
}


TEST(CaveFightTest, KillPaysGoldThenExperienceAndGainsALevel)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile, OneMonsterEverywhere("Newt,Lick,1,1,1,40,5"));
	srand(11);
	CPlayer player;
	CaveFight fight(player, false);
	while (fight.Open() != CaveFight::Opening::kMonster)
		player.AddFights(1);

	CaveFight::Exchange exchange = fight.Attack();
	ASSERT_TRUE(exchange.killed);
	EXPECT_TRUE(exchange.levelGained);
	EXPECT_EQ(5, player.GetBalance());
	EXPECT_EQ(40, player.GetXP());
	EXPECT_EQ(2, player.GetLevel());
	EXPECT_EQ(15, player.GetMaxHP());
	EXPECT_EQ(15, player.GetHP());
	EXPECT_FALSE(fight.PlayerIsDown());
}


// A monster of strength 12 can take up to 10 of the player's 10 hit points
// in the very exchange in which the player kills it: that blow is undone.
TEST(CaveFightTest, KillingBlowUndoesTheMonstersBlowOfTheSameExchange)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile, OneMonsterEverywhere("Wasp,Sting,1,12,1,1,1"));
	int hurtKills = 0;
	ForEachOpenedFight([&](int seed, CPlayer& player, CaveFight& fight) {
		CaveFight::Exchange exchange = fight.Attack();
		if (!exchange.killed)
			return;
		EXPECT_EQ(10, player.GetHP()) << "seed " << seed;
		EXPECT_FALSE(exchange.levelGained);
		if (exchange.taken > 0)
			hurtKills++;
	});
	EXPECT_GT(hurtKills, 0);
}


// With a power below 3 on both sides no blow can ever land: one quiet pass
// is drawn and reported as a miss and a stumble, instead of drawing for ever.
TEST(CaveFightTest, ExchangeNobodyCanWinEndsAfterOnePass)
{
	TestVolume volume;
	volume.WriteFile(kMonstersFile,
		OneMonsterEverywhere("Mist,Nothing,5,1,1000,0,0"));
	srand(5);
	CPlayer player;
	player.SetWeapon("Feather", 0);
	player.AddStr(-6);
	ASSERT_EQ(2, CaveFight::AttackPower(player));
	CaveFight fight(player, false);
	while (fight.Open() != CaveFight::Opening::kMonster)
		player.AddFights(1);

	CaveFight::Exchange exchange = fight.Attack();
	EXPECT_EQ(0, exchange.dealt);
	EXPECT_EQ(0, exchange.taken);
	EXPECT_FALSE(exchange.critical);
	EXPECT_FALSE(exchange.killed);
	EXPECT_EQ(5, fight.Monster().GetHP());
}


TEST(CaveFightTest, AttackPowerOfATamperedWeaponStopsAtTheInt32Bound)
{
	CPlayer player;
	player.SetWeapon("Star", 40);
	EXPECT_EQ(INT32_MAX, CaveFight::AttackPower(player));
	EXPECT_DOUBLE_EQ(1099511627776.0 + 7, CaveFight::ExactAttackPower(player));
}
