#pragma once

#include "Listener.h"

#include <String.h>
#include <SupportDefs.h>

#include <boost/asio/io_context.hpp>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class BLooper;
class WebTerminalConnection;
class WebTerminalEvents;

// The host's web port: the terminal page with its files, and the WebSocket
// (/ws) that carries each caller. It lives on the looper's thread (made,
// started and deleted there, or before the looper runs and after it has
// quit). Its Asio loop never runs on a thread of its own: the looper
// watches each socket, and the listener polls Asio, without waiting, when
// one is ready, so a key from a browser reaches the owner on the looper's
// thread with no hand-off. It serves only the files it loaded at the
// start, the Wall of Fame (/fame) its owner makes, and 404 for any other
// path; it holds no account and applies no line rules.
class WebTerminalListener {
public:
	static const bigtime_t		kDefaultRequestDeadline = 20000000;

								WebTerminalListener(BLooper& looper,
									WebTerminalEvents& events);
								WebTerminalListener(
									const WebTerminalListener&) = delete;
			WebTerminalListener& operator=(
									const WebTerminalListener&) = delete;
								~WebTerminalListener();

	// How long a Wall of Fame made is served before it is made again: a
	// flood of requests then reads the characters once in that time, and
	// the callers on the looper never wait for it.
	static const bigtime_t		kFameLifetime = 5000000;

	// Loads the page's files from the folder (index.html, terminal.js,
	// terminal.css, xterm.js, xterm.css, addon-fit.js, the manifest and
	// the icon).
	[[nodiscard]] status_t		LoadPage(const char* folder, BString* error);
	// Listens on address:port (port 0 for an ephemeral one).
	[[nodiscard]] status_t		Listen(const char* address, uint16 port,
									BString* error);
			uint16				Port() const { return fListener.Port(); }

	// A WebSocket is opened only by the page's own origin (http:// and the
	// Host it was asked for) or by an origin allowed here
	// ("https://board.example", a page served through a reverse proxy),
	// whose host the board then answers to as well.
			void				AllowOrigin(const char* origin);
	// Requests from these reverse proxies name their caller by the last
	// hop of X-Forwarded-For.
			void				TrustProxies(
									const std::vector<BString>& proxies);
	// Makes the Wall of Fame's page, read live from the characters; until
	// it is set, /fame is not found.
	typedef std::function<std::string()> FameSource;
			void				SetFameSource(FameSource source)
									{ fFameSource = std::move(source); }
	// How long a browser has to send a request, or to finish a WebSocket's
	// handshake; set before Listen.
			void				SetRequestDeadline(bigtime_t deadline)
									{ fRequestDeadline = deadline; }
	// Connections are counted at the host's gate; set before Listen.
			void				SetGate(PeerGate* gate)
									{ fListener.SetGate(gate); }

	// For the connections
	struct PageFile {
		std::string			contentType;
		std::string			body;
	};
			const PageFile*		FindPageFile(const std::string& path);
			bool				IsOriginAllowed(const std::string& origin,
									const std::string& host) const;
	// Whether the Host header names the board: its listening address,
	// localhost (both with its port), or an allowed origin's host. A page
	// asked for under any other name is a DNS rebinding's: a name of the
	// attacker's that now leads here, to read the board with a caller's
	// own network access.
			bool				IsHostServed(const std::string& host) const;
			bool				TrustsProxy(const BString& address) const;
			WebTerminalEvents&	Events() { return fEvents; }
			BLooper&			Looper() { return fLooper; }
			void				TerminalOpened(
									std::shared_ptr<WebTerminalConnection>
										connection);
			void				TerminalEnded(
									WebTerminalConnection* connection);
	// Runs what Asio has ready; called whenever a watched socket is, and
	// after a connection started an operation outside of a handler.
			void				Poll();

private:
			void				_CallerArrived(int descriptor,
									const BString& address,
									const PeerGate::Pass& pass);
			void				_ExpireUnopened();

			BLooper&			fLooper;
			WebTerminalEvents&	fEvents;
			boost::asio::io_context fContext;
			Listener			fListener;
			int					fSweepTimer = -1;
			bigtime_t			fRequestDeadline = kDefaultRequestDeadline;
			bool				fPolling = false;
			std::map<std::string, PageFile> fPage;
			FameSource			fFameSource;
			PageFile			fFame;
			bigtime_t			fFameMade = 0;
			std::set<std::string> fAllowedOrigins;
			// The allowed origins' hosts, lowercase, without their port.
			std::set<std::string> fAllowedHosts;
			std::set<std::string> fProxies;
			// As given to Listen: an address, a name of this machine, or a
			// wildcard (0.0.0.0, ::) that answers at every address.
			std::string			fListenAddress;
			std::map<WebTerminalConnection*,
				std::shared_ptr<WebTerminalConnection>> fTerminals;
			// Connections still reading a request or the handshake.
			std::vector<std::weak_ptr<WebTerminalConnection>> fUnopened;
};
