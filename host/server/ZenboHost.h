#pragma once

#include "AccountDatabase.h"
#include "Board.h"
#include "BoardSettings.h"
#include "ConnectionRegistry.h"
#include "DoorLauncher.h"
#include "DoorRequests.h"
#include "Listener.h"
#include "OutputPacer.h"
#include "ProxyGate.h"
#include "RloginBoards.h"
#include "SshHostKey.h"
#include "SysopDesk.h"
#include "TerminalKeeper.h"
#include "WorkerReports.h"

#include <Application.h>
#include <String.h>

#include <memory>
#include <vector>

class HostWorkers;
class RloginCallers;
class SshCallers;
class Terminal;
class WebCallers;

// The host's own folder of the boot volume: the accounts, the SSH host
// key and the boards whose callers play here over RLogin.
#define kHostFolderPath "/boot/home/Zenbo"

// Zenbo, the board's host: the one application of the boot volume that
// holds the host's signature. It wires the board to the world: bridges'
// terminals from the terminal socket and, when asked to, telnet callers,
// SSH callers and callers at the web terminal, each a connection of its
// kind on the board; the sysop's commands from the sysop socket
// (SysopDesk); the door's requests ("gcha", "sstr"),
// which the board answers for its seats; the workers' reports; signals and
// the host's own life. Everything runs on the application's looper thread
// (sockets, signals and the door's messages alike); the entering of the
// door, the watch for sessions' ends and the passwords' hashing run on the
// host's two worker threads, which report to the looper by message.
class ZenboHost : public BApplication, private BoardLink,
	private TerminalKeeper {
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

	// Where the host takes network callers, each "[ADDRESS:]PORT" or empty
	// for none.
	struct WaysIn {
		BString				telnet;
		BString				ssh;
		BString				web;
		// An origin besides the page's own that may open the web
		// terminal; empty for none.
		BString				webOrigin;
		// Other boards' callers; with the boards of the config file,
		// besides those of the boards file.
		BString				rlogin;
		RloginBoards		boards;
		// Reverse proxies whose connections name their callers (telnet
		// and SSH by the PROXY protocol's header, the web terminal by
		// X-Forwarded-For).
		std::vector<BString> trustedProxies;
	};

	// Listens on the terminal socket and at each way in that has an
	// address; call after InitCheck, before Run. On an error a message for
	// the sysop.
			status_t			Start(const WaysIn& ways, BString* problem);
			status_t			Start(const BString& telnetAddress,
									BString* problem);
			uint16				TelnetPort() const
									{ return fTelnetListener.Port(); }
			uint16				SshPort() const;
			uint16				WebPort() const;
			uint16				RloginPort() const;
	// "SHA256:..." once SSH callers are taken.
			BString				SshFingerprint() const
									{ return fSshHostKey.Fingerprint(); }

	virtual	void				MessageReceived(BMessage* message) override;
	virtual	bool				QuitRequested() override;

private:
			status_t			_StartNetwork(const WaysIn& ways,
									BString* problem);
			status_t			_StartLocal();
			status_t			_StartTicker();
			void				_CheckDescriptorLimit();

	// Connections
			void				_BridgeArrived(int descriptor);
			void				_TelnetArrived(int descriptor,
									const BString& address,
									const PeerGate::Pass& pass);
			void				_SysopArrived(int descriptor);
			status_t			_StartTelnet(const BString& telnetAddress,
									BString* problem);
			void				_StopListening();
			// The connection goes after the event that ended it.
			void				_ConnectionEnded(const void* connection);
			status_t			_StartSsh(const WaysIn& ways, BString* problem);
			status_t			_StartWeb(const WaysIn& ways,
									BString* problem);
			status_t			_StartRlogin(const WaysIn& ways,
									BString* problem);
	virtual	void				KeepTerminal(
									std::unique_ptr<Terminal> connection)
									override;
	virtual	void				TerminalEnded(Terminal* connection)
									override;
			// Watches a descriptor of the host's own for reading: the
			// handler, then what follows every event.
			status_t			_WatchReadable(int descriptor,
									void (ZenboHost::*handler)());
			// After every event: connections that ended during it are
			// deleted (no handler is left holding one), and a host started
			// by a bridge looks whether it is idle.
			void				_AfterEvent();

	// What the board asks of the host
	virtual	bigtime_t			Now() override;
	virtual	int32				NewSeatID() override;
	virtual	void				EnterDoor(int32 seat, const BString& name)
									override;
	virtual	void				AnswerKey(BMessage* request, int32 key)
									override;
	virtual	void				AnswerText(BMessage* request, bool gone)
									override;
	virtual	bool				HasCharacter(const BString& name) override;
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
			// Once every session has ended and every door process of ours
			// is gone, the host quits; a door that takes too long is
			// signalled (SIGTERM, then SIGKILL).
			void				_StopWhenDoorsEnd();
			void				_StopTimerFired();
			void				_QuitWhenStopped();
			void				_QuitWhenIdle();

			// First: the connections' passes may outlive everything after.
			PeerGate			fGate;
			// Before the connections it paces.
			OutputPacer			fPacer;
			BoardSettings		fSettings;
			DoorLauncher		fLauncher;
			Lifetime			fLifetime;
			AccountDatabase		fAccounts;
			Board				fBoard;
			SysopDesk			fDesk;
			DoorRequests		fDoorRequests;
			WorkerReports		fWorkerReports;
			std::unique_ptr<HostWorkers> fWorkers;
			SshHostKey			fSshHostKey;
			Listener			fBridgeListener;
			Listener			fTelnetListener;
			ProxyGate			fTelnetGate;
			Listener			fSysopListener;
			int					fTicker = -1;
			int					fSignals = -1;
			int					fIdleTimer = -1;
			bool				fShuttingDown = false;
			int					fStopTimer = -1;
			// 0 while the doors are let go by themselves, 1 once they were
			// sent SIGTERM, 2 once SIGKILL.
			int					fStopStage = 0;
			bool				fStopping = false;
			bool				fQuitting = false;
			int32				fNextSeatID = 1;
			ConnectionRegistry	fConnections;
			// After the connections: a listener goes with the connections
			// of its own, which its callers point to.
			std::unique_ptr<SshCallers> fSshCallers;
			std::unique_ptr<WebCallers> fWebCallers;
			std::unique_ptr<RloginCallers> fRloginCallers;
};
