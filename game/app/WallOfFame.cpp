#include "VraskThread.h"

#include "CharacterListing.h"


void
VraskThread::WallOfFame()
{
	// The wall only reads: the listing never touches the session's
	// character or saves anything.
	CharacterListing characters(CharacterListing::Detail::kWithoutLastPlayed);
	SendString("\n  Welcome to The Wall of Fame\nName : level");
	if (characters.InitCheck() != B_OK)
		SendString("The users list failed to initialize.");

	CharacterListing::Character character;
	while (characters.GetNextCharacter(&character)) {
		SendString("\n");
		SendString(character.name);
		SendString(" : ");
		SendNumber(character.level);
	}
	SendString("\n");
}
