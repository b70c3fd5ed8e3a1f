#include "VraskThread.h"

#include <math.h>

#include "Commands.h"
#include "GameLimits.h"
#include "HealersHut.h"
#include "Location.h"


// 2 raised to the exponent, truncated toward zero, as every growth in the
// game is counted. A player file can hold any exponent; one of 31 or more
// does not fit an int32 and is shown as the largest one there is, rather
// than converted into undefined behaviour.
static int32
PowerOfTwo(double exponent)
{
	return TruncatedToInt32(pow(2.0, exponent));
}


void
VraskThread::SendNumber(int32 number)
{
	BString text;
	text << number;
	SendString(text);
}


// The commands of the player's place that lead somewhere from here, in the
// table's order; the healer's menu also quotes the sign's price.
void
VraskThread::Menu()
{
	Location location = LocationOf(fPlayer.GetLocation());
	const PlaceCommands* place = CommandsAt(location);
	if (place == NULL)
		return;

	if (place->menuHeading != NULL)
		SendString(place->menuHeading);
	for (int32 i = 0; i < place->count; i++) {
		const Command& command = place->commands[i];
		if (!command.IsBlocked(fPlayer.GetCaveLevel()))
			SendString(command.menuLine);
	}
	if (location == Location::kHealers) {
		SendString("\n\nCurrent Pricing: ");
		SendNumber(HealersHut::QuotedPricePerPoint(fPlayer));
		SendString("/HP.");
	}
	SendString("\n");
}


void
VraskThread::Status()
{
	SendString("\nStatus for [");
	SendString(CharacterName());
	SendString("]:");
	SendString("\n Level: ");
	SendNumber(fPlayer.GetLevel());
	SendString("\n HP: ");
	SendNumber(fPlayer.GetHP());
	SendString("/");
	SendNumber(fPlayer.GetMaxHP());
	SendString("\n XP: ");
	SendNumber(fPlayer.GetXP());
	SendString("/");
	// The mark the experience must pass for the next level.
	SendNumber(PowerOfTwo((double)fPlayer.GetLevel() + 4));
	SendString("\n Str:");
	SendNumber(fPlayer.GetStr());
	SendString(" + ");
	SendNumber(PowerOfTwo(fPlayer.GetWeaponStr()));
	SendString(" Def: ");
	SendNumber(fPlayer.GetDef());
	SendString(" + ");
	SendNumber(PowerOfTwo(fPlayer.GetArmorStr()));
	SendString("\n Weapon: ");
	SendString(fPlayer.GetWeapon());
	SendString("\n Armor: ");
	SendString(fPlayer.GetArmor());
	SendString("\n Gold: ");
	SendNumber(fPlayer.GetBalance());
	SendString("\n Cave Fights left for today: ");
	SendNumber(fPlayer.GetFights());
	SendString("\n");
}
