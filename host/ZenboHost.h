#pragma once

#include "AccountFile.h"
#include "Board.h"
#include "BoardSettings.h"
#include "DoorLauncher.h"

#include <Application.h>
#include <String.h>

#include <map>
#include <memory>
#include <vector>

class HostWorkers;
class Terminal;
class TelnetConnection;

// Zenbo, the board's host: the one application of the boot volume that
// holds the host's signature. It takes terminals from bridges over the
// terminal socket and, when asked to, telnet callers, whom the board logs
// in and seats in the door; it answers the door's sessions: a key for
// "gcha" once the user has typed one, the text of "sstr" shown at the
// user's terminal, and "gone" once the user has left. Everything runs on
// the application's looper thread (sockets, signals and the door's messages
// alike); the entering of the door, the watch for sessions' ends and the
// passwords' hashing run on the host's two worker threads, which report to
// the looper by message.
class ZenboHost : public BApplication, private BoardLink {
public:
	enum class Lifetime {
		kUntilStopped,		// runs until SIGTERM, SIGINT or SIGHUP
		kWhileTerminals,	// started by a bridge: ends with its last terminal
	};

								ZenboHost(const BString& doorProgram,
									Lifetime lifetime,
									const BoardSettings& settings
										= BoardSettings());
	virtual						~ZenboHost();

	// Listens on the terminal socket and, with a telnet address, for
	// telnet callers; call after InitCheck, before Run. On an error a
	// message for the sysop.
			status_t			Start(const BString& telnetAddress,
									BString* problem);
			uint16				TelnetPort() const { return fTelnetPort; }

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

	// Telnet callers
			void				_AcceptTelnet();
			void				_ConnectionEnded(TelnetConnection* connection);

	// Workers' reports
			void				_Entered(BMessage* message);
			void				_SessionEnded(BMessage* message);

	// What the board asks of the host
	virtual	bigtime_t			Now() override;
	virtual	int32				NewSeatID() override;
	virtual	bool				IsNameInDoorElsewhere(const BString& name)
									override;
	virtual	void				EnterDoor(int32 seat, const BString& name)
									override;
	virtual	void				AnswerKey(BMessage* request, int32 key)
									override;
	virtual	void				AnswerText(BMessage* request, bool gone)
									override;
	virtual	void				HashPassword(int32 caller,
									const std::string& password) override;
	virtual	void				CheckPassword(int32 caller,
									const std::string& hash,
									const std::string& password) override;

	// Life of the host
			void				_SignalArrived();
			void				_IdleTimerFired();
			void				_StopIdleTimer();
			void				_ShutDown();
			void				_QuitWhenIdle();

			DoorLauncher		fLauncher;
			Lifetime			fLifetime;
			AccountFile			fAccounts;
			Board				fBoard;
			std::unique_ptr<HostWorkers> fWorkers;
			int					fListener = -1;
			int					fTelnetListener = -1;
			uint16				fTelnetPort = 0;
			int					fTicker = -1;
			std::map<TelnetConnection*, std::unique_ptr<TelnetConnection>>
									fConnections;
			std::vector<std::unique_ptr<TelnetConnection>> fEndedConnections;
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
