#include "TelnetConnection.h"

#include "Board.h"
#include "HostLog.h"

#include <Looper.h>


TelnetConnection::TelnetConnection(BLooper* looper, Board& board,
	int descriptor, const BString& address,
	std::function<void(TelnetConnection*)> ended)
	:
	fBoard(board),
	fAddress(address),
	fEnded(std::move(ended)),
	fProtocol(*this),
	fStream(*looper, descriptor, *this)
{
	fProtocol.SetDoorCharset(board.Settings().charset);
}


TelnetConnection::~TelnetConnection()
{
}


status_t
TelnetConnection::Start()
{
	status_t status = fStream.Start();
	if (status != B_OK)
		return status;
	fStarted = true;
	fProtocol.Start();
	fBoard.Connected(this);
	fStream.Flush();
	return B_OK;
}


void
TelnetConnection::Show(const std::string& text)
{
	if (_Queue(text))
		fStream.Flush();
}


void
TelnetConnection::ShowSoon(const std::string& text)
{
	if (_Queue(text))
		fStream.FlushSoon();
}


bool
TelnetConnection::_Queue(const std::string& text)
{
	if (fStream.HasEnded() || fStream.IsFinishing())
		return false;
	fProtocol.SendText(text);
	return true;
}


void
TelnetConnection::Finish(CallEnd, const char* notice)
{
	if (fStream.HasEnded() || fStream.IsFinishing())
		return;
	if (notice != NULL)
		fProtocol.SendText(notice);
	fStream.Finish();
}


BString
TelnetConnection::TerminalType() const
{
	BString type = fProtocol.TerminalType();
	if (fProtocol.Width() > 0) {
		if (type.Length() == 0)
			type = "unknown";
		type << " " << fProtocol.Width() << "x" << fProtocol.Height();
	}
	return type;
}


// A line that has not logged in may be dropped to make room for a caller
// from a less busy address.
// #pragma mark - The protocol's events


void
TelnetConnection::KeysReceived(const std::string& keys)
{
	if (!fStream.HasEnded() && !fStream.IsFinishing())
		fBoard.Typed(this, keys);
}


void
TelnetConnection::BytesToSend(const char* bytes, size_t size)
{
	fStream.Queue(bytes, size);
}


void
TelnetConnection::ProtocolFailed(const char* reason)
{
	HostLog("the telnet line from %s broke: %s", fAddress.String(),
		reason != NULL ? reason : "protocol error");
	fStream.Close();
}


// #pragma mark - The socket's events


void
TelnetConnection::BytesReceived(const char* data, size_t size)
{
	fProtocol.Receive(data, size);
	fStream.Flush();
}


void
TelnetConnection::OutputFlushed()
{
	if (fStarted)
		fBoard.Drained(this);
}


void
TelnetConnection::StreamEnded(StreamConnection::EndReason reason)
{
	if (reason == StreamConnection::EndReason::kOverflowed) {
		HostLog("the telnet caller from %s did not read more than %zu bytes"
			" of output; the line is closed", fAddress.String(),
			StreamConnection::kDefaultMaxQueued);
	}
	if (fStarted)
		fBoard.HungUp(this);
	fEnded(this);
}
