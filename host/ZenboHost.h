#pragma once

#include "DoorLauncher.h"

#include <Application.h>
#include <String.h>

#include <map>
#include <memory>
#include <vector>

class Terminal;

// Zenbo, the board's host: the one application of the boot volume that
// holds the host's signature. It takes terminals from bridges over the
// terminal socket, enters the door for the user at each, and answers the
// door's sessions: a key for "gcha" once the user has typed one, the text of
// "sstr" shown at the user's terminal, and "gone" once the user has left.
// Everything runs on the application's looper thread (sockets, signals and
// the door's messages alike); only the entering of the door and the wait
// for a session's end run on an entry thread per terminal, which reports to
// the looper by message.
class ZenboHost : public BApplication {
public:
	enum class Lifetime {
		kUntilStopped,		// runs until SIGTERM, SIGINT or SIGHUP
		kWhileTerminals,	// started by a bridge: ends with its last terminal
	};

								ZenboHost(const BString& doorProgram,
									Lifetime lifetime);
	virtual						~ZenboHost();

	// Listens on the terminal socket; call after InitCheck, before Run.
			status_t			Start();

	virtual	void				MessageReceived(BMessage* message) override;
	virtual	bool				QuitRequested() override;

private:
	// The door's requests
			void				_GetChar(BMessage* message);
			void				_SendString(BMessage* message);
			void				_AnswerRequests(Terminal* terminal);

	// Terminals
			void				_Accept();
			void				_TerminalEvent(int32 id, uint32 events);
			void				_ReadFrames(Terminal* terminal);
			void				_Hello(Terminal* terminal,
									const std::string& payload);
			void				_Flush(Terminal* terminal);
			void				_HangUp(Terminal* terminal);
			void				_Goodbye(Terminal* terminal, uint8 exitStatus,
									const char* notice);
			void				_Remove(Terminal* terminal);
			void				_DeleteRemovedTerminals();
			Terminal*			_TerminalFor(const BString& userName) const;
			// Logs the line and hands it to the terminal's bridge too.
			void				_LogForTerminal(Terminal* terminal,
									const BString& line);

	// Entry threads' reports
			void				_Entered(BMessage* message);
			void				_SessionEnded(BMessage* message);

	// Life of the host
			void				_SignalArrived();
			void				_IdleTimerFired();
			void				_StopIdleTimer();
			void				_ShutDown();
			void				_QuitWhenIdle();

			DoorLauncher		fLauncher;
			Lifetime			fLifetime;
			int					fListener = -1;
			int					fSignals = -1;
			int					fIdleTimer = -1;
			bool				fShuttingDown = false;
			int32				fNextID = 1;
			std::map<int32, std::unique_ptr<Terminal>> fTerminals;
			// Removed during the current event; deleted when it is handled,
			// so that no handler is left holding a deleted terminal.
			std::vector<std::unique_ptr<Terminal>> fRemoved;
			// Users in the door or entering it, by name.
			std::map<BString, int32> fUsers;
};
