#pragma once

#include <SupportDefs.h>

class CPlayer;

// The healer's rules, without a host: what hit points cost and what a
// purchase does to the player record. The session's Heal shows the outcome,
// the healer's menu quotes the sign's price, and the balance tool heals by
// the same prices. Nothing is drawn.
class HealersHut {
public:
	enum class Verdict {
		kNotNeeded,			// at full health (or fuller): nothing is charged
		kHealed,			// paid, and healed by the count
		kCannotPay			// the purse is short of the price; nothing changes
	};

	struct Outcome {
			Verdict				verdict = Verdict::kNotNeeded;
			int32				count = 0;
			// Worked out wide: the level and the count of a tampered player
			// file may multiply past an int32.
			int64				price = 0;
	};

	// Sells `count` hit points (none below zero) at the level's price.
	static	Outcome				Heal(CPlayer& player, int32 count);

	// The gold one hit point costs: a fifth of the level, truncated, and
	// nothing below level 5 (or for a level below zero).
	static	int64				PricePerPoint(const CPlayer& player);
	// The price on the sign: a quarter of the level, as players know it.
	static	int32				QuotedPricePerPoint(const CPlayer& player);
	// The hit points that heal-all buys; never below zero.
	static	int32				MissingHitPoints(const CPlayer& player);
};
