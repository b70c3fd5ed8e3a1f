#include "BlacksmithShop.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Kind = BlacksmithShop::Kind;
using Verdict = BlacksmithShop::Verdict;


std::vector<int32>
ShownItems(const BlacksmithShop& shop)
{
	std::vector<int32> shown;
	for (int32 number = 1; number <= shop.Limit(); number++) {
		if (shop.IsShown(number))
			shown.push_back(number);
	}
	return shown;
}


std::vector<int32>
Range(int32 first, int32 last)
{
	std::vector<int32> numbers;
	for (int32 number = first; number <= last; number++)
		numbers.push_back(number);
	return numbers;
}

}	// namespace


TEST(BlacksmithShopTest, NewPlayerSeesTheFirstFiveItemsMarkedAtTheFirst)
{
	BlacksmithShop shop(Kind::kWeapons, 1, 20);

	EXPECT_EQ(shop.Limit(), 5);
	EXPECT_EQ(ShownItems(shop), Range(1, 5));
	EXPECT_TRUE(shop.IsCurrent(1));
	EXPECT_FALSE(shop.IsCurrent(2));
}


TEST(BlacksmithShopTest, WindowOfTenEndsFourStepsAboveThePlayersItem)
{
	BlacksmithShop middle(Kind::kWeapons, 10, 20);
	EXPECT_EQ(middle.Limit(), 14);
	EXPECT_EQ(ShownItems(middle), Range(5, 14));

	BlacksmithShop nearTheTop(Kind::kArmor, 18, 20);
	EXPECT_EQ(nearTheTop.Limit(), 20);
	EXPECT_EQ(ShownItems(nearTheTop), Range(11, 20));
}


TEST(BlacksmithShopTest, PlayerWithTheBestItemIsRefusedEveryChoice)
{
	BlacksmithShop shop(Kind::kWeapons, 20, 20);

	EXPECT_EQ(ShownItems(shop), Range(11, 20));
	EXPECT_TRUE(shop.IsCurrent(20));
	for (int32 choice = 1; choice <= 20; choice++)
		EXPECT_EQ(shop.Judge(choice), Verdict::kNotBetter) << choice;
}


TEST(BlacksmithShopTest, CountAboveTheWindowIsReadOnlyUpToFourAbove)
{
	BlacksmithShop shop(Kind::kWeapons, 3, 1000);

	EXPECT_EQ(shop.Limit(), 7);
	EXPECT_EQ(shop.Judge(7), Verdict::kOffer);
	EXPECT_EQ(shop.Judge(8), Verdict::kNoSuchItem);
}


TEST(BlacksmithShopTest, PricesDoubleFromFiftyAndFortyInListAndPurchaseAlike)
{
	BlacksmithShop weapons(Kind::kWeapons, 1, 20);
	BlacksmithShop armor(Kind::kArmor, 1, 20);
	const int64 weaponPrices[] = { 50, 100, 200, 400, 800 };
	const int64 armorPrices[] = { 40, 80, 160, 320, 640 };

	for (int32 number = 1; number <= 5; number++) {
		EXPECT_EQ(weapons.ListingPrice(number - 1), weaponPrices[number - 1]);
		EXPECT_EQ(weapons.Price(number), weaponPrices[number - 1]);
		EXPECT_EQ(armor.ListingPrice(number - 1), armorPrices[number - 1]);
		EXPECT_EQ(armor.Price(number), armorPrices[number - 1]);
	}
	for (int32 number = 1; number <= BlacksmithShop::kMostItems; number++)
		EXPECT_EQ(weapons.ListingPrice(number - 1), weapons.Price(number));
}


