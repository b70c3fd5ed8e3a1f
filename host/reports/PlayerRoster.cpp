#include "PlayerRoster.h"

#include "Player.h"
#include "VraskPaths.h"

#include <BootVolume.h>
#include <Directory.h>
#include <Entry.h>
#include <ZenboUserName.h>

#include <string.h>
#include <sys/stat.h>

#include <algorithm>


status_t
FindRosterEntry(const BString& userName, RosterEntry* entry)
{
	if (!IsValidUserName(userName))
		return B_ENTRY_NOT_FOUND;
	BString bootPath(kUsersFolder);
	bootPath << userName;
	BEntry file(bootPath.String());
	if (!file.IsFile())
		return B_ENTRY_NOT_FOUND;

	CPlayer player;
	if (!player.LoadPlayer(userName))
		return B_ENTRY_NOT_FOUND;

	entry->userName = userName;
	entry->name = PrintableUserName(player.GetName());
	entry->level = player.GetLevel();
	entry->hp = player.GetHP();
	entry->maxHP = player.GetMaxHP();
	entry->gold = player.GetBalance();
	entry->weapon = PrintableUserName(player.GetWeapon());
	entry->armor = PrintableUserName(player.GetArmor());
	entry->lastPlayed = 0;
	BString path;
	struct stat info;
	if (resolve_boot_path(bootPath.String(), &path) == B_OK
		&& stat(path.String(), &info) == 0) {
		entry->lastPlayed = info.st_mtime;
	}
	return B_OK;
}


status_t
ReadRoster(std::vector<RosterEntry>* entries)
{
	entries->clear();
	BDirectory users(kUsersFolder);
	if (users.InitCheck() != B_OK)
		return B_ENTRY_NOT_FOUND;

	BEntry file;
	char fileName[B_FILE_NAME_LENGTH];
	while (users.GetNextEntry(&file, false) == B_OK) {
		if (!file.IsFile() || file.GetName(fileName) != B_OK)
			continue;
		RosterEntry entry;
		if (FindRosterEntry(BString(fileName), &entry) == B_OK)
			entries->push_back(entry);
	}
	std::sort(entries->begin(), entries->end(),
		[](const RosterEntry& a, const RosterEntry& b) {
			if (a.level != b.level)
				return a.level > b.level;
			return strcmp(a.name.String(), b.name.String()) < 0;
		});
	return B_OK;
}
