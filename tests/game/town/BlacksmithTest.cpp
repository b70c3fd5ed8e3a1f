#include "VraskPaths.h"

#include <DoorSession.h>
#include <TestVolume.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

// Whole visits to the blacksmith: the real door program against the
// scripted host, with item files and a player file made by the test.

namespace {

typedef std::vector<std::string> Pieces;

const char* const kVisitor = "hob";
const char* const kVisitorFile = kUsersFolder "hob";


std::string
ItemName(const char* kind, int32 number)
{
	return std::string(kind) + " " + std::to_string(number);
}


// A count line, then names "<kind> 1" up to "<kind> <written>".
std::string
ItemFile(const char* kind, const std::string& countLine, int32 written)
{
	std::string file = countLine + "\n";
	for (int32 number = 1; number <= written; number++)
		file += ItemName(kind, number) + "\n";
	return file;
}


struct Character {
	std::string	weapon = "Moderately Sharp Playing Card";
	int32		weaponStr = 1;
	std::string	armor = "T-Shirt and Jeans";
	int32		armorStr = 1;
	int32		gold = 0;
};


std::string
PlayerFile(const Character& character)
{
	// Stored "today" far ahead, so that no daily reset touches the record.
	std::ostringstream file;
	file << "Dolly\n" << character.weapon << "\n" << character.armor << "\n"
		<< character.weaponStr << "\n" << character.armorStr << "\n"
		<< character.gold << "\n10\n10\n1\n0\n7\n7\n15\n99991231\n";
	return file.str();
}


std::vector<std::string>
Lines(const std::string& text)
{
	std::vector<std::string> lines;
	std::istringstream stream(text);
	std::string line;
	while (std::getline(stream, line))
		lines.push_back(line);
	return lines;
}


// The pieces of every visit: what followed each completion of the shop's
// command, up to the next prompt line.
std::vector<Pieces>
Visits(const Pieces& texts, const std::string& completion)
{
	std::vector<Pieces> visits;
	for (size_t i = 0; i < texts.size(); i++) {
		if (texts[i] != completion)
			continue;
		Pieces visit;
		for (size_t j = i + 1; j < texts.size(); j++) {
			if (texts[j].rfind("\n<", 0) == 0)
				break;
			visit.push_back(texts[j]);
		}
		visits.push_back(visit);
	}
	return visits;
}


// The listing of items first to last, with the mark after `current`.
Pieces
Listing(const char* kind, int32 first, int32 last, int32 current,
	int64 firstPrice)
{
	Pieces pieces;
	for (int32 number = first; number <= last; number++) {
		int64 price = firstPrice << (number - 1);
		Pieces entry = { "\n(", std::to_string(number), ") ",
			ItemName(kind, number), " : ", std::to_string(price) };
		pieces.insert(pieces.end(), entry.begin(), entry.end());
		if (number == current)
			pieces.push_back(" *** ");
	}
	pieces.push_back("\n\nWhich would you like to buy?");
	return pieces;
}


// The echoes of an answer typed at the question, line feed included.
Pieces
Echoes(const std::string& keys)
{
	Pieces echoes;
	for (char key : keys)
		echoes.push_back(std::string(1, key));
	return echoes;
}


Pieces
Joined(std::initializer_list<Pieces> parts)
{
	Pieces joined;
	for (const Pieces& part : parts)
		joined.insert(joined.end(), part.begin(), part.end());
	return joined;
}


class BlacksmithVisitTest : public testing::Test {
protected:
			void				StockWeapons(const std::string& file)
									{ fVolume.WriteFile(kWeaponsFile, file); }
			void				StockArmor(const std::string& file)
									{ fVolume.WriteFile(kArmorFile, file); }
			void				SetCharacter(const Character& character)
									{ fVolume.WriteFile(kVisitorFile,
										PlayerFile(character)); }
			std::vector<std::string> SavedLines() const
									{ return Lines(fVolume.ReadFile(
										kVisitorFile)); }

			TestVolume			fVolume;
			DoorSession			fDoor;
};

}	// namespace


