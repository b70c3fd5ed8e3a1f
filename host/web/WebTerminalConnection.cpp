#include "WebTerminalConnection.h"

#include "HostLog.h"
#include "ProxyGate.h"
#include "PeerText.h"
#include "StreamConnection.h"
#include "WebTerminalEvents.h"
#include "WebTerminalListener.h"

#include <AppDefs.h>
#include <Errors.h>
#include <Looper.h>
#include <OS.h>

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include <ZenboUserName.h>

#include <stdio.h>

#include <algorithm>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;


// A page asks for its files with short requests; anything larger is not
// one of ours.
static const uint32 kMaxRequestHeader = 8 * 1024;
// What the page may send in one message: a generous paste.
static const size_t kMaxMessage = 64 * 1024;
// The reason of the close frame when the host ends a call (a good-bye, an
// idle caller, a takeover): the page tells the caller the call has ended,
// not that the line dropped, which closes with no frame at all.
static const char* const kCallEndedReason = "call ended";
// What one write to the page carries at most.
static const size_t kWriteChunk = 64 * 1024;


WebTerminalConnection::WebTerminalConnection(WebTerminalListener& listener,
	asio::ip::tcp::socket socket, int descriptor, const BString& address)
	:
	fListener(listener),
	fSocket(std::move(socket)),
	fWatch(listener.Looper(), descriptor,
		[&listener](int, uint32) { listener.Poll(); }),
	fAddress(address),
	fStarted(system_time())
{
}


WebTerminalConnection::~WebTerminalConnection()
{
	// Before the socket closes the descriptor.
	fWatch.Stop();
}


void
WebTerminalConnection::Start()
{
	_ReadRequest();
}


// A connection that has not logged in (a request, a terminal at its login)
// may be dropped to make room for one from a less busy address.
void
WebTerminalConnection::SetPass(const PeerGate::Pass& pass)
{
	fPass = pass;
	// Ending may let go of the last hold on this connection: one is kept
	// until the end is done.
	fPass.SetDrop([this] {
		auto self = shared_from_this();
		_Finish();
	});
}


void
WebTerminalConnection::Send(const char* data, size_t size)
{
	if (!fOpen || fClosing)
		return;
	// The same cap as a stream connection's queue: a page that does not
	// read is cut off, whoever made the output (the door or the host).
	// The one who sends goes on with the caller afterwards, so the end
	// comes from Asio's handlers on the next turn: the socket is shut down
	// now, and the operations under way end with it.
	if (size > StreamConnection::kDefaultMaxQueued - fOutput.size()) {
		HostLog("web %s: the caller did not read %zu bytes of output; the"
			" terminal is closed", fAddress.String(), fOutput.size() + size);
		fOutput.clear();
		fClosing = true;
		beast::error_code ignored;
		_Socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
		return;
	}
	fOutput.append(data, size);
	// The write starts now; its end is Asio's to report on the next turn
	// (the socket is watched while it is in flight), never from within
	// this call: the one who sends goes on with the caller afterwards.
	if (!fWriting)
		_WriteNext();
}


void
WebTerminalConnection::Close(CloseMode mode)
{
	if (!fOpen)
		return;
	if (mode == CloseMode::kAtOnce) {
		// Not even a close frame: a page that stopped reading would not
		// take it.
		fOutput.clear();
		_Finish();
		return;
	}
	if (fClosing)
		return;
	fClosing = true;
	if (!fWriting) {
		_WriteNext();
		fListener.Poll();
	}
}


void
WebTerminalConnection::ExpireUnopened(bigtime_t deadline)
{
	if (fOpen || fFinished || fStarted > deadline)
		return;
	HostLog("web %s: dropped a request that did not finish in time",
		fAddress.String());
	_Finish();
}


asio::ip::tcp::socket&
WebTerminalConnection::_Socket()
{
	return fWebSocket ? fWebSocket->next_layer() : fSocket;
}


void
WebTerminalConnection::_ReadRequest()
{
	fParser.emplace();
	fParser->header_limit(kMaxRequestHeader);
	fParser->body_limit(0);
	fReading = true;
	auto self = shared_from_this();
	http::async_read(fSocket, fInput, *fParser,
		[this, self](beast::error_code error, size_t) {
			fReading = false;
			if (error) {
				if (error != http::error::end_of_stream)
					_Respond(400, "text/plain", "Bad request\n");
				else
					_Finish();
				return;
			}
			_Answer(fParser->get());
		});
	_WatchAsNeeded();
}


// What a header of the request says, cut short and with every byte that
// is not plain text shown as an escape, for the log.
static std::string
Loggable(boost::beast::string_view value)
{
	static const size_t kMaxLogged = 100;
	std::string text(value.data(), std::min(value.size(), kMaxLogged));
	return EscapedUserName(text.data(), text.size()).String();
}