TEST(BlacksmithShopTest, ChoicesOutsideTheWindowOrNotBetterAreRefusedInOrder)
{
	BlacksmithShop shop(Kind::kArmor, 4, 20);

	EXPECT_EQ(shop.Judge(0), Verdict::kNoSuchItem);
	EXPECT_EQ(shop.Judge(-3), Verdict::kNoSuchItem);
	EXPECT_EQ(shop.Judge(9), Verdict::kNoSuchItem);
	EXPECT_EQ(shop.Judge(4), Verdict::kNotBetter);
	EXPECT_EQ(shop.Judge(2), Verdict::kNotBetter);
	EXPECT_EQ(shop.Judge(5), Verdict::kOffer);
	EXPECT_EQ(shop.Judge(8), Verdict::kOffer);
}


TEST(BlacksmithShopTest, CountOfZeroOrBelowListsNothingAndSellsNothing)
{
	BlacksmithShop empty(Kind::kWeapons, 1, 0);
	EXPECT_EQ(empty.Limit(), 0);
	EXPECT_TRUE(ShownItems(empty).empty());
	EXPECT_EQ(empty.Judge(1), Verdict::kNoSuchItem);

	BlacksmithShop negative(Kind::kWeapons, 1, -7);
	EXPECT_EQ(negative.Limit(), 0);
	EXPECT_EQ(negative.Judge(1), Verdict::kNoSuchItem);
}


TEST(BlacksmithShopTest, ShortFileSellsOnlyTheItemsRead)
{
	BlacksmithShop shop(Kind::kWeapons, 10, 20);

	shop.ItemsEndedAt(8);

	EXPECT_EQ(shop.Limit(), 8);
	EXPECT_EQ(ShownItems(shop), Range(5, 8));
	EXPECT_EQ(shop.Judge(9), Verdict::kNoSuchItem);
	EXPECT_EQ(shop.Judge(8), Verdict::kNotBetter);
}


TEST(BlacksmithShopTest, PricesBeyondAnyPurseAreExactAndNotForSale)
{
	// Item 26 is the dearest that an int32 purse can hold.
	BlacksmithShop weapons(Kind::kWeapons, 25, 40);
	EXPECT_EQ(weapons.Price(26), int64(25) << 26);
	EXPECT_EQ(weapons.Judge(26), Verdict::kOffer);
	EXPECT_EQ(weapons.Price(27), int64(25) << 27);
	EXPECT_EQ(weapons.ListingPrice(26), int64(25) << 27);
	EXPECT_EQ(weapons.Judge(27), Verdict::kBeyondAnyPurse);

	BlacksmithShop armor(Kind::kArmor, 30, 40);
	EXPECT_EQ(armor.ListingPrice(33), int64(20) << 34);
	EXPECT_EQ(armor.Judge(31), Verdict::kBeyondAnyPurse);
	EXPECT_EQ(armor.Judge(34), Verdict::kBeyondAnyPurse);
}


TEST(BlacksmithShopTest, HugeCountsAndStrengthsStayWithinTheShopsItems)
{
	BlacksmithShop topStrength(Kind::kWeapons, INT32_MAX, 1L << 40);
	EXPECT_EQ(topStrength.Limit(), BlacksmithShop::kMostItems);
	EXPECT_EQ(ShownItems(topStrength),
		Range(BlacksmithShop::kMostItems - 9, BlacksmithShop::kMostItems));
	EXPECT_EQ(topStrength.Judge(BlacksmithShop::kMostItems),
		Verdict::kNotBetter);

	BlacksmithShop lowStrength(Kind::kArmor, INT32_MIN, 20);
	EXPECT_EQ(lowStrength.Limit(), 0);

	BlacksmithShop beyond(Kind::kWeapons, 46, 1000);
	EXPECT_EQ(beyond.Limit(), BlacksmithShop::kMostItems);
	EXPECT_EQ(beyond.Judge(BlacksmithShop::kMostItems),
		Verdict::kBeyondAnyPurse);
	EXPECT_EQ(beyond.Judge(long(BlacksmithShop::kMostItems) + 1),
		Verdict::kNoSuchItem);
	EXPECT_EQ(beyond.Judge(1L << 40), Verdict::kNoSuchItem);
}
