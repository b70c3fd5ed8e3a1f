#include "VraskThread.h"

#include "Monster.h"

#include <math.h>
#include <stdint.h>


namespace {

const char* const kTiredText
	= "\n You are far too tired to do this all day, you know.";
// Told when the monsters file cannot give a monster to fight; the cave
// fight is given back, since no fight took place.
const char* const kCavesClosedText
	= "\n The caves are closed for repairs today.  Not a beastie stirs down "
		"there, so this fight does not count.";

// A blow of power below this can do no damage: its roll, less the defense
// roll, is at most 1, and the damage is then drawn below that.
const int32 kLeastHarmfulPower = 3;
// An exchange in which neither blow lands is drawn again, but not for ever:
// against a monster whose defense is far above the player's attack power,
// and whose own blows cannot get through the player's armor, a landing blow
// may take longer than any player waits. After this many quiet passes the
// exchange is shown as a miss and a stumble, and the player may go on or run.
const int32 kQuietPassLimit = 1000000;


// The attack power of the player's blows, in double precision: the critical
// threshold is compared against this, before any cutting to a whole number.
double
ExactAttackPower(const CPlayer& player)
{
	return pow(2.0, player.GetWeaponStr()) + player.GetStr();
}


// The attack power cut toward zero to the whole number a blow takes. A
// weapon strength of 31 or more (only a tampered player file holds one)
// would not fit an int32: such a blow is as strong as an int32 can hold.
int32
AttackPower(const CPlayer& player)
{
	double power = ExactAttackPower(player);
	if (power >= (double)INT32_MAX)
		return INT32_MAX;
	if (power <= (double)INT32_MIN)
		return INT32_MIN;
	return (int32)power;
}

}	// namespace


void
VraskThread::Fight(bool finalFight)
{
	if (!fPlayer.Fights()) {
		SendString(kTiredText);
		return;
	}

	CMonster monster;
	monster.GetMonster(finalFight ? kFinalMonsterLevel : fPlayer.GetCaveLevel());
	if (monster.InitCheck() != B_OK) {
		SendString(kCavesClosedText);
		fPlayer.AddFights(1);
		return;
	}
	if (monster.IsSpecialEvent()) {
		SpecialEvent();
		return;
	}

	SendString("\nYou are fighting a viscious looking ");
	SendString(monster.GetName());
	SendString(".");

	for (;;) {
		SendString("\n\n{ ");
		SendString(monster.GetName());
		SendString(" } ");
		SendNumber(monster.GetHP());
		SendString(" HP");
		SendString("\n[");
		SendString(fPlayer.GetName());
		SendString("] ");
		SendNumber(fPlayer.GetHP());
		SendString("/");
		SendNumber(fPlayer.GetMaxHP());
		SendString("\n\nWhat will you do?");

		char key = GetChar();
		if (key == 'R' || key == 'r') {
			if (!finalFight) {
				SendString("Run!");
				return;
			}
			SendString("You try to run, but the gigantic beastie is just too fast!");
		} else if (key != 'A' && key != 'a') {
			SendString("???\n (A)ttack\n (R)un");
		} else {
			SendString("Attack!");

			// Only the pass in which a blow lands is shown; quiet passes
			// leave no trace. When neither side can ever do damage, a single
			// pass is drawn and shown, rather than drawing for ever.
			bool canHurt = AttackPower(fPlayer) >= kLeastHarmfulPower
				|| monster.GetStr() >= kLeastHarmfulPower;
			int32 dealt = 0;
			int32 taken = 0;
			int32 passes = 0;
			do {
				dealt = monster.IsHitBy(AttackPower(fPlayer));
				taken = fPlayer.IsHitBy(monster.GetStr());
				passes++;
			} while (dealt == 0 && taken == 0 && canHurt
				&& passes < kQuietPassLimit);

			if (dealt == 0) {
				SendString("\n\nYou missed the ");
				SendString(monster.GetName());
				SendString(".  Don't you look foolish.");
			} else {
				if (dealt >= 0.75 * ExactAttackPower(fPlayer)) {
					BString text("\n\n***CRITICAL HIT!!!***\n You strike the ");
					text << monster.GetName()
						<< " with skill so great you startle even yourself.\n\n  "
						<< dealt
						<< " hp are sprayed across the ground, splattered by your mighty "
						<< fPlayer.GetWeapon() << ".";
					SendString(text);
				} else {
					SendString("\n\nYou hit the ");
					SendString(monster.GetName());
					SendString(" with your ");
					SendString(fPlayer.GetWeapon());
					SendString(" for ");
					SendNumber(dealt);
					SendString(" HP.");
				}

				if (monster.GetHP() <= 0) {
					// The monster's blow of this same exchange is undone: a
					// player who kills never dies of the last blow.
					fPlayer.Heal(taken);
					SendString("\n  You killed the ");
					SendString(monster.GetName());
					SendString("!\n Got ");
					SendNumber(monster.GetXP());
					SendString(" XP and ");
					SendNumber(monster.GetGold());
					SendString(" gold.");
					fPlayer.AddGold(monster.GetGold());
					if (fPlayer.AddXP(monster.GetXP())) {
						SendString("\n You gained a level!\n");
						Status();
					}
					if (finalFight)
						WinGame();
					return;
				}
			}

			if (taken == 0) {
				SendString("\n");
				SendString(monster.GetName());
				SendString(" stumbles around flailing miserably.");
			} else {
				SendString("\n");
				SendString(monster.GetName());
				SendString(" strikes with its ");
				SendString(monster.GetAttack());
				SendString(" for ");
				SendNumber(taken);
				SendString(" HP.");
			}
		}

		if (fPlayer.GetHP() <= 0)
			return;
	}
}