TEST_F(BlacksmithVisitTest, ExactPriceBuysTheItemAndLeavesNoGold)
{
	StockWeapons(ItemFile("Weapon", "20", 20));
	StockArmor(ItemFile("Armor", "20", 20));
	SetCharacter({ .gold = 100 });

	Pieces texts = fDoor.Play(kVisitor, "bw2\nyq");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Weapon");
	ASSERT_EQ(visits.size(), 1u);
	EXPECT_EQ(visits[0], Joined({ Listing("Weapon", 1, 5, 1, 50), Echoes("2\n"),
		{ "\nAre you sure you want to buy that ", "Weapon 2", "? (y/n) ", "y",
			"\nThanks for buying that old ", "Weapon 2",
			".  I didn't want it anyway." } }));

	std::vector<std::string> saved = SavedLines();
	ASSERT_EQ(saved.size(), 14u);
	EXPECT_EQ(saved[1], "Weapon 2");
	EXPECT_EQ(saved[3], "2");
	EXPECT_EQ(saved[5], "0");
	EXPECT_EQ(saved[2], "T-Shirt and Jeans");
	EXPECT_EQ(saved[4], "1");
}


TEST_F(BlacksmithVisitTest, ArmorWindowEndsFourAboveAndRefusesWhatCannotBePaid)
{
	StockArmor(ItemFile("Armor", "20", 20));
	SetCharacter({ .armor = "Armor 10", .armorStr = 10, .gold = 20 * 2048 });

	// Item 11 costs 20 * 2^11 = 40960 gold, item 12 twice that.
	Pieces texts = fDoor.Play(kVisitor, "ba12\nq");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Armor");
	ASSERT_EQ(visits.size(), 1u);
	EXPECT_EQ(visits[0], Joined({ Listing("Armor", 5, 14, 10, 40),
		Echoes("12\n"), { "\nYou don't have that kind of cash!" } }));

	std::vector<std::string> saved = SavedLines();
	ASSERT_EQ(saved.size(), 14u);
	EXPECT_EQ(saved[2], "Armor 10");
	EXPECT_EQ(saved[4], "10");
	EXPECT_EQ(saved[5], "40960");
}


TEST_F(BlacksmithVisitTest, RefusalsNameTheirReasonAndChangeNothing)
{
	StockWeapons(ItemFile("Weapon", "20", 20));
	SetCharacter({ .weapon = "Weapon 3", .weaponStr = 3, .gold = 5000 });

	Pieces texts = fDoor.Play(kVisitor,
		"bw0\nw-2\nw8\nwsharp\nw3\nw2\nq");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Weapon");
	ASSERT_EQ(visits.size(), 6u);
	const Pieces listing = Listing("Weapon", 1, 7, 3, 50);
	const std::string notBetter
		= "\nYou don't really want that one.  You've got a better one!";
	EXPECT_EQ(visits[0], Joined({ listing, Echoes("0\n"), { "???" } }));
	EXPECT_EQ(visits[1], Joined({ listing, Echoes("-2\n"), { "???" } }));
	EXPECT_EQ(visits[2], Joined({ listing, Echoes("8\n"), { "???" } }));
	EXPECT_EQ(visits[3], Joined({ listing, Echoes("sharp\n"), { "???" } }));
	EXPECT_EQ(visits[4], Joined({ listing, Echoes("3\n"), { notBetter } }));
	EXPECT_EQ(visits[5], Joined({ listing, Echoes("2\n"), { notBetter } }));

	std::vector<std::string> saved = SavedLines();
	ASSERT_EQ(saved.size(), 14u);
	EXPECT_EQ(saved[1], "Weapon 3");
	EXPECT_EQ(saved[3], "3");
	EXPECT_EQ(saved[5], "5000");
}


TEST_F(BlacksmithVisitTest, DeclinedPurchaseGivesTheGoldBack)
{
	StockWeapons(ItemFile("Weapon", "20", 20));
	SetCharacter({ .gold = 1000 });

	Pieces texts = fDoor.Play(kVisitor, "bw4\nnq");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Weapon");
	ASSERT_EQ(visits.size(), 1u);
	EXPECT_EQ(visits[0], Joined({ Listing("Weapon", 1, 5, 1, 50), Echoes("4\n"),
		{ "\nAre you sure you want to buy that ", "Weapon 4", "? (y/n) ", "n",
			"\nThen why did you ask for it in the first place?" } }));

	std::vector<std::string> saved = SavedLines();
	ASSERT_EQ(saved.size(), 14u);
	EXPECT_EQ(saved[1], "Moderately Sharp Playing Card");
	EXPECT_EQ(saved[3], "1");
	EXPECT_EQ(saved[5], "1000");
}


