#include "Commands.h"

#include "GameLimits.h"


namespace {

const Command kTownCommands[] = {
	{'C', "aves", "\n (C)aves", CommandAction::kGoToCaves},
	{'B', "lacksmith", "\n (B)lacksmith", CommandAction::kGoToBlacksmith},
	{'H', "ealer", "\n (H)ealer's Hut", CommandAction::kGoToHealers},
	{'S', "tatus", "\n (S)tatus", CommandAction::kStatus},
	{'W', "all of Fame", "\n (W)all of Fame", CommandAction::kWallOfFame},
	{'Q', "uit", "\n (Q)uit", CommandAction::kQuit},
};

const Command kCavesCommands[] = {
	{'F', "ind a beastie", "\n (F)ind a beastie", CommandAction::kFight},
	{'U', "p to the next cave level.", "\n (U)p a cave level",
		CommandAction::kGoUp, kShallowestCaveLevel,
		"\bYou are on the top level already!"},
	{'D', "own to the next cave level.", "\n (D)own a cave level",
		CommandAction::kGoDown, kDeepestCaveLevel,
		"\bYou're at the bottom already!"},
	{'T', "own", "\n (T)own", CommandAction::kGoToTown},
	{'S', "tatus", "\n (S)tatus", CommandAction::kStatus},
	{'Q', "uit", "\n (Q)uit", CommandAction::kQuit},
};

const Command kBlacksmithCommands[] = {
	{'W', "\bPurchase Weapon", "\n (W)eapons", CommandAction::kBuyWeapon},
	{'A', "\bPurchase Armor", "\n (A)rmor", CommandAction::kBuyArmor},
	{'S', "tatus", "\n (S)tatus", CommandAction::kStatus},
	{'T', "\bReturn to Town", "\n (T)own", CommandAction::kGoToTown},
	{'Q', "uit", "\n (Q)uit", CommandAction::kQuit},
};

const Command kHealersCommands[] = {
	{'H', "eal 1 hp.", "\n (H)eal one", CommandAction::kHealOne},
	{'A', "\bHeal All.", "\n (A)ll healed", CommandAction::kHealAll},
	{'S', "tatus", "\n (S)tatus", CommandAction::kStatus},
	{'T', "\bReturn to Town", "\n (T)own", CommandAction::kGoToTown},
	{'Q', "uit", "\n (Q)uit", CommandAction::kQuit},
};

template<int32 count>
constexpr PlaceCommands
Place(const char* heading, const Command (&commands)[count])
{
	return PlaceCommands{heading, commands, count};
}

const PlaceCommands kTown = Place("\n  Town command menu:", kTownCommands);
const PlaceCommands kCaves = Place("\n  Caves command menu:", kCavesCommands);
const PlaceCommands kBlacksmith = Place(NULL, kBlacksmithCommands);
const PlaceCommands kHealers = Place(NULL, kHealersCommands);

}	// namespace


const Command*
PlaceCommands::Find(char key) const
{
	char command = CommandOf(key);
	for (int32 i = 0; i < count; i++) {
		if (commands[i].key == command)
			return &commands[i];
	}
	return NULL;
}


const PlaceCommands*
CommandsAt(Location location)
{
	switch (location) {
		case Location::kTown:
			return &kTown;
		case Location::kCaves:
			return &kCaves;
		case Location::kBlacksmith:
			return &kBlacksmith;
		case Location::kHealers:
			return &kHealers;
		case Location::kNowhere:
			break;
	}
	return NULL;
}
