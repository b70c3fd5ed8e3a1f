#include "WebCallers.h"

#include "Board.h"
#include "TerminalKeeper.h"
#include "WebCaller.h"
#include "WebTerminalConnection.h"


WebCallers::WebCallers(BLooper& looper, Board& board,
	TerminalKeeper& keeper)
	:
	fBoard(board),
	fKeeper(keeper),
	fListener(looper, *this)
{
}


WebCallers::~WebCallers()
{
	// The listener goes with its connections, telling nobody; the callers
	// go with the keeper.
}


status_t
WebCallers::Listen(const char* pageFolder, const char* address, uint16 port,
	BString* error)
{
	status_t status = fListener.LoadPage(pageFolder, error);
	if (status != B_OK)
		return status;
	return fListener.Listen(address, port, error);
}


void
WebCallers::TerminalOpened(WebTerminalConnection* connection)
{
	if (fRefusing) {
		connection->Close(WebTerminalConnection::CloseMode::kAtOnce);
		return;
	}
	auto caller = std::make_unique<WebCaller>(fBoard, connection);
	WebCaller* added = caller.get();
	fCallers[connection] = added;
	fKeeper.KeepTerminal(std::move(caller));
	fBoard.Connected(added);
}


void
WebCallers::WindowResized(WebTerminalConnection* connection, int32 columns,
	int32 rows)
{
	if (WebCaller* caller = _CallerFor(connection))
		caller->WindowResized(columns, rows);
}


void
WebCallers::BytesReceived(WebTerminalConnection* connection,
	const char* data, size_t size)
{
	if (WebCaller* caller = _CallerFor(connection))
		caller->BytesReceived(data, size);
}


void
WebCallers::OutputDrained(WebTerminalConnection* connection)
{
	if (WebCaller* caller = _CallerFor(connection))
		caller->OutputDrained();
}


void
WebCallers::ConnectionClosed(WebTerminalConnection* connection)
{
	auto found = fCallers.find(connection);
	if (found == fCallers.end())
		return;
	WebCaller* caller = found->second;
	fCallers.erase(found);
	caller->ConnectionClosed();
	fKeeper.TerminalEnded(caller);
}


WebCaller*
WebCallers::_CallerFor(WebTerminalConnection* connection) const
{
	auto found = fCallers.find(connection);
	return found != fCallers.end() ? found->second : nullptr;
}