// A trusted proxy names the caller in the last hop of X-Forwarded-For (the
// address the proxy itself saw; hops before it are the caller's word
// only). Without the header the proxy's own address stands. False, with
// the answer sent, when the hop is no address.
bool
WebTerminalConnection::_TakeForwardedAddress(const Request& request)
{
	if (!fListener.TrustsProxy(fAddress))
		return true;
	// Of several such headers, the last was added last.
	std::string forwarded;
	auto range = request.equal_range("X-Forwarded-For");
	for (auto field = range.first; field != range.second; ++field)
		forwarded.assign(field->value().data(), field->value().size());
	if (forwarded.empty())
		return true;
	size_t comma = forwarded.rfind(',');
	std::string hop = comma == std::string::npos ? forwarded
		: forwarded.substr(comma + 1);
	size_t first = hop.find_first_not_of(" \t");
	size_t last = hop.find_last_not_of(" \t");
	hop = first == std::string::npos ? std::string()
		: hop.substr(first, last - first + 1);
	BString address = CanonicalAddress(hop.c_str());
	if (address.Length() == 0) {
		HostLog("web %s: refused a request whose X-Forwarded-For names no"
			" address: \"%s\"", fAddress.String(),
			Loggable(forwarded).c_str());
		_Respond(400, "text/plain", "Bad request\n");
		return false;
	}
	fAddress = address;
	return true;
}


void
WebTerminalConnection::_Answer(const Request& request)
{
	if (!_TakeForwardedAddress(request))
		return;
	std::string target(request.target());
	if (!fListener.IsHostServed(std::string(request[http::field::host]))) {
		HostLog("web %s: refused a request for the host \"%s\"",
			fAddress.String(), Loggable(request[http::field::host]).c_str());
		_Respond(421, "text/plain", "Misdirected request\n");
		return;
	}
	if (websocket::is_upgrade(request)) {
		// "/ws?cols=C&rows=R": the page's size from the first byte, so the
		// board's welcome is laid out for the window it lands in.
		std::string query;
		size_t mark = target.find('?');
		if (mark != std::string::npos) {
			query = target.substr(mark + 1);
			target.erase(mark);
		}
		if (target != "/ws") {
			_Respond(404, "text/plain", "Not found\n");
			return;
		}
		_TakeSizeFrom(query);
		std::string origin(request[http::field::origin]);
		std::string host(request[http::field::host]);
		if (!fListener.IsOriginAllowed(origin, host)) {
			HostLog("web %s: refused a terminal from origin \"%s\"",
				fAddress.String(), PeerText::Escaped(origin).c_str());
			_Respond(403, "text/plain", "Forbidden\n");
			return;
		}
		_AcceptWebSocket(request);
		return;
	}
	if (request.method() != http::verb::get
		&& request.method() != http::verb::head) {
		_Respond(405, "text/plain", "Method not allowed\n");
		return;
	}
	const WebTerminalListener::PageFile* file
		= fListener.FindPageFile(target);
	if (file == nullptr) {
		_Respond(404, "text/plain", "Not found\n");
		return;
	}
	_Respond(200, file->contentType.c_str(),
		request.method() == http::verb::head ? std::string() : file->body);
}


// Every answer closes its connection: a page asks for a handful of files
// once, and a connection that is done is one less to keep.
void
WebTerminalConnection::_Respond(unsigned status, const char* contentType,
	std::string body)
{
	auto response = std::make_shared<http::response<http::string_body>>(
		http::status(status), 11);
	response->set(http::field::server, "zenbo");
	response->set(http::field::content_type, contentType);
	response->set(http::field::cache_control, "no-cache");
	response->set("X-Content-Type-Options", "nosniff");
	response->keep_alive(false);
	response->body() = std::move(body);
	response->prepare_payload();
	fResponse = response;
	fWriting = true;
	auto self = shared_from_this();
	http::async_write(fSocket, *response,
		[this, self](beast::error_code, size_t) {
			fWriting = false;
			fResponse.reset();
			beast::error_code ignored;
			fSocket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
			_Finish();
		});
	_WatchAsNeeded();
}


void
WebTerminalConnection::_AcceptWebSocket(const Request& request)
{
	fWebSocket.emplace(std::move(fSocket));
	fWebSocket->read_message_max(kMaxMessage);
	fWebSocket->auto_fragment(false);
	fWebSocket->set_option(websocket::stream_base::decorator(
		[](websocket::response_type& response) {
			response.set(http::field::server, "zenbo");
		}));
	fReading = true;
	auto self = shared_from_this();
	fWebSocket->async_accept(request,
		[this, self](beast::error_code error) {
			fReading = false;
			if (error) {
				_Finish();
				return;
			}
			fOpen = true;
			fListener.TerminalOpened(self);
			fListener.Events().TerminalOpened(this);
			_ReadMessage();
			if (!fWriting)
				_WriteNext();
		});
	_WatchAsNeeded();
}


