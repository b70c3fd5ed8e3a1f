#pragma once

#include <String.h>

#define kSpecialEventName	"***SPECIAL EVENT***"

// The final monster, fought only at the bottom of the caves; it never comes
// from the monsters file.
#define kFinalMonsterLevel	(-1)

// The opponent of one fight, drawn for a cave level from the monsters file
// (read afresh for every fight), or the final monster, or the marker of a
// special event. It lives on the session thread for the one fight that
// made it, and nothing of it is kept afterwards.
//
// The monsters file is data that an operator edits by hand. When it cannot
// give a monster that can be fought (a missing or unreadable file, a level
// without its section, a section that ends too soon, a count below 1, a
// monster without strength, defense or hit points), GetMonster leaves an
// error in InitCheck instead of an opponent that would divide by zero or
// never die; the fight then tells the player that the caves are closed, and
// the door's log is told which line of the file is wrong. A line longer than
// any monster's is such a fault too, so no file can make a draw slow.
class CMonster {
public:
								CMonster();
	virtual						~CMonster();

	// Drawing
			void				GetMonster(int caveLevel);
			// B_OK once GetMonster gave a monster or the special-event
			// marker; B_NO_INIT before; otherwise why the caves could not
			// give one.
	[[nodiscard]] status_t		InitCheck() const;
			bool				IsSpecialEvent() const;

	// The monster's values
			BString				GetName() const;
			BString				GetAttack() const;
			int					GetHP() const;
			int					GetStr() const;
			int					GetDef() const;
			int					GetXP() const;
			int					GetGold() const;

	// Damage
			int					IsHitBy(int power);

private:
			void				DrawFromLevel(int caveLevel);
			status_t			ReadFromFile(int caveLevel);

			BString				fName;
			BString				fAttack;
			int32				fStr = 0;
			int32				fDef = 0;
			int32				fXP = 0;
			int32				fGold = 0;
			int32				fHP = 0;
			status_t			fStatus = B_NO_INIT;
};
