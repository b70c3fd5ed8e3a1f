// The player file: 14 lines of text in the users folder, named after the
// user as the host knows them. A user name becomes a file name in the users
// folder as it is, so only a name that the board's rule accepts (one plain
// name, short and printable) reaches a file: anything else could name the
// folder itself, a folder above it or a file elsewhere.

#include "Player.h"

#include <AtomicSave.h>
#include <BootVolume.h>
#include <Directory.h>
#include <Entry.h>
#include <File.h>
#include <OS.h>

#include <ZenboUserName.h>

#include <string>

#include "DataFileLog.h"
#include "DataLineReader.h"
#include "GameLimits.h"
#include "VraskPaths.h"

// Saves are written here first and then renamed over the player file, so
// that the Wall of Fame, which lists the users folder, never meets a file
// half written. It lies beside the users folder, on the same volume, since
// a rename cannot cross volumes.
#define kSavingFolder		kVraskFolder ".saving/"

namespace {

const int kPlayerFileLines = 14;

BString
NumberLine(int32 value)
{
	BString line;
	line << value;
	return line;
}

}	// namespace


bool
CPlayer::LoadPlayer(BString userName)
{
	if (!IsValidUserName(userName))
		return false;

	BString path(kUsersFolder);
	path << userName;
	BFile file(path.String(), B_READ_ONLY);
	if (file.InitCheck() != B_OK) {
		// A link, a fifo or a folder in the place of a player file is never
		// read nor written through; the user plays a new character, and
		// the sysop learns why an old one did not come back.
		if (file.InitCheck() != B_ENTRY_NOT_FOUND) {
			DataFileLog::ReportBroken(path, path.String(), 0,
				BString("cannot be opened: ")
					<< strerror_status(file.InitCheck())
					<< "; the user starts a new character");
		}
		return false;
	}
	DataFileLog::ReportSound(path);

	// A file that ends before its last line feed is no player's: a record
	// made of part of a file and part of whatever the record held before
	// would be nobody's. Nor is one with a line longer than any record
	// holds, which is not read to its end. Such a file leaves the record as
	// it was.
	DataLineReader reader(file);
	BString lines[kPlayerFileLines];
	std::string line;
	for (int i = 0; i < kPlayerFileLines; i++) {
		if (reader.ReadLine(&line) != DataLineReader::Result::kLine)
			return false;
		lines[i].SetTo(line.c_str());
	}

	fName = lines[0];
	fWeapon = lines[1];
	fArmor = lines[2];
	fWeaponStr = DataLineReader::NumberOf(lines[3].String());
	fArmorStr = DataLineReader::NumberOf(lines[4].String());
	fGold = DataLineReader::NumberOf(lines[5].String());
	fMaxHP = DataLineReader::NumberOf(lines[6].String());
	fHP = DataLineReader::NumberOf(lines[7].String());
	fLevel = DataLineReader::NumberOf(lines[8].String());
	fXP = DataLineReader::NumberOf(lines[9].String());
	fStr = DataLineReader::NumberOf(lines[10].String());
	fDef = DataLineReader::NumberOf(lines[11].String());
	fFights = DataLineReader::NumberOf(lines[12].String());
	fLastDay = DataLineReader::NumberOf(lines[13].String());

	// The first load of a new day brings the character back to full health,
	// dead or not, and gives it the day's fights. The file learns of it at
	// the next save.
	int today = Today();
	if (fLastDay < today)
		StartNewDay(today);
	return true;
}


bool
CPlayer::SavePlayer(BString userName)
{
	// A name that names no player file, and a volume without a users
	// folder, keep no player at all: nothing is written and, the game
	// having never kept one there, nothing is reported.
	if (!IsValidUserName(userName))
		return true;
	BEntry usersFolder(kUsersFolder, true);
	if (!usersFolder.IsDirectory())
		return true;

	BString playerPath(kUsersFolder);
	playerPath << userName;

	const BString lines[kPlayerFileLines] = {
		fName,
		fWeapon,
		fArmor,
		NumberLine(fWeaponStr),
		NumberLine(fArmorStr),
		NumberLine(fGold),
		NumberLine(fMaxHP),
		NumberLine(fHP),
		NumberLine(fLevel),
		NumberLine(fXP),
		NumberLine(fStr),
		NumberLine(fDef),
		NumberLine(fFights),
		NumberLine(fLastDay),
	};
	std::string record;
	for (const BString& line : lines) {
		record.append(line.String(), (size_t)line.Length());
		record += '\n';
	}

	// The new record is written whole under a temporary name in the saving
	// folder, put on the disk and renamed over the player file in one step:
	// a reader meets the old record or the new one, never an empty or
	// partial file, and a save killed half way or refused by a full disk
	// leaves the old record in place. The sessions' saves share their syncs,
	// and a record the file holds already is not written again.
	return save_file_atomically(playerPath.String(), kSavingFolder,
		record.data(), record.size()) == B_OK;
}


/*static*/ void
CPlayer::ClearUnfinishedSaves()
{
	// Every save renames or removes its temporary file before it returns,
	// so whatever is left here belongs to a door that was killed mid-save
	// and holds no record that a player file lacks.
	BDirectory saving(kSavingFolder);
	if (saving.InitCheck() != B_OK)
		return;

	BEntry entry;
	while (saving.GetNextEntry(&entry, false) == B_OK) {
		if (entry.IsFile())
			entry.Remove();
	}
}
