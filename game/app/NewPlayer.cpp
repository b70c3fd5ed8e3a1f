#include "VraskThread.h"

#include <ZenboUserName.h>

#include "GameLimits.h"


static const char* const kRefusedNameText
	= "\nThe town crier can't pronounce that name.  Try another.";


// Every other player sees a character's name on the Wall of Fame, so it
// follows the board's rule for names where that rule is about showing one:
// at most kMaxCharacterNameLength bytes of printable ASCII. The rest of the
// rule guards file names; a character's name names no file, and keeps its
// slashes and its leading blanks as typed.
static bool
IsShowableName(const BString& name)
{
	switch (JudgeUserName(name)) {
		case UserNameProblem::kNone:
		case UserNameProblem::kSlash:
		case UserNameProblem::kBadStart:
			return name.Length() <= kMaxCharacterNameLength;
		case UserNameProblem::kEmpty:
		case UserNameProblem::kTooLong:
		case UserNameProblem::kNotPrintable:
			break;
	}
	return false;
}


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
		else if (!IsShowableName(name)) {
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
