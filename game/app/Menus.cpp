#include "VraskThread.h"

#include <math.h>

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


void
VraskThread::Menu()
{
	switch (LocationOf(fPlayer.GetLocation())) {
		case Location::kTown:
			SendString("\n  Town command menu:");
			SendString("\n (C)aves");
			SendString("\n (B)lacksmith");
			SendString("\n (H)ealer's Hut");
			SendString("\n (S)tatus");
			SendString("\n (W)all of Fame");
			SendString("\n (Q)uit");
			SendString("\n");
			break;

		case Location::kCaves:
			SendString("\n  Caves command menu:");
			SendString("\n (F)ind a beastie");
			// Only the ways that lead somewhere are offered.
			if (fPlayer.GetCaveLevel() != kShallowestCaveLevel)
				SendString("\n (U)p a cave level");
			if (fPlayer.GetCaveLevel() != kDeepestCaveLevel)
				SendString("\n (D)own a cave level");
			SendString("\n (T)own");
			SendString("\n (S)tatus");
			SendString("\n (Q)uit");
			SendString("\n");
			break;

		case Location::kBlacksmith:
			SendString("\n (W)eapons");
			SendString("\n (A)rmor");
			SendString("\n (S)tatus");
			SendString("\n (T)own");
			SendString("\n (Q)uit");
			SendString("\n");
			break;

		case Location::kHealers:
			SendString("\n (H)eal one");
			SendString("\n (A)ll healed");
			SendString("\n (S)tatus");
			SendString("\n (T)own");
			SendString("\n (Q)uit");
			SendString("\n\nCurrent Pricing: ");
			SendNumber(HealersHut::QuotedPricePerPoint(fPlayer));
			SendString("/HP.");
			SendString("\n");
			break;

		case Location::kNowhere:
			break;
	}
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
