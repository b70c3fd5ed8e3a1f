#include "CaveEvent.h"

#include <stdlib.h>

#include "GameLimits.h"
#include "Player.h"


namespace {

// On the deepest level, a special event is the final monster one time in
// this many, when the roll comes up as kFinalMonsterRoll.
const int32 kFinalMonsterOdds = 10;
const int32 kFinalMonsterRoll = 1;
const int32 kLuckyEventCount = 5;

const int32 kPoolHealing = 99999;
const int32 kAppleTreeFights = 3;
const int32 kCorpseGoldPerLevel = 10;

// The lucky events in the order of their roll.
const CaveEvent::Kind kLuckyEvents[kLuckyEventCount] = {
	CaveEvent::Kind::kPool,
	CaveEvent::Kind::kAppleTree,
	CaveEvent::Kind::kMonk,
	CaveEvent::Kind::kCorpse,
	CaveEvent::Kind::kBramblePatch,
};


// A roll of 1 to the range. The range comes from the character's level,
// which a tampered player file may hold as 0 or less: such a character
// counts as level 1 rather than dividing by zero.
int32
RollUpTo(int64 range)
{
	if (range < 1)
		range = 1;
	return rand() % ClampedToInt32(range) + 1;
}

}	// namespace


/*static*/ CaveEvent::Outcome
CaveEvent::Happen(CPlayer& player)
{
	player.AddFights(1);

	Outcome outcome;
	if (player.GetCaveLevel() == kDeepestCaveLevel
		&& rand() % kFinalMonsterOdds == kFinalMonsterRoll) {
		outcome.kind = Kind::kFinalMonster;
		return outcome;
	}

	int64 level = player.GetLevel();
	if (level < 1)
		level = 1;

	outcome.kind = kLuckyEvents[rand() % kLuckyEventCount];
	switch (outcome.kind) {
		case Kind::kPool:
			outcome.amount = player.Heal(kPoolHealing);
			break;
		case Kind::kAppleTree:
			outcome.amount = kAppleTreeFights;
			player.AddFights(kAppleTreeFights);
			break;
		case Kind::kMonk:
			outcome.amount = RollUpTo(level);
			player.AddStr(outcome.amount);
			break;
		case Kind::kCorpse:
			outcome.amount = RollUpTo(kCorpseGoldPerLevel * level);
			player.AddGold(outcome.amount);
			break;
		case Kind::kBramblePatch:
			outcome.amount = RollUpTo(level);
			player.AddDef(outcome.amount);
			break;
		case Kind::kFinalMonster:
			break;
	}
	return outcome;
}
