#include "TelnetConnection.h"

#include "Board.h"
#include "HostLog.h"

#include <AppDefs.h>
#include <Looper.h>

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>


TelnetConnection::TelnetConnection(BLooper* looper, Board& board,
	int descriptor, const BString& address,
	std::function<void(TelnetConnection*)> ended)
	:
	fLooper(looper),
	fBoard(board),
	fDescriptor(descriptor),
	fAddress(address),
	fEnded(std::move(ended)),
	fProtocol(*this)
{
}


TelnetConnection::~TelnetConnection()
{
	if (fDescriptor >= 0) {
		fLooper->UnwatchDescriptor(fDescriptor);
		close(fDescriptor);
	}
}


status_t
TelnetConnection::Start()
{
	status_t status = fLooper->WatchDescriptor(fDescriptor,
		B_DESCRIPTOR_READABLE, [this](int, uint32 events) { _Event(events); });
	if (status != B_OK)
		return status;
	fStarted = true;
	fProtocol.Start();
	fBoard.Connected(this);
	_Flush();
	return B_OK;
}


void
TelnetConnection::Show(const std::string& text)
{
	if (fEnding || fClosing)
		return;
	fProtocol.SendText(text);
	_Flush();
}


void
TelnetConnection::Finish(CallEnd, const char* notice)
{
	if (fEnding || fClosing)
		return;
	if (notice != NULL)
		fProtocol.SendText(notice);
	fClosing = true;
	_Flush();
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


// #pragma mark - The protocol's events


void
TelnetConnection::KeysReceived(const std::string& keys)
{
	if (!fClosing && !fEnding)
		fBoard.Typed(this, keys);
}


void
TelnetConnection::BytesToSend(const char* bytes, size_t size)
{
	if (!fEnding)
		fOutput.append(bytes, size);
}


void
TelnetConnection::ProtocolFailed(const char* reason)
{
	HostLog("the telnet line from %s broke: %s", fAddress.String(),
		reason != NULL ? reason : "protocol error");
	_End();
}


// #pragma mark - The socket


void
TelnetConnection::_Event(uint32 events)
{
	if ((events & B_DESCRIPTOR_WRITABLE) != 0)
		_Flush();
	if ((events & (B_DESCRIPTOR_READABLE | B_DESCRIPTOR_HANGUP)) != 0)
		_Read();
}


void
TelnetConnection::_Read()
{
	if (fEnding)
		return;
	char buffer[2048];
	ssize_t bytesRead = recv(fDescriptor, buffer, sizeof(buffer), 0);
	if (bytesRead < 0 && (errno == EAGAIN || errno == EINTR))
		return;
	if (bytesRead <= 0) {
		_End();
		return;
	}
	fProtocol.Receive(buffer, (size_t)bytesRead);
	_Flush();
}


void
TelnetConnection::_Flush()
{
	if (fEnding || !fStarted)
		return;
	while (!fOutput.empty()) {
		ssize_t written = send(fDescriptor, fOutput.data(), fOutput.size(),
			MSG_NOSIGNAL);
		if (written < 0 && errno == EINTR)
			continue;
		if (written < 0 && errno == EAGAIN)
			break;
		if (written < 0) {
			_End();
			return;
		}
		fOutput.erase(0, (size_t)written);
	}
	if (fOutput.empty() && fClosing) {
		_End();
		return;
	}
	_Watch(!fOutput.empty());
	fBoard.Drained(this);
}


void
TelnetConnection::_Watch(bool writable)
{
	if (writable == fWatchingWritable)
		return;
	fWatchingWritable = writable;
	uint32 events = B_DESCRIPTOR_READABLE;
	if (writable)
		events |= B_DESCRIPTOR_WRITABLE;
	fLooper->UnwatchDescriptor(fDescriptor);
	fLooper->WatchDescriptor(fDescriptor, events,
		[this](int, uint32 watched) { _Event(watched); });
}


void
TelnetConnection::_End()
{
	if (fEnding)
		return;
	fEnding = true;
	fOutput.clear();
	fLooper->UnwatchDescriptor(fDescriptor);
	shutdown(fDescriptor, SHUT_RDWR);
	close(fDescriptor);
	fDescriptor = -1;
	if (fStarted)
		fBoard.HungUp(this);
	fEnded(this);
}
