#pragma once

#include <SupportDefs.h>

class WebTerminalConnection;

// What a web terminal's connection tells its owner, the host's core, on the
// looper's thread. A connection is known from the moment its WebSocket is
// open (plain page requests are the listener's own affair). The owner
// answers through the connection (Send, Close). ConnectionClosed is the
// last call for a connection, whatever ended it; the object goes once the
// library has finished with it, so the owner forgets it there.
class WebTerminalEvents {
public:
	virtual						~WebTerminalEvents() = default;

	virtual	void				TerminalOpened(
									WebTerminalConnection* connection) = 0;
	// The page's terminal was fitted to its window.
	virtual	void				WindowResized(
									WebTerminalConnection* connection,
									int32 columns, int32 rows) = 0;
	// Bytes as the page's terminal sent them (UTF-8, Enter as CR): no
	// Enter or backspace rules applied yet.
	virtual	void				BytesReceived(
									WebTerminalConnection* connection,
									const char* data, size_t size) = 0;
	// A write to the page has ended: an owner that holds back more while
	// the queue is long looks again.
	virtual	void				OutputDrained(WebTerminalConnection*) {}
	virtual	void				ConnectionClosed(
									WebTerminalConnection* connection) = 0;
};
