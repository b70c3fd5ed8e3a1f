#include "WebCaller.h"

#include "Board.h"
#include "WebTerminalConnection.h"


WebCaller::WebCaller(Board& board, WebTerminalConnection* connection)
	:
	fBoard(board),
	fConnection(connection),
	fAddress(connection->Address()),
	fColumns(connection->Columns()),
	fRows(connection->Rows())
{
	// The page is xterm.js, which speaks UTF-8 whatever the browser.
	fDiscipline.SetCharacterSet(CharacterSet(board.Settings().charset,
		TerminalEncoding::kUtf8));
}


void
WebCaller::WindowResized(int32 columns, int32 rows)
{
	fColumns = columns;
	fRows = rows;
}


void
WebCaller::BytesReceived(const char* data, size_t size)
{
	std::string keys;
	fDiscipline.TranslateKeysAsTyped(data, size, keys);
	if (!keys.empty())
		fBoard.Typed(this, keys);
}


void
WebCaller::OutputDrained()
{
	fBoard.Drained(this);
}


void
WebCaller::ConnectionClosed()
{
	fConnection = nullptr;
	fBoard.HungUp(this);
}


void
WebCaller::Show(const std::string& text)
{
	if (fConnection == nullptr)
		return;
	std::string output;
	fDiscipline.TranslateText(text, output);
	fConnection->Send(output.data(), output.size());
}


size_t
WebCaller::Backlog() const
{
	return fConnection != nullptr ? fConnection->QueuedBytes() : 0;
}


void
WebCaller::Finish(CallEnd, const char* notice)
{
	if (fConnection == nullptr)
		return;
	if (notice != NULL)
		Show(notice);
	fConnection->Close();
}


BString
WebCaller::TerminalType() const
{
	// The page's terminal is xterm.js, whatever the browser.
	BString type("xterm.js ");
	type << fColumns << "x" << fRows;
	return type;
}


void
WebCaller::LoggedIn()
{
	if (fConnection != nullptr)
		fConnection->ReleasePass();
}
