#include "VraskThread.h"

#include <OS.h>
#include <ZenboUserName.h>

#include <stdlib.h>


VraskThread::VraskThread(BString userName, BString threadSuffix,
	status_t* result)
	:
	ZenboDoorThread(userName, threadSuffix)
{
	fUserName = userName;

	// Zenbo is told this same name as the session's thread name.
	BString threadName(userName);
	threadName << threadSuffix;

	thread_id thread = spawn_thread(ZenboDoorThread::Run, threadName.String(),
		kVraskThreadPriority, this);
	status_t status = thread >= 0 ? resume_thread(thread) : thread;

	// Once the thread runs, the object is the thread's and may be gone
	// already; only the result may be told.
	if (result != NULL)
		*result = status;
}


VraskThread::~VraskThread()
{
}


BString
VraskThread::CharacterName() const
{
	return PrintableUserName(fPlayer.GetName());
}


void
VraskThread::RunDoor()
{
	fRunning = true;
	// One generator serves every session of the door; each new session
	// reseeds it.
	srand(real_time_clock());

	SendString("\nWelcome to Drelmoor!");

	if (fPlayer.LoadPlayer(fUserName)) {
		SendString("\n\nWelcome back, ");
		SendString(CharacterName());
		SendString("!\n");
	} else
		NewPlayer();

	if (fPlayer.GetHP() < 1) {
		SendString("\n  You're currently dead, but if you wait until "
			"tomorrow that will probably change.");
		fRunning = false;
	}

	fPlayer.SetLocation("Town");

	while (fRunning) {
		// Saving before every prompt means that a user who hangs up in the
		// middle of a command loses at most what that command has not yet
		// shown: the caves save each outcome before they show it.
		_Save(fPlayer);
		ProcessCommand(Prompt());

		if (fPlayer.GetHP() < 1) {
			SendString("\n You've been killed!  Try again tomorrow!");
			fRunning = false;
		}
	}

	_Save(fPlayer);
	CloseDoor();

	// The kit releases this object once the thread has ended.
	exit_thread(0);
}


void
VraskThread::_Save(CPlayer& player)
{
	// The player file still holds the last record that could be saved;
	// the player is told once per refused save and plays on.
	if (!player.SavePlayer(fUserName))
		_TellSaveRefused();
}


void
VraskThread::_SaveBeforeShowing()
{
	// A record the file holds already costs no write, so a round in which
	// nothing changed costs the disk nothing.
	fPlayer.SavePlayer(fUserName);
}


void
VraskThread::_TellSaveRefused()
{
	SendString("\nThe game could not be saved.");
}
