#pragma once

#include <ZenboDoorThread.h>

#include "Player.h"

#define kVraskThreadPriority	10

// One user's game: the session loop and every game operation run on the
// session's own thread, on this session's player record. The application
// thread only builds the object, which starts its thread at once.
class VraskThread : public ZenboDoorThread {
public:
								VraskThread(BString userName,
									BString threadSuffix);
	virtual						~VraskThread();

	virtual	void				RunDoor() override;

	// Command prompt and dispatch
			char				Prompt();
			void				ProcessCommand(char key);

	// Menus and status
			void				Menu();
			void				Status();
			void				SendNumber(int32 number);

	// New player and healer
			void				NewPlayer();
			void				Heal(int32 count);

	// Caves
			void				Fight(bool finalFight);
			void				SpecialEvent();
			void				WinGame();

	// Town
			void				BuyItem(bool weapons);
			void				WallOfFame();

private:
			CPlayer				fPlayer;
			bool				fRunning = false;
};
