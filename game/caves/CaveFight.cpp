#include "CaveFight.h"

#include <math.h>

#include "GameLimits.h"
#include "Player.h"


namespace {

// A blow of power below this can do no damage: its roll, less the defense
// roll, is at most 1, and the damage is then drawn below that.
const int32 kLeastHarmfulPower = 3;
// An exchange in which neither blow lands is drawn again, but not for ever:
// against a monster whose defense is far above the player's attack power,
// and whose own blows cannot get through the player's armor, a landing blow
// may take longer than any player waits. After this many quiet passes the
// exchange is shown as a miss and a stumble, and the player may go on or run.
const int32 kQuietPassLimit = 1000000;
// A blow of at least this part of the exact attack power is critical.
const double kCriticalPart = 0.75;

}	// namespace


CaveFight::CaveFight(CPlayer& player, bool finalFight)
	:
	fPlayer(player),
	fFinal(finalFight)
{
}


CaveFight::Opening
CaveFight::Open()
{
	if (!fPlayer.Fights())
		return Opening::kTired;

	fMonster.GetMonster(fFinal ? kFinalMonsterLevel : fPlayer.GetCaveLevel());
	if (fMonster.InitCheck() != B_OK) {
		// No fight took place, so none is spent.
		fPlayer.AddFights(1);
		return Opening::kCavesClosed;
	}
	if (fMonster.IsSpecialEvent())
		return Opening::kSpecialEvent;
	return Opening::kMonster;
}


/*static*/ CaveFight::Choice
CaveFight::ChoiceOf(char key)
{
	if (key == 'A' || key == 'a')
		return Choice::kAttack;
	if (key == 'R' || key == 'r')
		return Choice::kRun;
	return Choice::kOther;
}


CaveFight::Exchange
CaveFight::Attack()
{
	// Only the pass in which a blow lands counts; quiet passes leave no
	// trace. When neither side can ever do damage, a single pass is drawn,
	// rather than drawing for ever.
	bool canHurt = AttackPower(fPlayer) >= kLeastHarmfulPower
		|| fMonster.GetStr() >= kLeastHarmfulPower;
	Exchange exchange;
	int32 passes = 0;
	do {
		exchange.dealt = fMonster.IsHitBy(AttackPower(fPlayer));
		exchange.taken = fPlayer.IsHitBy(fMonster.GetStr());
		passes++;
	} while (exchange.dealt == 0 && exchange.taken == 0 && canHurt
		&& passes < kQuietPassLimit);

	if (exchange.dealt == 0)
		return exchange;

	// Judged on the power the blow was struck with, before a level gained
	// by the kill changes the player's strength.
	exchange.critical
		= exchange.dealt >= kCriticalPart * ExactAttackPower(fPlayer);

	if (fMonster.GetHP() <= 0) {
		// A player who kills never dies of the last blow; the gold comes
		// before the experience.
		exchange.killed = true;
		fPlayer.Heal(exchange.taken);
		fPlayer.AddGold(fMonster.GetGold());
		exchange.levelGained = fPlayer.AddXP(fMonster.GetXP());
	}
	return exchange;
}


bool
CaveFight::PlayerIsDown() const
{
	return fPlayer.GetHP() <= 0;
}


// The attack power of the player's blows, in double precision: the critical
// threshold is compared against this, before any cutting to a whole number.
/*static*/ double
CaveFight::ExactAttackPower(const CPlayer& player)
{
	return pow(2.0, player.GetWeaponStr()) + player.GetStr();
}


// The attack power cut toward zero to the whole number a blow takes. A
// weapon strength of 31 or more (only a tampered player file holds one)
// would not fit an int32: such a blow is as strong as an int32 can hold.
/*static*/ int32
CaveFight::AttackPower(const CPlayer& player)
{
	return TruncatedToInt32(ExactAttackPower(player));
}
