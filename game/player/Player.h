#pragma once

#include <String.h>

#include "GameLimits.h"

// The character of one user, with the game's rules for it. A record belongs
// to one session thread; nothing in it is locked. Every rule takes the
// record as it stands, including values a tampered player file may hold: a
// divisor below 1 counts as 1 and growth stops at the limits of int32, so
// no file can crash the door that serves every user. The rules never touch
// the host or the disk; only LoadPlayer and SavePlayer do.
class CPlayer {
public:
								CPlayer();
	virtual						~CPlayer();

	// Names and places
			BString				GetName() const;
			void				SetName(BString name);
			BString				GetLocation() const;
			void				SetLocation(BString location);

	// Equipment
			BString				GetWeapon() const;
			BString				GetArmor() const;
			int					GetWeaponStr() const;
			int					GetArmorStr() const;
			void				SetWeapon(BString name, int strength);
			void				SetArmor(BString name, int strength);

	// Vital statistics
			int					GetHP() const;
			int					GetMaxHP() const;
			int					GetLevel() const;
			int					GetXP() const;
			int					GetStr() const;
			int					GetDef() const;
			void				AddStr(int n);
			void				AddDef(int n);
			int					IsHitBy(int strength);
			bool				Damaged(int n);
			int					Heal(int n);
			bool				AddXP(int n);
			void				LevelUp();

	// Gold
			int					GetBalance() const;
			void				AddGold(int n);
	[[nodiscard]]	bool		SpendGold(int n);

	// Daily fights and the caves
			int					GetFights() const;
	[[nodiscard]]	bool		Fights();
			void				AddFights(int n);
			int					GetCaveLevel() const;
			void				GoDown();
			void				GoUp();
			int					GetLastDay() const;
			// The daily reset: full hit points, dead or not, and the day's
			// fights. The first load of a new day makes it.
			void				StartNewDay(int today);

	// The player file
			bool				LoadPlayer(BString userName);
			// False when the record could not be put on the disk (a full
			// disk, a write error); the player file then keeps the record
			// it held. Where no player file can be (a name that names no
			// file, no users folder) nothing is written and the result is
			// true, as nothing was lost that the game ever kept.
			bool				SavePlayer(BString userName);
	// Removes the temporary files of saves that were cut off (a door killed
	// in the middle of a save). Only while no save can be running: when the
	// door starts, holding its signature.
	static	void				ClearUnfinishedSaves();

	// Today's day number, yyyymmdd of the local date.
	static	int					Today();

	// Growth in powers of two: 2 raised to exponent, truncated, and held at
	// INT32_MAX where it would pass it (an exponent of 31 or more).
	static	int					PowerOfTwo(int exponent);

private:
			BString				fLocation = "Town";
			BString				fName;
			BString				fWeapon = "Moderately Sharp Playing Card";
			BString				fArmor = "T-Shirt and Jeans";
			int32				fWeaponStr = 1;
			int32				fArmorStr = 1;
			int32				fGold = 0;
			int32				fMaxHP = 10;
			int32				fHP = 10;
			int32				fLevel = 1;
			int32				fXP = 0;
			int32				fStr = 7;
			int32				fDef = 7;
			int32				fCaveLevel = 1;
			int32				fFights = kDailyFightAllowance;
			int32				fLastDay = 0;
};
