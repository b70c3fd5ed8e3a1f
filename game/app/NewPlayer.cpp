#include "VraskThread.h"

#include "GameLimits.h"


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
