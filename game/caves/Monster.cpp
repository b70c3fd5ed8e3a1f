#include "Monster.h"

#include "DataFileLog.h"
#include "DataLineReader.h"
#include "GameLimits.h"
#include "VraskPaths.h"

#include <File.h>

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

// Out of 100: a roll of this or less draws from the level above, one of
// this or more from the level below.
const int32 kLevelRollRange = 100;
const int32 kShallowerRoll = 4;
const int32 kDeeperRoll = 98;
// One draw in this many is a special event.
const int32 kSpecialEventOdds = 15;

// A monster line: six fields ended by a comma, the last by the line feed.
const int kMonsterFieldCount = 7;


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


// Tells the log what is wrong where the reader stands, and gives the status
// the draw fails with: the read's error, or bad data.
status_t
Broken(const BString& section, const DataLineReader& reader,
	DataLineReader::Result read, const BString& problem)
{
	BString text;
	switch (read) {
		case DataLineReader::Result::kTooLong:
			text << "the line is longer than " << DataLineReader::kLongestLine
				<< " bytes";
			break;
		case DataLineReader::Result::kError:
			text << "cannot be read: " << strerror_status(reader.Error());
			break;
		case DataLineReader::Result::kCutOff:
			text << problem << " (the file ends inside the line)";
			break;
		case DataLineReader::Result::kLine:
		case DataLineReader::Result::kEnd:
			text = problem;
			break;
	}
	DataFileLog::ReportBroken(section, kMonstersFile, reader.LineNumber(),
		text);
	return read == DataLineReader::Result::kError ? reader.Error() : B_BAD_DATA;
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
	fHP = ClampedToInt32((int64)fHP - damage);
	return damage;
}


// Every step to a neighbouring level rolls again, so a monster can wander
// up or down several levels, with ever smaller odds.
void
CMonster::DrawFromLevel(int caveLevel)
{
	for (;;) {
		int32 roll = rand() % kLevelRollRange;
		if (roll <= kShallowerRoll && caveLevel > kShallowestCaveLevel)
			caveLevel--;
		else if (roll >= kDeeperRoll && caveLevel < kDeepestCaveLevel)
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
// fightable monster was read. A file that cannot give one is told to the
// door's log, once for each section, until it gives one again.
status_t
CMonster::ReadFromFile(int caveLevel)
{
	if (caveLevel < kShallowestCaveLevel)
		return B_BAD_VALUE;

	BString section(kMonstersFile);
	section << "#" << (int32)caveLevel;

	BFile file(kMonstersFile, B_READ_ONLY);
	status_t status = file.InitCheck();
	if (status != B_OK) {
		DataFileLog::ReportBroken(section, kMonstersFile, 0,
			BString("cannot be opened: ") << strerror_status(status));
		return status;
	}

	DataLineReader reader(file);
	for (int32 sections = 0; sections < caveLevel; sections++) {
		DataLineReader::Result result = reader.SkipPast('#');
		if (result != DataLineReader::Result::kLine) {
			BString problem;
			problem << "it has " << sections << " cave level sections, "
				"and cave level " << (int32)caveLevel << " needs its own";
			return Broken(section, reader, result, problem);
		}
	}

	std::string line;
	DataLineReader::Result result = reader.ReadLine(&line);
	if (result != DataLineReader::Result::kLine) {
		return Broken(section, reader, result,
			"the header of the section ends with the file");
	}
	int32 count = DataLineReader::NumberOf(line.c_str());
	if (count < 1) {
		return Broken(section, reader, DataLineReader::Result::kLine,
			BString("the section of cave level ") << (int32)caveLevel
				<< " counts no monster");
	}

	// The section's monsters follow its header; the skip draws which one.
	int32 skip = rand() % count;
	for (int32 index = 0; index <= skip; index++) {
		result = reader.ReadLine(&line);
		if (result != DataLineReader::Result::kLine) {
			return Broken(section, reader, result,
				BString("the section of cave level ") << (int32)caveLevel
					<< " ends before its monster " << index + 1 << " of "
					<< count);
		}
	}

	std::string fields[kMonsterFieldCount];
	SplitFields(line, fields);
	int32 hitPoints = DataLineReader::NumberOf(fields[2].c_str());
	int32 strength = DataLineReader::NumberOf(fields[3].c_str());
	int32 defense = DataLineReader::NumberOf(fields[4].c_str());
	// Strength and defense divide the rolls of every blow, and a monster
	// without hit points could not be fought.
	if (hitPoints < 1 || strength < 1 || defense < 1) {
		return Broken(section, reader, DataLineReader::Result::kLine,
			"the monster has no hit points, strength or defense of 1 or more");
	}

	DataFileLog::ReportSound(section);
	fName = fields[0].c_str();
	fAttack = fields[1].c_str();
	fHP = hitPoints;
	fStr = strength;
	fDef = defense;
	fXP = DataLineReader::NumberOf(fields[5].c_str());
	fGold = DataLineReader::NumberOf(fields[6].c_str());
	return B_OK;
}

