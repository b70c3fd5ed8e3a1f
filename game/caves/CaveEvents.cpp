#include "VraskThread.h"

#include "Monster.h"

#include <stdint.h>
#include <stdlib.h>


namespace {

const int32 kDeepestCaveLevel = 10;
// On the deepest level, a special event is the final monster one time in
// this many, when the roll comes up as kFinalMonsterRoll.
const int32 kFinalMonsterOdds = 10;
const int32 kFinalMonsterRoll = 1;
const int32 kLuckyEventCount = 5;

const int32 kPoolHealing = 99999;
const int32 kAppleTreeFights = 3;
const int32 kCorpseGoldPerLevel = 10;
const int32 kVictoryGold = 100;

enum {
	kPool = 0,
	kAppleTree,
	kMonk,
	kCorpse,
	kBramblePatch,
};


// A roll of 1 to the range. The range comes from the character's level,
// which a tampered player file may hold as 0 or less: such a character
// counts as level 1 rather than dividing by zero.
int32
RollUpTo(int64 range)
{
	if (range < 1)
		range = 1;
	if (range > INT32_MAX)
		range = INT32_MAX;
	return rand() % (int32)range + 1;
}

}	// namespace


void
VraskThread::SpecialEvent()
{
	// A special event costs no cave fight; only the final monster, met
	// through it, spends this one again.
	fPlayer.AddFights(1);
	SendString("\n\n***Special Event!***\n\n");

	if (fPlayer.GetCaveLevel() == kDeepestCaveLevel
		&& rand() % kFinalMonsterOdds == kFinalMonsterRoll) {
		Fight(true);
		return;
	}

	int64 level = fPlayer.GetLevel();
	if (level < 1)
		level = 1;

	switch (rand() % kLuckyEventCount) {
		case kPool:
		{
			SendString("You find a sparkling pool deep in the caverns.  "
				"Its subtle beauty refreshes you.");
			SendString("\n\nYou heal ");
			SendNumber(fPlayer.Heal(kPoolHealing));
			SendString(" HP.");
			break;
		}
		case kAppleTree:
		{
			fPlayer.AddFights(kAppleTreeFights);
			SendString("You find a luscious-looking cave-apple tree.  After "
				"eating all the apples on the tree, you feel like you could "
				"take on the world!\n\nYou gain 3 cave fights!");
			break;
		}
		case kMonk:
		{
			int32 strength = RollUpTo(level);
			fPlayer.AddStr(strength);
			BString text("You happen upon a lonely monk who offers to train "
				"you in the fighting arts.  After several hours of moving "
				"rocks and standing on your head you feel more than just a "
				"little silly.  When you get done with your last exercise of "
				"covering your eyes, you find that the monk has left."
				"\n\nYou gain ");
			text << strength << " Strength!";
			SendString(text);
			break;
		}
		case kCorpse:
		{
			int32 gold = RollUpTo(kCorpseGoldPerLevel * level);
			fPlayer.AddGold(gold);
			BString text("You find the rotting corpse of a "
				"not-as-lucky-as-you-are warrior.  Pilfering through its "
				"pockets, you find ");
			text << gold << " gold that the others somehow missed!";
			SendString(text);
			break;
		}
		case kBramblePatch:
		{
			int32 defense = RollUpTo(level);
			fPlayer.AddDef(defense);
			BString text("As you stumble blindly about in the dark caves, "
				"you accidentally walk through a giant wild bramble patch.  "
				"When you finally make your way out of the thicket, you turn "
				"to discover that the patch has mysteriously vanished.  Your "
				"scratches have healed, hardening your skin.\n\nYou gain ");
			text << defense << " Defense!";
			SendString(text);
			break;
		}
	}
	SendString("\n");
}


void
VraskThread::WinGame()
{
	SendString("*** YOU WIN!!! ***\n\n"
		"  You walk out of the caves, victorious over the nastiest of the "
		"beasties in the caves.  Stories of your glorious victory over the "
		"beast soon spread among the townsfolk.  But, like all great battle "
		"tales, the stories soon become embellished and grow into Legend.\n"
		"  More rapidly than you might like, the stories and your experiences "
		"fade into obscurity, until another hero is born to slay the greatest "
		"of the beasties..."
		"\n\n  Thank you for playing Drelmoor!  Your character has now been "
		"reset.");

	CPlayer reset;
	reset.SetName(fPlayer.GetName());
	reset.AddGold(kVictoryGold);
	reset.SavePlayer(fUserName);

	int32 caveLevel = fPlayer.GetCaveLevel();
	if (!fPlayer.LoadPlayer(fUserName)) {
		// The player file could not be read back: the session still goes on
		// with the reset character rather than the winner, and keeps its
		// cave level as loading would have.
		fPlayer = reset;
		while (fPlayer.GetCaveLevel() < caveLevel)
			fPlayer.GoDown();
	}
	fPlayer.SetLocation("Town");
}
