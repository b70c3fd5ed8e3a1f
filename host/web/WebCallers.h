#pragma once

#include "WebTerminalEvents.h"
#include "WebTerminalListener.h"

#include <String.h>

#include <map>
#include <vector>

class BLooper;
class Board;
class TerminalKeeper;
class WebCaller;

// The host's callers at the web terminal: the web port (the page and its
// WebSocket) and, for each terminal that opens, a WebCaller that the board
// knows as a connection like a telnet line. It turns the listener's events
// into the caller's on the looper's thread, with no hand-off. The callers
// are the keeper's (the host's), which deletes one after the event in
// which its connection went.
class WebCallers : private WebTerminalEvents {
public:
								WebCallers(BLooper& looper, Board& board,
									TerminalKeeper& keeper);
								WebCallers(const WebCallers&) = delete;
			WebCallers&			operator=(const WebCallers&) = delete;
	virtual						~WebCallers();

	// Loads the page's files from the folder, then listens.
	[[nodiscard]] status_t		Listen(const char* pageFolder,
									const char* address, uint16 port,
									BString* error);
			uint16				Port() const { return fListener.Port(); }
	// Pages of this origin may open a terminal too (a reverse proxy's).
			void				AllowOrigin(const char* origin)
									{ fListener.AllowOrigin(origin); }
	// Callers through these reverse proxies are named by X-Forwarded-For.
			void				TrustProxies(
									const std::vector<BString>& proxies)
									{ fListener.TrustProxies(proxies); }
	// Where /fame comes from (the host's reports).
			void				SetFameSource(
									WebTerminalListener::FameSource source)
									{ fListener.SetFameSource(
										std::move(source)); }
	// From now on a terminal that opens is closed at once (the host is
	// shutting down).
			void				RefuseCallers() { fRefusing = true; }
	// Connections are counted at the host's gate; set before Listen.
			void				SetGate(PeerGate* gate)
									{ fListener.SetGate(gate); }

private:
	virtual	void				TerminalOpened(
									WebTerminalConnection* connection)
									override;
	virtual	void				WindowResized(
									WebTerminalConnection* connection,
									int32 columns, int32 rows) override;
	virtual	void				BytesReceived(
									WebTerminalConnection* connection,
									const char* data, size_t size) override;
	virtual	void				OutputDrained(
									WebTerminalConnection* connection)
									override;
	virtual	void				ConnectionClosed(
									WebTerminalConnection* connection)
									override;

			WebCaller*			_CallerFor(
									WebTerminalConnection* connection) const;

			Board&				fBoard;
			TerminalKeeper&	fKeeper;
			WebTerminalListener	fListener;
			bool				fRefusing = false;
			// The keeper's; forgotten here when their connection goes.
			std::map<WebTerminalConnection*, WebCaller*> fCallers;
};
