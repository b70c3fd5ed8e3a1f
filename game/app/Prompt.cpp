#include "VraskThread.h"

#include "GameLimits.h"
#include "HealersHut.h"
#include "Location.h"


// The text that completes the echoed key into the word of its command, or
// "???" for a key that selects nothing; NULL outside the four places. A
// completion that starts with a backspace overwrites the echo.
static const char*
CompletionOf(Location location, char key, int caveLevel)
{
	char command = CommandOf(key);

	switch (location) {
		case Location::kTown:
			switch (command) {
				case 'C': return "aves";
				case 'B': return "lacksmith";
				case 'H': return "ealer";
				case 'S': return "tatus";
				case 'W': return "all of Fame";
				case 'Q': return "uit";
			}
			return "???";

		case Location::kCaves:
			switch (command) {
				case 'F': return "ind a beastie";
				case 'U':
					if (caveLevel == kShallowestCaveLevel)
						return "\bYou are on the top level already!";
					return "p to the next cave level.";
				case 'D':
					if (caveLevel == kDeepestCaveLevel)
						return "\bYou're at the bottom already!";
					return "own to the next cave level.";
				case 'T': return "own";
				case 'S': return "tatus";
				case 'Q': return "uit";
			}
			return "???";

		case Location::kBlacksmith:
			switch (command) {
				case 'W': return "\bPurchase Weapon";
				case 'A': return "\bPurchase Armor";
				case 'T': return "\bReturn to Town";
				case 'S': return "tatus";
				case 'Q': return "uit";
			}
			return "???";

		case Location::kHealers:
			switch (command) {
				case 'H': return "eal 1 hp.";
				case 'A': return "\bHeal All.";
				case 'T': return "\bReturn to Town";
				case 'S': return "tatus";
				case 'Q': return "uit";
			}
			return "???";

		case Location::kNowhere:
			break;
	}
	return NULL;
}


char
VraskThread::Prompt()
{
	BString location = fPlayer.GetLocation();

	// The whole line goes to the host as one text.
	BString line("\n<");
	line << CharacterName() << " : " << location;
	if (LocationOf(location) == Location::kCaves)
		line << " " << (int32)fPlayer.GetCaveLevel();
	line << "> ";
	SendString(line);

	char key = GetChar();

	const char* completion = CompletionOf(LocationOf(fPlayer.GetLocation()),
		key, fPlayer.GetCaveLevel());
	if (completion != NULL)
		SendString(completion);

	return key;
}


void
VraskThread::ProcessCommand(char key)
{
	char command = CommandOf(key);

	switch (LocationOf(fPlayer.GetLocation())) {
		case Location::kTown:
			switch (command) {
				case 'C': fPlayer.SetLocation("Caves"); return;
				case 'B': fPlayer.SetLocation("Blacksmith"); return;
				case 'H': fPlayer.SetLocation("Healers"); return;
				case 'W': WallOfFame(); return;
				case 'S': Status(); return;
				case 'Q': fRunning = false; return;
			}
			Menu();
			return;

		case Location::kCaves:
			switch (command) {
				case 'F': Fight(false); return;
				case 'U': fPlayer.GoUp(); return;
				case 'D': fPlayer.GoDown(); return;
				case 'T': fPlayer.SetLocation("Town"); return;
				case 'S': Status(); return;
				case 'Q': fRunning = false; return;
			}
			Menu();
			return;

		case Location::kBlacksmith:
			switch (command) {
				case 'W': BuyItem(true); return;
				case 'A': BuyItem(false); return;
				case 'T': fPlayer.SetLocation("Town"); return;
				case 'S': Status(); return;
				case 'Q': fRunning = false; return;
			}
			Menu();
			return;

		case Location::kHealers:
			switch (command) {
				case 'H': Heal(1); return;
				case 'A': Heal(HealersHut::MissingHitPoints(fPlayer)); return;
				case 'T': fPlayer.SetLocation("Town"); return;
				case 'S': Status(); return;
				case 'Q': fRunning = false; return;
			}
			Menu();
			return;

		case Location::kNowhere:
			return;
	}
}
