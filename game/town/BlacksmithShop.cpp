#include "BlacksmithShop.h"

#include <math.h>

#include <algorithm>

#include "GameLimits.h"


BlacksmithShop::BlacksmithShop(Kind kind, int32 strength, long itemCount)
	:
	fKind(kind),
	fStrength(strength)
{
	// Worked out in 64 bits: a player file may hold any strength, and four
	// steps above INT32_MAX must not wrap around into a small limit.
	int64 limit = std::min<int64>(itemCount, int64(strength) + 4);
	limit = std::clamp<int64>(limit, 0, kMostItems);
	fLimit = int32(limit);
	fFirstShown = std::max<int32>(fLimit - 10, 0) + 1;
}


bool
BlacksmithShop::IsShown(int32 number) const
{
	return number >= fFirstShown && number <= fLimit;
}


bool
BlacksmithShop::IsCurrent(int32 number) const
{
	return number == fStrength;
}


void
BlacksmithShop::ItemsEndedAt(int32 itemsRead)
{
	fLimit = std::clamp<int32>(itemsRead, 0, fLimit);
}


int64
BlacksmithShop::ListingPrice(int32 index) const
{
	// Outside the items a shop can hold there is nothing to list; such a
	// price is beyond any purse rather than a pow() result out of range.
	if (index < 0 || index >= kMostItems)
		return INT64_MAX;
	double base = fKind == Kind::kWeapons ? 50.0 : 40.0;
	return int64(pow(2.0, index) * base);
}


int64
BlacksmithShop::Price(int32 number) const
{
	if (number < 1 || number > kMostItems)
		return INT64_MAX;
	double base = fKind == Kind::kWeapons ? 25.0 : 20.0;
	return int64(pow(2.0, number) * base);
}


bool
BlacksmithShop::FitsInPurse(int64 price)
{
	return price >= 0 && price <= kMostInt32;
}


BlacksmithShop::Verdict
BlacksmithShop::Judge(long choice) const
{
	if (choice < 1 || choice > fLimit)
		return Verdict::kNoSuchItem;
	if (fStrength >= choice)
		return Verdict::kNotBetter;
	if (!FitsInPurse(Price(int32(choice))))
		return Verdict::kBeyondAnyPurse;
	return Verdict::kOffer;
}
