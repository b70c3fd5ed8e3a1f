// Feeds arbitrary bytes to the door as its monsters file, through the
// game's own catalogue: the first byte chooses the cave level and the draw,
// the rest is the file. Nothing may crash, hang or leak, and a monster that
// the catalogue gives can be fought: it has hit points, strength and
// defense, and it dies of enough blows.
#include "Monster.h"
#include "VraskPaths.h"

#include <FuzzVolume.h>

#include <stdint.h>
#include <stdlib.h>


extern "C" int
LLVMFuzzerInitialize(int*, char***)
{
	FuzzVolume::Prepare();
	FuzzVolume::MakeFolder(kVraskFolder);
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size == 0)
		return 0;
	// Levels 0 and 11 lie outside the caves, -1 is the final monster.
	int caveLevel = int(data[0] % 13) - 1;
	srand(data[0]);
	FuzzVolume::WriteFile(kMonstersFile, data + 1, size - 1);

	CMonster monster;
	monster.GetMonster(caveLevel);
	if (monster.InitCheck() != B_OK || monster.IsSpecialEvent())
		return 0;
	if (monster.GetHP() < 1 || monster.GetStr() < 1 || monster.GetDef() < 1)
		abort();
	monster.GetName();
	monster.GetAttack();
	monster.GetXP();
	monster.GetGold();
	for (int blow = 0; blow < 64 && monster.GetHP() > 0; blow++)
		monster.IsHitBy(INT32_MAX);
	return 0;
}