void
WebTerminalConnection::_ReadMessage()
{
	if (fFinished)
		return;
	fInput.clear();
	fReading = true;
	auto self = shared_from_this();
	fWebSocket->async_read(fInput,
		[this, self](beast::error_code error, size_t) {
			fReading = false;
			if (error) {
				if (error == websocket::error::message_too_big)
					HostLog("web %s: a message over %zu bytes ended the call",
						fAddress.String(), kMaxMessage);
				_Finish();
				return;
			}
			std::string data = beast::buffers_to_string(fInput.data());
			if (fWebSocket->got_text())
				_HandleControl(data);
			else if (!fClosing)
				fListener.Events().BytesReceived(this, data.data(),
					data.size());
			_ReadMessage();
		});
	_WatchAsNeeded();
}


// A size in the query is taken whole or not at all: both numbers, each in
// the range a resize message may give.
void
WebTerminalConnection::_TakeSizeFrom(const std::string& query)
{
	int columns = 0;
	int rows = 0;
	char extra = 0;
	if (sscanf(query.c_str(), "cols=%d&rows=%d%c", &columns, &rows, &extra)
			!= 2 || columns < 1 || columns > 1000 || rows < 1 || rows > 1000)
		return;
	fColumns = columns;
	fRows = rows;
}


// The page's one control message: "resize COLUMNS ROWS" after every fit.
void
WebTerminalConnection::_HandleControl(const std::string& text)
{
	int columns = 0;
	int rows = 0;
	char extra = 0;
	if (sscanf(text.c_str(), "resize %d %d%c", &columns, &rows, &extra) != 2
		|| columns < 1 || columns > 1000 || rows < 1 || rows > 1000) {
		// A page that keeps sending them gets one line, and the count as
		// the call ends.
		if (fIgnoredControls++ == 0)
			HostLog("web %s: ignored a control message", fAddress.String());
		return;
	}
	fColumns = columns;
	fRows = rows;
	if (!fClosing)
		fListener.Events().WindowResized(this, fColumns, fRows);
}


void
WebTerminalConnection::_WriteNext()
{
	if (fFinished || !fOpen)
		return;
	auto self = shared_from_this();
	if (fOutput.empty()) {
		if (!fClosing)
			return;
		fWriting = true;
		fWebSocket->async_close(websocket::close_reason(
				websocket::close_code::normal, kCallEndedReason),
			[this, self](beast::error_code) {
				fWriting = false;
				_Finish();
			});
		_WatchAsNeeded();
		return;
	}
	size_t size = std::min(fOutput.size(), kWriteChunk);
	fSending.assign(fOutput, 0, size);
	fOutput.erase(0, size);
	fWebSocket->binary(true);
	fWriting = true;
	fWebSocket->async_write(asio::buffer(fSending),
		[this, self](beast::error_code error, size_t) {
			fWriting = false;
			if (error) {
				_Finish();
				return;
			}
			_WriteNext();
			_WatchAsNeeded();
			if (fOpen && !fClosing)
				fListener.Events().OutputDrained(this);
		});
	_WatchAsNeeded();
}


void
WebTerminalConnection::_Finish()
{
	if (fFinished)
		return;
	fFinished = true;
	fWatch.Stop();
	fPass.Release();
	if (fIgnoredControls > 1) {
		HostLog("web %s: ignored %llu control messages in all",
			fAddress.String(), (unsigned long long)fIgnoredControls);
	}
	// Operations still under way end with an error and drop their hold on
	// this object; closing is all that is needed.
	beast::error_code ignored;
	_Socket().close(ignored);
	if (fOpen) {
		fOpen = false;
		fListener.Events().ConnectionClosed(this);
		fListener.TerminalEnded(this);
	}
}


// The looper's poll is level-triggered, so the socket is watched only for
// what an operation in flight waits for.
void
WebTerminalConnection::_WatchAsNeeded()
{
	if (fFinished)
		return;
	uint32 wanted = 0;
	if (fReading)
		wanted |= B_DESCRIPTOR_READABLE;
	if (fWriting)
		wanted |= B_DESCRIPTOR_WRITABLE;
	status_t status = fWatch.Set(wanted);
	if (status != B_OK) {
		HostLog("web %s: cannot watch the connection: %s", fAddress.String(),
			strerror_status(status));
		_Finish();
	}
}
