#include "RloginConnection.h"

#include "Board.h"
#include "HostLog.h"
#include "RloginCallers.h"

#include <ZenboUserName.h>

#include <sys/socket.h>


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
	fBoard(board),
	fCallers(callers),
	fDescriptor(descriptor),
	fAddress(address),
	fProtocol(*this),
	fStream(*looper, descriptor, *this)
{
}


RloginConnection::~RloginConnection()
{
}


status_t
RloginConnection::Start()
{
	status_t status = fStream.Start();
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
	if (_Queue(text))
		fStream.Flush();
}


void
RloginConnection::ShowSoon(const std::string& text)
{
	if (_Queue(text))
		fStream.FlushSoon();
}


bool
RloginConnection::_Queue(const std::string& text)
{
	if (fStream.HasEnded() || fStream.IsFinishing())
		return false;
	_Answer();
	std::string output;
	fProtocol.TranslateText(text, output);
	fStream.Queue(output);
	return true;
}


void
RloginConnection::Finish(CallEnd, const char* notice)
{
	if (fStream.HasEnded() || fStream.IsFinishing())
		return;
	std::string output;
	if (!fAnswered) {
		// Before the handshake's answer a board's client takes text only
		// as a refusal.
		output += kRefusalMark;
		fAnswered = true;
	}
	if (notice != NULL)
		fProtocol.TranslateText(notice, output);
	fStream.Queue(output);
	fStream.Finish();
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
		fAddress.String(), handshake.clientUser, handshake.serverUser);
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
	if (fAnswered && !fStream.HasEnded() && !fStream.IsFinishing())
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
	fBoard.VouchRefused(this, RloginCallers::FailureKey(fAddress.String()),
		"This server did not understand the call.\n");
}


// #pragma mark - The socket's events


void
RloginConnection::BytesReceived(const char* data, size_t size)
{
	// Whatever comes while a refusal goes out is nobody's.
	if (!fStream.IsFinishing())
		fProtocol.Receive(data, size);
	fStream.Flush();
}


void
RloginConnection::OutputFlushed()
{
	if (fStarted)
		fBoard.Drained(this);
}


// A call that has not logged in may be dropped to make room for a caller
// from a less busy address.
void
RloginConnection::StreamEnded(StreamConnection::EndReason reason)
{
	if (reason == StreamConnection::EndReason::kOverflowed) {
		HostLog("the RLogin line from %s takes nothing; it is closed",
			fAddress.String());
	}
	if (fStarted)
		fBoard.HungUp(this);
	fCallers.ConnectionEnded(this);
}


void
RloginConnection::_Answer()
{
	if (fAnswered || fTag.Length() == 0 || fStream.HasEnded()
		|| fStream.IsFinishing()) {
		return;
	}
	fStream.Queue(std::string(1, RloginProtocol::kAcknowledgement));
	fAnswered = true;
	fStream.Flush();
	if (fStream.HasEnded())
		return;
	// Urgent, as the protocol wants the question for the window's size
	// (after the answer, which the stream has sent or holds first); the
	// client answers among the keys.
	char request = (char)RloginProtocol::kWindowSizeRequest;
	send(fDescriptor, &request, 1, MSG_OOB | MSG_NOSIGNAL);
}


void
RloginConnection::_Refuse(const std::string& notice)
{
	// The board hears of the hang-up once the notice went out.
	Finish(CallEnd::kFailure, notice.c_str());
}
