#include "Player.h"

#include <OS.h>

#include <math.h>
#include <stdlib.h>
#include <time.h>

#include "GameLimits.h"

namespace {

// A remainder of rand() by a divisor that a tampered record may have left
// below 1; such a divisor counts as 1, which always leaves 0.
int32
Roll(int32 divisor)
{
	int32 draw = rand();
	if (divisor < 1)
		return 0;
	return draw % divisor;
}

}	// namespace


CPlayer::CPlayer()
	:
	fLastDay(Today())
{
}


CPlayer::~CPlayer()
{
}


BString
CPlayer::GetName() const
{
	return fName;
}


void
CPlayer::SetName(BString name)
{
	fName = name;
}


BString
CPlayer::GetLocation() const
{
	return fLocation;
}


void
CPlayer::SetLocation(BString location)
{
	fLocation = location;
}


BString
CPlayer::GetWeapon() const
{
	return fWeapon;
}


BString
CPlayer::GetArmor() const
{
	return fArmor;
}


int
CPlayer::GetWeaponStr() const
{
	return fWeaponStr;
}


int
CPlayer::GetArmorStr() const
{
	return fArmorStr;
}


void
CPlayer::SetWeapon(BString name, int strength)
{
	fWeapon = name;
	fWeaponStr = strength;
}


void
CPlayer::SetArmor(BString name, int strength)
{
	fArmor = name;
	fArmorStr = strength;
}


int
CPlayer::GetHP() const
{
	return fHP;
}


int
CPlayer::GetMaxHP() const
{
	return fMaxHP;
}


int
CPlayer::GetLevel() const
{
	return fLevel;
}


int
CPlayer::GetXP() const
{
	return fXP;
}


int
CPlayer::GetStr() const
{
	return fStr;
}


int
CPlayer::GetDef() const
{
	return fDef;
}


void
CPlayer::AddStr(int n)
{
	fStr = ClampedToInt32((int64)fStr + n);
}


void
CPlayer::AddDef(int n)
{
	fDef = ClampedToInt32((int64)fDef + n);
}


int
CPlayer::IsHitBy(int strength)
{
	// The three draws and the fourth are made whatever the divisors are, so
	// that a tampered record takes as many numbers from the program-wide
	// generator as a sound one. An attack below 1, a defense below 1 and an
	// armor factor below 1 (an armor strength below 0) each count as 1.
	int32 armorFactor = PowerOfTwo(fArmorStr);
	int64 damage = (int64)Roll(strength) - Roll(fDef) - Roll(armorFactor);
	if (damage < 0)
		damage = 0;
	if (damage != 0)
		damage = rand() % damage;

	fHP = ClampedToInt32((int64)fHP - damage);
	return (int)damage;
}


bool
CPlayer::Damaged(int n)
{
	fHP = ClampedToInt32((int64)fHP - n);
	return fHP > 0;
}


int
CPlayer::Heal(int n)
{
	int64 amount = (int64)fMaxHP - fHP;
	if (n < amount)
		amount = n;
	int32 before = fHP;
	fHP = ClampedToInt32(before + amount);
	return ClampedToInt32((int64)fHP - before);
}


bool
CPlayer::AddXP(int n)
{
	fXP = ClampedToInt32((int64)fXP + n);

	double threshold = pow(2.0, (double)fLevel + 4.0);
	if (threshold < (double)fXP) {
		LevelUp();
		return true;
	}
	return false;
}


void
CPlayer::LevelUp()
{
	fMaxHP = TruncatedToInt32(1.5 * fMaxHP);
	fHP = TruncatedToInt32(1.5 * fHP);
	fStr = ClampedToInt32((int64)fStr + fLevel);
	fDef = ClampedToInt32((int64)fDef + fLevel);
	fLevel = ClampedToInt32((int64)fLevel + 1);
}


int
CPlayer::GetBalance() const
{
	return fGold;
}


void
CPlayer::AddGold(int n)
{
	fGold = ClampedToInt32((int64)fGold + n);
}


bool
CPlayer::SpendGold(int n)
{
	if (n > fGold)
		return false;

	fGold = ClampedToInt32((int64)fGold - n);
	return true;
}


int
CPlayer::GetFights() const
{
	return fFights;
}


bool
CPlayer::Fights()
{
	int64 left = (int64)fFights - 1;
	if (left >= 0) {
		fFights = (int32)left;
		return true;
	}
	fFights = 0;
	return false;
}


void
CPlayer::AddFights(int n)
{
	fFights = ClampedToInt32((int64)fFights + n);
}


int
CPlayer::GetCaveLevel() const
{
	return fCaveLevel;
}


void
CPlayer::GoDown()
{
	fCaveLevel += 1;
	if (fCaveLevel > kDeepestCaveLevel)
		fCaveLevel = kDeepestCaveLevel;
}


void
CPlayer::GoUp()
{
	fCaveLevel -= 1;
	if (fCaveLevel < kShallowestCaveLevel)
		fCaveLevel = kShallowestCaveLevel;
}


int
CPlayer::GetLastDay() const
{
	return fLastDay;
}


void
CPlayer::StartNewDay(int today)
{
	fHP = fMaxHP;
	fFights = kDailyFightAllowance;
	fLastDay = today;
}


/*static*/ int
CPlayer::Today()
{
	// Many session threads ask at once, so the broken-down time is kept in
	// this call's own buffer. The time zone is read once for the process,
	// before the first day is worked out: reading it again on every call
	// would rewrite the C library's zone while other sessions use it.
	static const bool sZoneRead = (tzset(), true);
	(void)sZoneRead;

	time_t now = (time_t)real_time_clock();
	struct tm local;
	if (localtime_r(&now, &local) == NULL)
		return 0;

	char text[16];
	if (strftime(text, sizeof(text), "%Y%m%d", &local) == 0)
		return 0;
	return (int)strtol(text, NULL, 10);
}


/*static*/ int
CPlayer::PowerOfTwo(int exponent)
{
	return TruncatedToInt32(pow(2.0, exponent));
}
