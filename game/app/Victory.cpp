#include "VraskThread.h"


namespace {

const int32 kVictoryGold = 100;

}	// namespace


void
VraskThread::WinGame()
{
	// The winner is reset on disk before the victory is told, so that a
	// line that drops during the text still finds the reset character
	// when it calls again. A refusal is told after the text, as ever.
	CPlayer reset;
	reset.SetName(fPlayer.GetName());
	reset.AddGold(kVictoryGold);
	bool saved = reset.SavePlayer(fUserName);

	SendString("*** YOU WIN!!! ***\n\n"
		"  You walk out of the caves, victorious over the nastiest of the "
		"beasties in the caves.  Stories of your glorious victory over the "
		"beast soon spread among the townsfolk.  But, like all great battle "
		"tales, the stories soon become embellished and grow into Legend.\n"
		"  More rapidly than you might like, the stories and your experiences "
		"fade into obscurity, until another hero is born to slay the greatest "
		"of the beasties..."
		"\n\n  Thank you for playing Drelmoor!  Your character has now been "
		"reset.");
	if (!saved)
		_TellSaveRefused();

	int32 caveLevel = fPlayer.GetCaveLevel();
	if (!fPlayer.LoadPlayer(fUserName)) {
		// The player file could not be read back: the session still goes on
		// with the reset character rather than the winner, and keeps its
		// cave level as loading would have.
		fPlayer = reset;
		while (fPlayer.GetCaveLevel() < caveLevel)
			fPlayer.GoDown();
	}
	fPlayer.SetLocation("Town");
}
