#include "Monster.h"

#include "VraskPaths.h"

#include <File.h>

#include <stdint.h>
#include <stdlib.h>

#include <string>


namespace {

// The final monster: the beast at the bottom of the caves.
const char* const kFinalName = "Giant Vrask Beastie";
const char* const kFinalAttack = "Giant Vrask Attack";
const int32 kFinalStrength = 20000;
const int32 kFinalDefense = 20000;
const int32 kFinalExperience = 1;
const int32 kFinalGold = 1;
const int32 kFinalHitPoints = 30000;

const int32 kShallowestLevel = 1;
const int32 kDeepestLevel = 10;

// Out of 100: a roll of this or less draws from the level above, one of
// this or more from the level below.
const int32 kLevelRollRange = 100;
const int32 kShallowerRoll = 4;
const int32 kDeeperRoll = 98;
// One draw in this many is a special event.
const int32 kSpecialEventOdds = 15;

// A monster line: six fields ended by a comma, the last by the line feed.
const int kMonsterFieldCount = 7;


// One byte of the file. At the end of the file the section or the line that
// was asked for is not there, which is bad data, not an I/O failure.
status_t
ReadByte(BFile& file, char* byte)
{
	ssize_t count = file.Read(byte, 1);
	if (count < 0)
		return (status_t)count;
	if (count == 0)
		return B_BAD_DATA;
	return B_OK;
}


// The bytes up to the next line feed, which is consumed and not kept. A line
// that the end of the file cuts off is incomplete and fails.
status_t
ReadLine(BFile& file, std::string* line)
{
	line->clear();
	for (;;) {
		char byte;
		status_t status = ReadByte(file, &byte);
		if (status != B_OK)
			return status;
		if (byte == '\n')
			return B_OK;
		*line += byte;
	}
}


// A decimal field as strtol reads it, held within int32 so that a number
// too long for a field does not come back as some other number.
int32
ParseNumber(const std::string& text)
{
	long value = strtol(text.c_str(), NULL, 10);
	if (value > INT32_MAX)
		return INT32_MAX;
	if (value < INT32_MIN)
		return INT32_MIN;
	return (int32)value;
}


// Splits a monster line at its first six commas; whatever follows the
// sixth, commas included, is the gold field. A line with fewer commas
// leaves the fields it lacks empty.
void
SplitFields(const std::string& line, std::string fields[kMonsterFieldCount])
{
	size_t start = 0;
	for (int i = 0; i < kMonsterFieldCount; i++) {
		if (start > line.size()) {
			fields[i].clear();
			continue;
		}
		size_t comma = i < kMonsterFieldCount - 1
			? line.find(',', start) : std::string::npos;
		if (comma == std::string::npos) {
			fields[i] = line.substr(start);
			start = line.size() + 1;
		} else {
			fields[i] = line.substr(start, comma - start);
			start = comma + 1;
		}
	}
}

}	// namespace


CMonster::CMonster()
{
}


CMonster::~CMonster()
{
}


void
CMonster::GetMonster(int caveLevel)
{
	if (caveLevel == kFinalMonsterLevel) {
		fName = kFinalName;
		fAttack = kFinalAttack;
		fStr = kFinalStrength;
		fDef = kFinalDefense;
		fXP = kFinalExperience;
		fGold = kFinalGold;
		fHP = kFinalHitPoints;
		fStatus = B_OK;
		return;
	}

	DrawFromLevel(caveLevel);
}


status_t
CMonster::InitCheck() const
{
	return fStatus;
}


bool
CMonster::IsSpecialEvent() const
{
	return fName == kSpecialEventName;
}


BString
CMonster::GetName() const
{
	return fName;
}


BString
CMonster::GetAttack() const
{
	return fAttack;
}


int
CMonster::GetHP() const
{
	return fHP;
}


int
CMonster::GetStr() const
{
	return fStr;
}


int
CMonster::GetDef() const
{
	return fDef;
}


int
CMonster::GetXP() const
{
	return fXP;
}


int
CMonster::GetGold() const
{
	return fGold;
}


int
CMonster::IsHitBy(int power)
{
	// Both rolls are drawn whatever the numbers, so that a blow always takes
	// the same draws. A blow without power, or a monster without defense (one
	// that was never drawn), rolls 0 instead of dividing by zero.
	int powerRoll = rand();
	int defenseRoll = rand();
	int32 damage = (power >= 1 ? powerRoll % power : 0)
		- (fDef >= 1 ? defenseRoll % fDef : 0);
	if (damage < 0)
		damage = 0;
	if (damage > 0)
		damage = rand() % damage;

	// A monster that is never killed must not wrap round to full health.
	int64 hitPoints = (int64)fHP - damage;
	fHP = hitPoints < INT32_MIN ? INT32_MIN : (int32)hitPoints;
	return damage;
}


// Every step to a neighbouring level rolls again, so a monster can wander
// up or down several levels, with ever smaller odds.
void
CMonster::DrawFromLevel(int caveLevel)
{
	for (;;) {
		int32 roll = rand() % kLevelRollRange;
		if (roll <= kShallowerRoll && caveLevel > kShallowestLevel)
			caveLevel--;
		else if (roll >= kDeeperRoll && caveLevel < kDeepestLevel)
			caveLevel++;
		else
			break;
	}

	if (rand() % kSpecialEventOdds == 0) {
		fName = kSpecialEventName;
		fStatus = B_OK;
		return;
	}

	fStatus = ReadFromFile(caveLevel);
}


// Reads the section of the cave level afresh, so that an edit of the file
// counts from the next fight on. The monster changes only when a whole,
// fightable monster was read.
status_t
CMonster::ReadFromFile(int caveLevel)
{
	if (caveLevel < kShallowestLevel)
		return B_BAD_VALUE;

	BFile file(kMonstersFile, B_READ_ONLY);
	status_t status = file.InitCheck();
	if (status != B_OK)
		return status;

	for (int32 sections = 0; sections < caveLevel;) {
		char byte;
		status = ReadByte(file, &byte);
		if (status != B_OK)
			return status;
		if (byte == '#')
			sections++;
	}

	std::string line;
	status = ReadLine(file, &line);
	if (status != B_OK)
		return status;
	int32 count = ParseNumber(line);
	if (count < 1)
		return B_BAD_DATA;

	for (int32 skip = rand() % count; skip > 0; skip--) {
		status = ReadLine(file, &line);
		if (status != B_OK)
			return status;
	}
	status = ReadLine(file, &line);
	if (status != B_OK)
		return status;

	std::string fields[kMonsterFieldCount];
	SplitFields(line, fields);
	int32 hitPoints = ParseNumber(fields[2]);
	int32 strength = ParseNumber(fields[3]);
	int32 defense = ParseNumber(fields[4]);
	// Strength and defense divide the rolls of every blow, and a monster
	// without hit points could not be fought.
	if (hitPoints < 1 || strength < 1 || defense < 1)
		return B_BAD_DATA;

	fName = fields[0].c_str();
	fAttack = fields[1].c_str();
	fHP = hitPoints;
	fStr = strength;
	fDef = defense;
	fXP = ParseNumber(fields[5]);
	fGold = ParseNumber(fields[6]);
	return B_OK;
}
