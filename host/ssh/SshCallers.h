#pragma once

#include "SshEvents.h"
#include "SshListener.h"

#include <String.h>

#include <map>
#include <vector>

class BLooper;
class Board;
class TerminalKeeper;
class SshCaller;
class SshHostKey;

// The host's SSH callers: the SSH port and, for each of its connections,
// an SshCaller that the board knows as a connection like a telnet line.
// It turns the listener's events into the caller's on the looper's thread,
// with no hand-off: a password waits for the board's answer while the
// loop goes on. The callers are the keeper's (the host's), which deletes
// one after the event in which its connection went.
class SshCallers : private SshEvents {
public:
								SshCallers(BLooper& looper, Board& board,
									const SshHostKey& hostKey,
									TerminalKeeper& keeper);
								SshCallers(const SshCallers&) = delete;
			SshCallers&			operator=(const SshCallers&) = delete;
	virtual						~SshCallers();

	[[nodiscard]] status_t		Listen(const char* address, uint16 port,
									BString* error);
			uint16				Port() const { return fListener.Port(); }
	// Callers through these reverse proxies are named by their header.
			void				TrustProxies(
									const std::vector<BString>& proxies)
									{ fListener.TrustProxies(proxies); }
	// Connections are counted at the host's gate; set before Listen.
			void				SetGate(PeerGate* gate)
									{ fListener.SetGate(gate); }
	// From now on a caller who connects is let go at once (the host is
	// shutting down).
			void				RefuseCallers() { fRefusing = true; }

private:
	virtual	void				ConnectionOpened(SshConnection* connection)
									override;
	virtual	void				PasswordOffered(SshConnection* connection,
									const BString& userName,
									const BString& password) override;
	virtual	void				QuestionsRequested(SshConnection* connection,
									const BString& userName) override;
	virtual	void				QuestionsAnswered(SshConnection* connection,
									const std::vector<BString>& answers)
									override;
	virtual	void				TerminalOpened(SshConnection* connection)
									override;
	virtual	void				WindowResized(SshConnection* connection,
									int32 columns, int32 rows) override;
	virtual	void				BytesReceived(SshConnection* connection,
									const char* data, size_t size) override;
	virtual	void				OutputDrained(SshConnection* connection)
									override;
	virtual	void				ConnectionClosed(SshConnection* connection)
									override;

			SshCaller*			_CallerFor(SshConnection* connection) const;

			Board&				fBoard;
			TerminalKeeper&	fKeeper;
			SshListener			fListener;
			bool				fRefusing = false;
			// The keeper's; forgotten here when their connection goes.
			std::map<SshConnection*, SshCaller*> fCallers;
};
