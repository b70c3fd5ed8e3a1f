#include "VraskThread.h"

#include <ZenboUserName.h>

#include "GameLimits.h"


static const char* const kRefusedNameText
	= "\nThe town crier can't pronounce that name.  Try another.";


void
VraskThread::NewPlayer()
{
	SendString("\n\nIt looks like you're new here.\n");

	BString name;
	while (true) {
		SendString("\nWhat name would you like? [");
		SendString(fUserName);
		SendString("] : ");

		name = GetString();
		if (name.Length() == 0)
			name = fUserName;
		else if (!IsValidUserName(name)) {
			// Every other player sees the name on the Wall of Fame, so it
			// follows the board's rule for names: short and printable.
			SendString(kRefusedNameText);
			continue;
		}

		SendString("\n[");
		SendString(name);
		SendString("] is this correct?");

		char answer = GetChar();
		if (answer == 'y' || answer == 'Y')
			break;
	}

	fPlayer.SetName(name);
	fPlayer.AddGold(kStartingGold);
}
