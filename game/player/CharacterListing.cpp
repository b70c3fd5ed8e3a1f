#include "CharacterListing.h"

#include "Player.h"
#include "VraskPaths.h"

#include <BootVolume.h>
#include <Entry.h>
#include <ZenboUserName.h>

#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>


CharacterListing::CharacterListing(Detail detail)
	:
	fUsers(kUsersFolder),
	fDetail(detail)
{
	fStatus = fUsers.InitCheck() == B_OK ? B_OK : B_ENTRY_NOT_FOUND;
}


status_t
CharacterListing::InitCheck() const
{
	return fStatus;
}


bool
CharacterListing::GetNextCharacter(Character* character)
{
	if (fStatus != B_OK)
		return false;
	// A record of its own for each file: one that fails to load is passed
	// over, never shown with the values an earlier file left in it.
	BEntry entry;
	char fileName[B_FILE_NAME_LENGTH];
	while (fUsers.GetNextEntry(&entry, false) == B_OK) {
		if (!entry.IsFile() || entry.GetName(fileName) != B_OK)
			continue;
		BString userName(fileName);
		CPlayer record;
		if (!record.LoadPlayer(userName))
			continue;

		character->userName = userName;
		character->name = PrintableUserName(record.GetName());
		character->level = record.GetLevel();
		character->hp = record.GetHP();
		character->maxHP = record.GetMaxHP();
		character->gold = record.GetBalance();
		character->weapon = PrintableUserName(record.GetWeapon());
		character->armor = PrintableUserName(record.GetArmor());
		character->lastPlayed = 0;
		if (fDetail == Detail::kWithoutLastPlayed)
			return true;
		BString bootPath(kUsersFolder);
		bootPath << userName;
		BString path;
		struct stat info;
		if (resolve_boot_path(bootPath.String(), &path) == B_OK
			&& stat(path.String(), &info) == 0) {
			character->lastPlayed = info.st_mtime;
		}
		return true;
	}
	return false;
}


status_t
CharacterListing::ReadAll(std::vector<Character>* characters)
{
	characters->clear();
	CharacterListing listing;
	if (listing.InitCheck() != B_OK)
		return listing.InitCheck();
	Character character;
	while (listing.GetNextCharacter(&character))
		characters->push_back(character);
	std::sort(characters->begin(), characters->end(),
		[](const Character& a, const Character& b) {
			if (a.level != b.level)
				return a.level > b.level;
			return strcmp(a.name.String(), b.name.String()) < 0;
		});
	return B_OK;
}


status_t
CharacterListing::FindUserName(const BString& name, BString* userName)
{
	CharacterListing listing;
	if (listing.InitCheck() != B_OK)
		return B_ENTRY_NOT_FOUND;
	BEntry entry;
	char fileName[B_FILE_NAME_LENGTH];
	while (listing.fUsers.GetNextEntry(&entry, false) == B_OK) {
		if (!entry.IsFile() || entry.GetName(fileName) != B_OK)
			continue;
		if (strcasecmp(fileName, name.String()) == 0) {
			userName->SetTo(fileName);
			return B_OK;
		}
	}
	return B_ENTRY_NOT_FOUND;
}
