#include "VraskThread.h"

#include <List.h>
#include <String.h>

#include <stdlib.h>

#include "BlacksmithShop.h"
#include "ItemFileReader.h"
#include "VraskPaths.h"


namespace {

// The names of the items read so far, in file order, so that the chosen
// item's name can be taken by its number. The names are owned here and
// freed however the visit ends, also when the host reports the user gone
// and the session's thread unwinds from inside an exchange.
class ItemNames {
public:
								ItemNames() = default;
								ItemNames(const ItemNames&) = delete;
			ItemNames&			operator=(const ItemNames&) = delete;
								~ItemNames();

			void				Add(const BString& name);
			// The name of item number `number`, counted from 1.
			const BString&		NameOf(int32 number) const;

private:
			BList				fNames;
};


ItemNames::~ItemNames()
{
	for (int32 i = 0; i < fNames.CountItems(); i++)
		delete static_cast<BString*>(fNames.ItemAt(i));
}


void
ItemNames::Add(const BString& name)
{
	fNames.AddItem(new BString(name));
}


const BString&
ItemNames::NameOf(int32 number) const
{
	return *static_cast<const BString*>(fNames.ItemAt(number - 1));
}


}	// namespace


void
VraskThread::BuyItem(bool weapons)
{
	ItemFileReader itemFile(weapons ? kWeaponsFile : kArmorFile);
	if (itemFile.InitCheck() != B_OK) {
		// Without its item file the shop has nothing to list or to sell.
		SendString("\nThe blacksmith's shop is closed today.");
		return;
	}

	int32 strength = weapons ? fPlayer.GetWeaponStr() : fPlayer.GetArmorStr();
	BlacksmithShop shop(
		weapons ? BlacksmithShop::Kind::kWeapons : BlacksmithShop::Kind::kArmor,
		strength, itemFile.ReadCount());

	ItemNames names;
	BString line;
	for (int32 number = 1; number <= shop.Limit(); number++) {
		if (!itemFile.ReadName(&line)) {
			shop.ItemsEndedAt(number - 1);
			break;
		}
		names.Add(line);
		if (!shop.IsShown(number))
			continue;

		SendString("\n(");
		SendNumber(number);
		SendString(") ");
		SendString(line);
		SendString(" : ");
		BString price;
		price << shop.ListingPrice(number - 1);
		SendString(price);
		if (shop.IsCurrent(number))
			SendString(" *** ");
	}
	// The file is not needed while the player thinks it over.
	itemFile.Close();

	SendString("\n\nWhich would you like to buy?");
	long choice = strtol(GetString().String(), NULL, 10);
	switch (shop.Judge(choice)) {
		case BlacksmithShop::Verdict::kNoSuchItem:
			SendString("???");
			return;
		case BlacksmithShop::Verdict::kNotBetter:
			SendString("\nYou don't really want that one.  You've got a better "
				"one!");
			return;
		case BlacksmithShop::Verdict::kBeyondAnyPurse:
			// No character can carry that much gold, so the answer is the
			// one every player short of the price hears.
			SendString("\nYou don't have that kind of cash!");
			return;
		case BlacksmithShop::Verdict::kOffer:
			break;
	}

	int32 number = int32(choice);
	int32 price = int32(shop.Price(number));
	// The gold goes before the player confirms, and comes back if they
	// decline; a hang-up in between ends the session unsaved, so the file
	// keeps the gold.
	if (!fPlayer.SpendGold(price)) {
		SendString("\nYou don't have that kind of cash!");
		return;
	}

	const BString& name = names.NameOf(number);
	SendString("\nAre you sure you want to buy that ");
	SendString(name);
	SendString("? (y/n) ");
	char key = GetChar();
	if (key == 'y' || key == 'Y') {
		if (weapons)
			fPlayer.SetWeapon(name, number);
		else
			fPlayer.SetArmor(name, number);
		SendString("\nThanks for buying that old ");
		SendString(name);
		SendString(".  I didn't want it anyway.");
	} else {
		SendString("\nThen why did you ask for it in the first place?");
		fPlayer.AddGold(price);
	}
}