TEST_F(BlacksmithVisitTest, BestItemOwnedRefusesEveryChoiceInTheWindow)
{
	StockWeapons(ItemFile("Weapon", "20", 20));
	SetCharacter({ .weapon = "Weapon 20", .weaponStr = 20, .gold = 100000 });

	Pieces texts = fDoor.Play(kVisitor, "bw20\nw11\nq");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Weapon");
	ASSERT_EQ(visits.size(), 2u);
	const Pieces listing = Listing("Weapon", 11, 20, 20, 50);
	const std::string notBetter
		= "\nYou don't really want that one.  You've got a better one!";
	EXPECT_EQ(visits[0], Joined({ listing, Echoes("20\n"), { notBetter } }));
	EXPECT_EQ(visits[1], Joined({ listing, Echoes("11\n"), { notBetter } }));
}


TEST_F(BlacksmithVisitTest, CountOfZeroListsNothingAndSellsNothing)
{
	StockWeapons("0\nWeapon 1\nWeapon 2\n");
	SetCharacter({ .gold = 1000 });

	Pieces texts = fDoor.Play(kVisitor, "bw1\nq");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Weapon");
	ASSERT_EQ(visits.size(), 1u);
	EXPECT_EQ(visits[0], Joined({ { "\n\nWhich would you like to buy?" },
		Echoes("1\n"), { "???" } }));
	EXPECT_EQ(SavedLines().at(5), "1000");
}


TEST_F(BlacksmithVisitTest, MissingItemFileClosesTheShopWithoutAQuestion)
{
	StockWeapons(ItemFile("Weapon", "20", 20));
	SetCharacter({ .gold = 1000 });

	// The "2" is not an answer: with the shop closed it reaches the
	// prompt, which shows the blacksmith's menu for it.
	Pieces texts = fDoor.Play(kVisitor, "ba2q");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Armor");
	ASSERT_EQ(visits.size(), 1u);
	EXPECT_EQ(visits[0], Pieces({ "\nThe blacksmith's shop is closed today." }));
	std::vector<std::string> saved = SavedLines();
	ASSERT_EQ(saved.size(), 14u);
	EXPECT_EQ(saved[2], "T-Shirt and Jeans");
	EXPECT_EQ(saved[5], "1000");
}


TEST_F(BlacksmithVisitTest, ShortItemFileSellsOnlyTheItemsItHolds)
{
	// Three whole names and a fourth cut off without its line feed.
	StockWeapons(ItemFile("Weapon", "20", 3) + "Weapon 4");
	SetCharacter({ .gold = 1000 });

	Pieces texts = fDoor.Play(kVisitor, "bw5\nw4\nyq");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Weapon");
	ASSERT_EQ(visits.size(), 2u);
	const Pieces listing = Listing("Weapon", 1, 4, 1, 50);
	EXPECT_EQ(visits[0], Joined({ listing, Echoes("5\n"), { "???" } }));
	EXPECT_EQ(visits[1], Joined({ listing, Echoes("4\n"),
		{ "\nAre you sure you want to buy that ", "Weapon 4", "? (y/n) ", "y",
			"\nThanks for buying that old ", "Weapon 4",
			".  I didn't want it anyway." } }));
	std::vector<std::string> saved = SavedLines();
	ASSERT_EQ(saved.size(), 14u);
	EXPECT_EQ(saved[1], "Weapon 4");
	EXPECT_EQ(saved[5], "600");
}


TEST_F(BlacksmithVisitTest, EmptyItemFileListsNothingAndSellsNothing)
{
	StockArmor("");
	SetCharacter({ .gold = 1000 });

	Pieces texts = fDoor.Play(kVisitor, "ba1\nq");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Armor");
	ASSERT_EQ(visits.size(), 1u);
	EXPECT_EQ(visits[0], Joined({ { "\n\nWhich would you like to buy?" },
		Echoes("1\n"), { "???" } }));
}


TEST_F(BlacksmithVisitTest, ItemsDearerThanAnyPurseAreListedTrulyAndNotSold)
{
	StockWeapons(ItemFile("Weapon", "40", 40));
	SetCharacter({ .weapon = "Weapon 26", .weaponStr = 26,
		.gold = 2147483647 });

	Pieces texts = fDoor.Play(kVisitor, "bw27\nq");

	std::vector<Pieces> visits = Visits(texts, "\bPurchase Weapon");
	ASSERT_EQ(visits.size(), 1u);
	EXPECT_EQ(visits[0], Joined({ Listing("Weapon", 21, 30, 26, 50),
		Echoes("27\n"), { "\nYou don't have that kind of cash!" } }));
	std::vector<std::string> saved = SavedLines();
	ASSERT_EQ(saved.size(), 14u);
	EXPECT_EQ(saved[1], "Weapon 26");
	EXPECT_EQ(saved[5], "2147483647");
}
