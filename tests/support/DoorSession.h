#pragma once

#include "ChildProcess.h"
#include "ScriptedHost.h"

#include <string>
#include <vector>

// Whole games of the Drelmoor program against the scripted host: the test
// process is Zenbo, the door runs as the real program in the test's boot
// volume (with the test's frozen clock, if any). Make the TestVolume (and
// FrozenClock) first.
class DoorSession {
public:
								DoorSession();
								~DoorSession();

			ScriptedHost&		Host() { return fRunner.Host(); }

			// Starts the door program if it does not run yet.
			status_t			StartDoor();
			// Enters the door for the user with the keys as the script;
			// returns at once after the start message has been answered.
			status_t			Enter(const std::string& user,
									const std::string& keys);
			// Waits for the door program to end (it ends when the last user
			// has left); B_OK with its exit code, B_TIMED_OUT otherwise.
			status_t			WaitForDoorExit(int* exitCode,
									bigtime_t timeout = 30000000);

			// One user's whole visit: StartDoor, Enter, WaitForDoorExit;
			// returns the texts the door sent (echoes included), in order.
			std::vector<std::string> Play(const std::string& user,
									const std::string& keys);

private:
			ScriptedHostRunner	fRunner;
			ChildProcess		fDoor;
};
