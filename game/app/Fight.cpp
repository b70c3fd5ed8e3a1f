#include "VraskThread.h"

#include "CaveFight.h"


namespace {

const char* const kTiredText
	= "\n You are far too tired to do this all day, you know.";
// Told when the monsters file cannot give a monster to fight; the cave
// fight is given back, since no fight took place.
const char* const kCavesClosedText
	= "\n The caves are closed for repairs today.  Not a beastie stirs down "
		"there, so this fight does not count.";

}	// namespace


// The screen of a cave fight: the keys of every round and the texts of what
// the fight's rules made of them.
void
VraskThread::Fight(bool finalFight)
{
	CaveFight fight(fPlayer, finalFight);
	switch (fight.Open()) {
		case CaveFight::Opening::kTired:
			SendString(kTiredText);
			return;
		case CaveFight::Opening::kCavesClosed:
			SendString(kCavesClosedText);
			return;
		case CaveFight::Opening::kSpecialEvent:
			SpecialEvent();
			return;
		case CaveFight::Opening::kMonster:
			break;
	}
	// The fight is spent from here on, whatever becomes of the line.
	_SaveBeforeShowing();

	const CMonster& monster = fight.Monster();
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
		SendString(CharacterName());
		SendString("] ");
		SendNumber(fPlayer.GetHP());
		SendString("/");
		SendNumber(fPlayer.GetMaxHP());
		SendString("\n\nWhat will you do?");

		CaveFight::Choice choice = CaveFight::ChoiceOf(GetChar());
		if (choice == CaveFight::Choice::kRun) {
			if (fight.CanRun()) {
				SendString("Run!");
				return;
			}
			SendString("You try to run, but the gigantic beastie is just too fast!");
		} else if (choice == CaveFight::Choice::kOther) {
			SendString("???\n (A)ttack\n (R)un");
		} else {
			SendString("Attack!");
			CaveFight::Exchange exchange = fight.Attack();
			// The blows, a kill's rewards or the player's death are on disk
			// before the first word of them is shown.
			_SaveBeforeShowing();

			if (exchange.dealt == 0) {
				SendString("\n\nYou missed the ");
				SendString(monster.GetName());
				SendString(".  Don't you look foolish.");
			} else {
				if (exchange.critical) {
					BString text("\n\n***CRITICAL HIT!!!***\n You strike the ");
					text << monster.GetName()
						<< " with skill so great you startle even yourself.\n\n  "
						<< exchange.dealt
						<< " hp are sprayed across the ground, splattered by your mighty "
						<< fPlayer.GetWeapon() << ".";
					SendString(text);
				} else {
					SendString("\n\nYou hit the ");
					SendString(monster.GetName());
					SendString(" with your ");
					SendString(fPlayer.GetWeapon());
					SendString(" for ");
					SendNumber(exchange.dealt);
					SendString(" HP.");
				}

				if (exchange.killed) {
					SendString("\n  You killed the ");
					SendString(monster.GetName());
					SendString("!\n Got ");
					SendNumber(monster.GetXP());
					SendString(" XP and ");
					SendNumber(monster.GetGold());
					SendString(" gold.");
					if (exchange.levelGained) {
						SendString("\n You gained a level!\n");
						Status();
					}
					if (finalFight)
						WinGame();
					return;
				}
			}

			if (exchange.taken == 0) {
				SendString("\n");
				SendString(monster.GetName());
				SendString(" stumbles around flailing miserably.");
			} else {
				SendString("\n");
				SendString(monster.GetName());
				SendString(" strikes with its ");
				SendString(monster.GetAttack());
				SendString(" for ");
				SendNumber(exchange.taken);
				SendString(" HP.");
			}
		}

		if (fight.PlayerIsDown())
			return;
	}
}
