#include "VraskThread.h"

#include "Commands.h"
#include "HealersHut.h"
#include "Location.h"


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

	// The echoed key is completed into the word of its command, or "???"
	// for a key that selects nothing; outside the four places, not at all.
	const PlaceCommands* place = CommandsAt(LocationOf(fPlayer.GetLocation()));
	if (place != NULL) {
		const Command* command = place->Find(key);
		if (command == NULL)
			SendString("???");
		else if (command->IsBlocked(fPlayer.GetCaveLevel()))
			SendString(command->blockedCompletion);
		else
			SendString(command->completion);
	}
	return key;
}


void
VraskThread::ProcessCommand(char key)
{
	const PlaceCommands* place = CommandsAt(LocationOf(fPlayer.GetLocation()));
	if (place == NULL)
		return;

	const Command* command = place->Find(key);
	if (command == NULL) {
		Menu();
		return;
	}

	switch (command->action) {
		case CommandAction::kGoToTown:
			fPlayer.SetLocation("Town");
			return;
		case CommandAction::kGoToCaves:
			fPlayer.SetLocation("Caves");
			return;
		case CommandAction::kGoToBlacksmith:
			fPlayer.SetLocation("Blacksmith");
			return;
		case CommandAction::kGoToHealers:
			fPlayer.SetLocation("Healers");
			return;
		case CommandAction::kWallOfFame:
			WallOfFame();
			return;
		case CommandAction::kStatus:
			Status();
			return;
		case CommandAction::kQuit:
			fRunning = false;
			return;
		case CommandAction::kFight:
			Fight(false);
			return;
		case CommandAction::kGoUp:
			fPlayer.GoUp();
			return;
		case CommandAction::kGoDown:
			fPlayer.GoDown();
			return;
		case CommandAction::kBuyWeapon:
			BuyItem(true);
			return;
		case CommandAction::kBuyArmor:
			BuyItem(false);
			return;
		case CommandAction::kHealOne:
			Heal(1);
			return;
		case CommandAction::kHealAll:
			Heal(HealersHut::MissingHitPoints(fPlayer));
			return;
	}
}
