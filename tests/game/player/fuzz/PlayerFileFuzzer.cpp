// Feeds arbitrary bytes to the door as a user's player file, through the
// game's own loader. Nothing may crash, hang or leak, and a record that
// loads must survive a save: saved and loaded again, it is the same record.
#include "Player.h"
#include "VraskPaths.h"

#include <FuzzVolume.h>

#include <stdint.h>
#include <stdlib.h>


static const char* const kUser = "Fuzz";


static bool
SameRecord(const CPlayer& a, const CPlayer& b)
{
	return a.GetName() == b.GetName() && a.GetWeapon() == b.GetWeapon()
		&& a.GetArmor() == b.GetArmor()
		&& a.GetWeaponStr() == b.GetWeaponStr()
		&& a.GetArmorStr() == b.GetArmorStr()
		&& a.GetBalance() == b.GetBalance() && a.GetMaxHP() == b.GetMaxHP()
		&& a.GetHP() == b.GetHP() && a.GetLevel() == b.GetLevel()
		&& a.GetXP() == b.GetXP() && a.GetStr() == b.GetStr()
		&& a.GetDef() == b.GetDef() && a.GetFights() == b.GetFights()
		&& a.GetLastDay() == b.GetLastDay();
}


extern "C" int
LLVMFuzzerInitialize(int*, char***)
{
	FuzzVolume::Prepare();
	FuzzVolume::MakeFolder(kUsersFolder);
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	FuzzVolume::WriteFile(kUsersFolder "Fuzz", data, size);

	CPlayer player;
	if (!player.LoadPlayer(kUser))
		return 0;

	// The rules take whatever the file held.
	player.IsHitBy(player.GetStr());
	player.Heal(player.GetMaxHP());
	player.AddXP(player.GetLevel());

	player.SavePlayer(kUser);
	CPlayer again;
	if (!again.LoadPlayer(kUser) || !SameRecord(player, again))
		abort();
	return 0;
}
