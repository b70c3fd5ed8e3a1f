#pragma once

#include "DescriptorWatch.h"
#include "PeerGate.h"

#include <String.h>
#include <SupportDefs.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include <memory>
#include <optional>
#include <string>

class WebTerminalListener;

// One browser's connection to the web terminal: an HTTP request for the
// page or one of its files, answered and closed, or the WebSocket that
// carries a caller's terminal. It runs on the looper's thread only: its
// socket is Asio's, but Asio's loop is only ever polled by the listener
// when the looper sees the socket ready, so every handler runs there.
// It keeps itself alive while an operation of its own is under way, with
// one read and one write in flight at most, and text for the caller waits
// in its own queue meanwhile, so a page that stops reading holds up
// nobody. It checks that a WebSocket comes from the page's own origin and
// caps the size of what the page sends. It knows nothing of accounts or
// line rules: those are the owner's.
class WebTerminalConnection
	: public std::enable_shared_from_this<WebTerminalConnection> {
public:
								WebTerminalConnection(
									WebTerminalListener& listener,
									boost::asio::ip::tcp::socket socket,
									int descriptor, const BString& address);
								WebTerminalConnection(
									const WebTerminalConnection&) = delete;
			WebTerminalConnection& operator=(
									const WebTerminalConnection&) = delete;
								~WebTerminalConnection();

			void				Start();

	// Output: queued, sent as one binary message per write.
			void				Send(const char* data, size_t size);
			size_t				QueuedBytes() const { return fOutput.size(); }
	// Ends the call: once the queued text has gone, or at once (a caller
	// who stopped reading and is taken over).
	enum class CloseMode {
		kAfterOutput,
		kAtOnce,
	};
			void				Close(CloseMode mode = CloseMode::kAfterOutput);
	// Drops a connection that has not become a terminal by the deadline:
	// a request sent slowly, or never, holds a socket for nothing.
			void				ExpireUnopened(bigtime_t deadline);

	// What is known of the caller
			const BString&		Address() const { return fAddress; }
	// The connection's place among those not logged in, from its accept
	// until the caller logs in or the connection ends.
			void				SetPass(const PeerGate::Pass& pass);
			void				ReleasePass() { fPass.Release(); }
			int32				Columns() const { return fColumns; }
			int32				Rows() const { return fRows; }

private:
	typedef boost::beast::http::request<boost::beast::http::string_body>
								Request;
	typedef boost::beast::websocket::stream<boost::asio::ip::tcp::socket>
								WebSocket;

			void				_ReadRequest();
			void				_Answer(const Request& request);
			bool				_TakeForwardedAddress(
									const Request& request);
			void				_Respond(unsigned status,
									const char* contentType,
									std::string body);
			void				_AcceptWebSocket(const Request& request);
			void				_ReadMessage();
			void				_TakeSizeFrom(const std::string& query);
			void				_HandleControl(const std::string& text);
			void				_WriteNext();
			void				_Finish();
			void				_WatchAsNeeded();

			boost::asio::ip::tcp::socket& _Socket();

			WebTerminalListener& fListener;
			boost::asio::ip::tcp::socket fSocket;
			std::optional<WebSocket> fWebSocket;
			std::optional<boost::beast::http::request_parser<
				boost::beast::http::string_body>> fParser;
			std::shared_ptr<void> fResponse;
			boost::beast::flat_buffer fInput;
			DescriptorWatch		fWatch;
			bool				fReading = false;
			bool				fWriting = false;
			bool				fOpen = false;
			bool				fClosing = false;
			bool				fFinished = false;
			std::string			fOutput;
			std::string			fSending;
			BString				fAddress;
			PeerGate::Pass		fPass;
			int32				fColumns = 80;
			int32				fRows = 24;
			bigtime_t			fStarted;
			uint64				fIgnoredControls = 0;
};
