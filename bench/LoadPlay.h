#pragma once

#include <stdint.h>

#include <string>

// One caller of the load generator's play profile: what it types next,
// decided from the screen the game showed it, as a player who plays for
// real would. It fights in the caves to each fight's end (and runs when its
// hit points run low), heals at the healer, buys better arms at the
// blacksmith when it can afford them, looks at its status, and now and
// then at the Wall of Fame. It knows the game only by its texts.
class PlayScript {
public:
	// What the caller is to type next, and what it counted.
	struct Step {
		std::string	keys;
		bool		wallOfFame = false;
	};

	// How the last screen ended, for the generator's check that every
	// command ends where a command can end.
	enum class Ending {
		kNone,			// not yet: more of the screen is to come
		kPrompt,		// "<NAME : Place> "
		kFightChoice,	// "What will you do?"
		kShopChoice,	// "Which would you like to buy?"
		kConfirm,		// "(y/n) "
	};

	static	Ending			EndingOf(const std::string& screen);

	// The whole screen since the last key, which ended as EndingOf says.
			Step			Next(const std::string& screen, Ending ending);

	// Views of the Wall of Fame: one command in fameEvery (0: never).
			void			SetFameEvery(int every) { fFameEvery = every; }
			void			SetSeed(uint32_t seed) { fSeed = seed; }

	// What the caller has done, for the report.
			int64_t			fFights = 0;
			int64_t			fPurchases = 0;
			int64_t			fHeals = 0;
			int64_t			fFameViews = 0;
			int64_t			fStatusViews = 0;
			// Replies the caller did not expect ("???" for a key it chose).
			int64_t			fNotUnderstood = 0;

private:
	enum class Place { kTown, kCaves, kBlacksmith, kHealers };
	enum class Errand { kFight, kHeal, kShop, kStatus };

			void			_Learn(const std::string& screen);
			Step			_AtPrompt();
			std::string		_ShopChoice(const std::string& screen);
			uint32_t		_Draw(uint32_t range);

			Place			fPlace = Place::kTown;
			Errand			fErrand = Errand::kFight;
			int				fHP = 20;
			int				fMaxHP = 20;
			int				fGold = 0;
			bool			fTired = false;
			bool			fShopped = false;
			bool			fShopArmor = false;
			int				fCommands = 0;
			int				fFameEvery = 1000;
			uint32_t		fSeed = 1;
};
