// Feeds arbitrary bytes to the door as its weapons and armor files, through
// a whole visit to the blacksmith: a real session of the game, in this
// process, against a host that types the keys of the visit. The first four
// bytes choose the items asked for and the strength of the player's own
// weapon and armor; the rest is both item files. Nothing may crash, hang or
// leak, and the visit ends as the player quits.
#include "VraskPaths.h"

#include <FuzzHost.h>
#include <FuzzVolume.h>

#include <stdint.h>
#include <string>


static const char* const kUser = "Fuzz";
static FuzzHost* sHost = nullptr;


static std::string
PlayerFile(int32 weaponStrength, int32 armorStrength)
{
	// Rich, and stored "today" far ahead, so that no daily reset happens.
	std::string file = "Fuzz\nOld Sword\nOld Mail\n";
	file += std::to_string(weaponStrength) + "\n";
	file += std::to_string(armorStrength) + "\n";
	file += "2000000000\n10\n10\n1\n0\n7\n7\n15\n99991231\n";
	return file;
}


extern "C" int
LLVMFuzzerInitialize(int*, char***)
{
	FuzzVolume::Prepare();
	FuzzVolume::MakeFolder(kUsersFolder);
	sHost = FuzzHost::Start("ItemFileFuzzer");
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 4)
		return 0;
	std::string player = PlayerFile(data[2] % 32, data[3] % 32);
	FuzzVolume::WriteFile(kUsersFolder "Fuzz", player.data(), player.size());
	FuzzVolume::WriteFile(kWeaponsFile, data + 4, size - 4);
	FuzzVolume::WriteFile(kArmorFile, data + 4, size - 4);

	// To the smithy; a weapon, yes; an armor, yes; and home.
	std::string keys = "bw" + std::to_string(int(data[0] % 32) - 1) + "\ny"
		+ "a" + std::to_string(int(data[1] % 32) - 1) + "\nyq";
	sHost->PlayGame(kUser, keys);
	return 0;
}
