#pragma once

#include <SupportDefs.h>

#include "Monster.h"

class CPlayer;

// The rules of one cave fight, without a host: spending the day's fight,
// drawing the opponent, the exchange of blows and what a kill pays. The
// session's Fight asks the keys and shows the outcome of every step; the
// balance tool plays the same steps with a strategy of its own. Every draw
// comes from the program-wide rand(), in the order the caves have always
// drawn them, so a seed gives the same fight wherever it is played.
//
// A fight lives on one session thread for the one fight, and changes the
// player record it was given at once.
class CaveFight {
public:
	enum class Opening {
		kTired,				// no fight left today; nothing was drawn
		kCavesClosed,		// no monster to be had; the fight is given back
		kSpecialEvent,		// the draw is a special event, not a monster
		kMonster			// a monster stands ready
	};

	enum class Choice {
		kAttack,
		kRun,
		kOther
	};

	// One exchange of blows, as the last pass of it landed.
	struct Exchange {
			int32				dealt = 0;
			int32				taken = 0;
			// The player's blow reached three quarters of its power.
			bool				critical = false;
			// The monster died of it; the rewards are paid and the
			// monster's blow of the same exchange is undone.
			bool				killed = false;
			bool				levelGained = false;
	};

								CaveFight(CPlayer& player, bool finalFight);
								CaveFight(const CaveFight&) = delete;
			CaveFight&			operator=(const CaveFight&) = delete;

	// The opening
			// Spends one of the day's fights and draws the opponent.
			Opening				Open();
			const CMonster&		Monster() const { return fMonster; }
			bool				IsFinal() const { return fFinal; }

	// The rounds
	static	Choice				ChoiceOf(char key);
			// Only an ordinary monster lets the player run.
			bool				CanRun() const { return !fFinal; }
			Exchange			Attack();
			bool				PlayerIsDown() const;

	// The player's blows
	static	double				ExactAttackPower(const CPlayer& player);
	static	int32				AttackPower(const CPlayer& player);

private:
			CPlayer&			fPlayer;
			CMonster			fMonster;
			bool				fFinal;
};
