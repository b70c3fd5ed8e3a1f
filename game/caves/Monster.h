#pragma once

#include <String.h>

#define kSpecialEventName	"***SPECIAL EVENT***"

// The opponent of one fight, drawn for a cave level from the monsters file
// (read afresh for every fight), or the final monster, or the marker of a
// special event.
class CMonster {
public:
								CMonster();
	virtual						~CMonster();

			void				GetMonster(int caveLevel);

			BString				GetName() const;
			BString				GetAttack() const;
			int					GetHP() const;
			int					GetStr() const;
			int					GetDef() const;
			int					GetXP() const;
			int					GetGold() const;

			int					IsHitBy(int power);

private:
			BString				fName;
			BString				fAttack;
			int32				fStr = 0;
			int32				fDef = 0;
			int32				fXP = 0;
			int32				fGold = 0;
			int32				fHP = 0;
};
