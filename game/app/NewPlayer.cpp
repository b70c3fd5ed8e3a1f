#include "VraskThread.h"

#include <stdint.h>


static const int32 kStartingGold = 100;


void
VraskThread::NewPlayer()
{
	SendString("\n\nIt looks like you're new here.\n");

	BString name;
	while (true) {
		SendString("\nWhat name would you like? [");
		SendString(fUserName);
		SendString("] : ");

		name = GetString();
		if (name.Length() == 0)
			name = fUserName;

		SendString("\n[");
		SendString(name);
		SendString("] is this correct?");

		char answer = GetChar();
		if (answer == 'y' || answer == 'Y')
			break;
	}

	fPlayer.SetName(name);
	fPlayer.AddGold(kStartingGold);
}


void
VraskThread::Heal(int32 count)
{
	// A record fuller than full (a tampered player file) needs no healing
	// either; selling it a negative number of points would pay the player.
	if (fPlayer.GetHP() >= fPlayer.GetMaxHP()) {
		SendString("\n You are not in need of healing currently.");
		return;
	}
	if (count < 0)
		count = 0;

	// The price is worked out wide: the level and the count of a tampered
	// player file may multiply past an int32. A level below zero heals for
	// nothing, as the lowest levels do, rather than paying the player.
	int64 pricePerPoint = fPlayer.GetLevel() / 5;
	if (pricePerPoint < 0)
		pricePerPoint = 0;
	int64 price = pricePerPoint * count;

	// No purse holds more than an int32, so a larger price is refused.
	if (price <= INT32_MAX && fPlayer.SpendGold((int32)price)) {
		fPlayer.Heal(count);
		SendString("\nHealed ");
		SendNumber(count);
		SendString(" HP for ");
		SendNumber((int32)price);
		SendString(" gold.");
		return;
	}

	BString priceText;
	priceText << price;
	SendString("\nYou don't appear to have ");
	SendString(priceText);
	SendString(" gold right now.");
}
