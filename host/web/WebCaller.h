#pragma once

#include "Terminal.h"
#include "LineDiscipline.h"

#include <String.h>

#include <string>

class Board;
class WebTerminalConnection;

// One caller at the web terminal as the board sees it: the page's keys and
// the board's texts pass through the caller's LineDiscipline as a telnet
// caller's do, the caller logs in inside the terminal as a telnet caller
// does, and the size the page's fit sends is the caller's window size.
// Runs on the host's looper; made by WebCallers, kept by the host, and told
// when its WebTerminalConnection has gone, after which it never touches it.
class WebCaller : public Terminal {
public:
								WebCaller(Board& board,
									WebTerminalConnection* connection);
								WebCaller(const WebCaller&) = delete;
			WebCaller&			operator=(const WebCaller&) = delete;

	// The connection's events
			void				WindowResized(int32 columns, int32 rows);
			void				BytesReceived(const char* data, size_t size);
			void				OutputDrained();
			void				ConnectionClosed();

	virtual	void				Show(const std::string& text) override;
	virtual	size_t				Backlog() const override;
	virtual	void				Finish(CallEnd end, const char* notice)
									override;
	virtual	const BString&		Address() const override { return fAddress; }
	virtual	BString				TerminalType() const override;
	virtual	const char*			Kind() const override { return "web"; }
	virtual	int32				Columns() const override { return fColumns; }
	virtual	std::string			DoorKeys(const std::string& typed) override
									{ return fDiscipline.DoorKeys(typed); }
	virtual	void				LoggedIn() override;

private:
			Board&				fBoard;
			WebTerminalConnection* fConnection;
			LineDiscipline		fDiscipline;
			BString				fAddress;
			int32				fColumns;
			int32				fRows;
};
