#include "HealersHut.h"

#include "GameLimits.h"
#include "Player.h"


/*static*/ HealersHut::Outcome
HealersHut::Heal(CPlayer& player, int32 count)
{
	// A record fuller than full (a tampered player file) needs no healing
	// either; selling it a negative number of points would pay the player.
	Outcome outcome;
	if (player.GetHP() >= player.GetMaxHP())
		return outcome;
	if (count < 0)
		count = 0;

	outcome.count = count;
	outcome.price = PricePerPoint(player) * count;

	// No purse holds more than an int32, so a larger price is refused.
	if (outcome.price <= kMostInt32
		&& player.SpendGold((int32)outcome.price)) {
		player.Heal(count);
		outcome.verdict = Verdict::kHealed;
	} else
		outcome.verdict = Verdict::kCannotPay;
	return outcome;
}


/*static*/ int64
HealersHut::PricePerPoint(const CPlayer& player)
{
	int64 pricePerPoint = player.GetLevel() / 5;
	return pricePerPoint < 0 ? 0 : pricePerPoint;
}


/*static*/ int32
HealersHut::QuotedPricePerPoint(const CPlayer& player)
{
	// NOTE: the sign quotes a quarter of the level per point, while the
	// healer charges a fifth; players know the sign as it is.
	return player.GetLevel() / 4;
}


/*static*/ int32
HealersHut::MissingHitPoints(const CPlayer& player)
{
	int64 missing = (int64)player.GetMaxHP() - player.GetHP();
	return missing < 0 ? 0 : ClampedToInt32(missing);
}
