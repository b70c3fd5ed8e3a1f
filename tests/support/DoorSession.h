#pragma once

#include "ChildProcess.h"
#include "ScriptedHost.h"

#include <memory>
#include <string>
#include <vector>

// Whole games of the Drelmoor program against the scripted host: the test
// process is Zenbo, the door runs as the real program in the test's boot
// volume (with the test's frozen clock, if any). Make the TestVolume (and
// FrozenClock) first. The test's thread drives it; the host's loop runs on
// a thread of its own. When the object goes, a door that still runs is
// killed and the host quits.
class DoorSession {
public:
								DoorSession();
								DoorSession(const DoorSession&) = delete;
			DoorSession&		operator=(const DoorSession&) = delete;
								~DoorSession();

			ScriptedHost&		Host() { return fRunner.Host(); }

			// Starts the door program if it does not run yet (again, after
			// an earlier run has ended), and waits until it holds its
			// signature.
			status_t			StartDoor();
			// Enters the door for the user with the keys as the script;
			// returns at once after the start message has been answered,
			// with the answer in reply when one is given.
			status_t			Enter(const std::string& user,
									const std::string& keys,
									BMessage* reply = NULL);
			// Waits for the door program to end (it ends when the last user
			// has left); B_OK with its exit code, B_TIMED_OUT otherwise.
			status_t			WaitForDoorExit(int* exitCode,
									bigtime_t timeout = 30000000);
			bool				IsDoorRunning();

			// One user's whole visit: StartDoor, Enter, WaitForDoorExit;
			// returns the texts the door sent (echoes included), in order.
			// A failure of any step fails the current test and returns what
			// was received so far.
			std::vector<std::string> Play(const std::string& user,
									const std::string& keys);

private:
			ScriptedHostRunner	fRunner;
			std::unique_ptr<ChildProcess> fDoor;
};

// The door program's application signature, as Zenbo addresses it.
#define kDrelmoorSignature	"application/x-vnd.Zenbo.VraskApp"
