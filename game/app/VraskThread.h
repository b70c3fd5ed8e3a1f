#pragma once

#include <OS.h>
#include <ZenboDoorThread.h>

#include "Player.h"

#define kVraskThreadPriority	10

// One user's game: the session loop and every game operation run on the
// session's own thread, on this session's player record. The application
// thread only builds the object, which starts its thread at once; from then
// on the object belongs to that thread, and the kit releases it when the
// thread has ended. Sessions share nothing but the program's random
// generator.
class VraskThread : public ZenboDoorThread {
public:
			// Starts the session's thread at once. When result is given it
			// tells whether the thread runs; if it does not, the object is
			// the creator's to release.
								VraskThread(BString userName,
									BString threadSuffix,
									status_t* result = NULL);
	virtual						~VraskThread();

	virtual	void				RunDoor() override;

	// Command prompt and dispatch
			char				Prompt();
			void				ProcessCommand(char key);

	// Menus and status
			// The character's name as every screen shows it: a name stored
			// before names were judged may hold bytes a terminal acts on.
			BString				CharacterName() const;
			void				Menu();
			void				Status();
			void				SendNumber(int32 number);

	// New player
			void				NewPlayer();

	// Caves
			void				Fight(bool finalFight);
			void				SpecialEvent();
			void				WinGame();

	// Town
			void				BuyItem(bool weapons);
			void				Heal(int32 count);
			void				WallOfFame();

private:
			// Saves the record to the user's player file; when the disk
			// refuses it, tells the user, and the session goes on.
			void				_Save(CPlayer& player);
			// Saves what a rule of the caves has just done to the record,
			// before the screen shows it: a line that drops while the
			// outcome is shown, and a session that ends inside an exchange
			// with the host, then lose nothing the player saw happen. A
			// save the disk refuses is told by the session's next save,
			// which tries again, so the fight's screen stays as it is.
			void				_SaveBeforeShowing();
			void				_TellSaveRefused();

			CPlayer				fPlayer;
			bool				fRunning = false;
};
