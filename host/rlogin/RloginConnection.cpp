#include "RloginConnection.h"

#include "Board.h"
#include "HostLog.h"
#include "RloginCallers.h"

#include <AppDefs.h>
#include <Looper.h>
#include <ZenboUserName.h>

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>


// What waits for a line that takes nothing; the board makes the door wait
// long before (its backlog), so only a line that never reads comes here.
static const size_t kMaxOutput = 1024 * 1024;
// Before its answer, a refusal starts with this byte, as RLogin servers
// tell a client that the call failed.
static const char kRefusalMark = '\1';


static std::string
Escaped(const std::string& text)
{
	return EscapedUserName(BString(text.c_str(), (int32)text.size()))
		.String();
}


RloginConnection::RloginConnection(BLooper* looper, Board& board,
	RloginCallers& callers, int descriptor, const BString& address)
	:
	fLooper(looper),
	fBoard(board),
	fCallers(callers),
	fDescriptor(descriptor),
	fAddress(address),
	fProtocol(*this)
{
}


RloginConnection::~RloginConnection()
{
	if (fDescriptor >= 0) {
		fLooper->UnwatchDescriptor(fDescriptor);
		close(fDescriptor);
	}
}


status_t
RloginConnection::Start()
{
	status_t status = fLooper->WatchDescriptor(fDescriptor,
		B_DESCRIPTOR_READABLE, [this](int, uint32 events) { _Event(events); });
	if (status != B_OK)
		return status;
	fStarted = true;
	// Refused (the board is busy) means finished already.
	fBoard.Arrived(this);
	return B_OK;
}


void
RloginConnection::Show(const std::string& text)
{
	if (fEnding || fClosing)
		return;
	_Answer();
	fProtocol.TranslateText(text, fOutput);
	_Flush();
}


void
RloginConnection::Finish(CallEnd, const char* notice)
{
	if (fEnding || fClosing)
		return;
	if (!fAnswered) {
		// Before the handshake's answer a board's client takes text only
		// as a refusal.
		fOutput += kRefusalMark;
		fAnswered = true;
	}
	if (notice != NULL)
		fProtocol.TranslateText(notice, fOutput);
	fClosing = true;
	_Flush();
}


BString
RloginConnection::TerminalType() const
{
	BString type(fTerminalType.empty() ? "unknown" : fTerminalType.c_str());
	if (fColumns > 0)
		type << " " << (int32)fColumns << "x" << (int32)fRows;
	return type;
}


// #pragma mark - The protocol's events


void
RloginConnection::HandshakeReceived(const RloginProtocol::Handshake& handshake)
{
	fTerminalType = PrintableUserName(BString(handshake.terminalType.c_str()))
		.String();
	RloginCallers::Judgement judgement = fCallers.Judge(this,
		fAddress.String(), handshake.clientUser);
	if (!judgement.admitted) {
		if (judgement.failureKey.empty()) {
			_Refuse(judgement.notice);
			return;
		}
		fBoard.VouchRefused(this, judgement.failureKey, judgement.notice);
		return;
	}
	fTag = judgement.tag;
	BString name(handshake.serverUser.c_str(),
		(int32)handshake.serverUser.size());
	name << "@" << fTag;
	HostLog("a call of %s's board from %s for %s", fTag.String(),
		fAddress.String(), Escaped(handshake.serverUser).c_str());
	// The board may refuse the name (answered as a refusal) or show the
	// door's prompt at once (answered before it).
	fBoard.Vouched(this, name);
	_Answer();
}


void
RloginConnection::KeysReceived(const std::string& keys)
{
	if (fAnswered && !fClosing && !fEnding)
		fBoard.Typed(this, keys);
}


void
RloginConnection::WindowChanged(uint16 columns, uint16 rows)
{
	fColumns = columns;
	fRows = rows;
}


void
RloginConnection::ProtocolFailed(const char* reason)
{
	HostLog("a malformed RLogin handshake from %s: %s", fAddress.String(),
		reason);
	RloginCallers::Judgement judgement = fCallers.Judge(this,
		fAddress.String(), std::string());
	fBoard.VouchRefused(this, judgement.failureKey.empty()
		? std::string("\1rlogin ") + fAddress.String() : judgement.failureKey,
		"This server did not understand the call.\n");
}


// #pragma mark - The socket


void
RloginConnection::_Answer()
{
	if (fAnswered || fClosing || fEnding || fTag.Length() == 0)
		return;
	fOutput += RloginProtocol::kAcknowledgement;
	fAnswered = true;
	_Flush();
	if (fEnding)
		return;
	// Urgent, as the protocol wants the question for the window's size;
	// the client answers among the keys.
	char request = (char)RloginProtocol::kWindowSizeRequest;
	send(fDescriptor, &request, 1, MSG_OOB | MSG_NOSIGNAL);
}


void
RloginConnection::_Refuse(const std::string& notice)
{
	// The board hears of the hang-up once the notice went out.
	Finish(CallEnd::kFailure, notice.c_str());
}


void
RloginConnection::_Event(uint32 events)
{
	if ((events & B_DESCRIPTOR_WRITABLE) != 0)
		_Flush();
	if ((events & (B_DESCRIPTOR_READABLE | B_DESCRIPTOR_HANGUP)) != 0)
		_Read();
}


void
RloginConnection::_Read()
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
	// Whatever comes while a refusal goes out is nobody's.
	if (!fClosing)
		fProtocol.Receive(buffer, (size_t)bytesRead);
	_Flush();
}


void
RloginConnection::_Flush()
{
	if (fEnding || !fStarted)
		return;
	if (fOutput.size() > kMaxOutput) {
		HostLog("the RLogin line from %s takes nothing; it is closed",
			fAddress.String());
		_End();
		return;
	}
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
RloginConnection::_Watch(bool writable)
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
RloginConnection::_End()
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
	fCallers.ConnectionEnded(this);
}
