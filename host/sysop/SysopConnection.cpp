#include "SysopConnection.h"

#include "HostLog.h"
#include "SysopProtocol.h"

#include <Looper.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>


// An answer is one frame, which the frames' own limit bounds.
static const size_t kMaxSysopAnswer = kFrameHeaderSize + kMaxFramePayload;
// The keys of one frame of a chat: a sysop's command sends what one read
// of a terminal gives; more is no typing, and would only swamp the
// caller's line.
static const size_t kMaxChatKeys = 4096;


SysopConnection::SysopConnection(BLooper* looper, int descriptor,
	Handler handler, std::function<void(SysopConnection*)> ended)
	:
	fDescriptor(descriptor),
	fHandler(std::move(handler)),
	fEnded(std::move(ended)),
	fStream(*looper, descriptor, *this, kMaxSysopAnswer)
{
}


SysopConnection::~SysopConnection()
{
	// Outside the board's own calls: it forgets the onlooker here.
	_Go();
}


status_t
SysopConnection::Start()
{
	// The socket file is the owner's alone; the peer's credentials say the
	// same once more, whatever the file's mode became.
	ucred peer = {};
	socklen_t size = sizeof(peer);
	if (getsockopt(fDescriptor, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0
		|| peer.uid != geteuid()) {
		HostLog("a sysop's command from user %d was refused", (int)peer.uid);
		return B_NOT_ALLOWED;
	}
	return fStream.Start();
}


// #pragma mark - The socket's events


void
SysopConnection::BytesReceived(const char* data, size_t size)
{
	// One request, one answer: whatever follows the request is nobody's,
	// unless the request stays open for the sysop's keys.
	if (fAnswered && !fOpen)
		return;
	fReader.Feed(data, size);
	// Until the answer: a spy, a chat or a wait answers at its end, and
	// what follows that is nobody's either.
	while (!fStream.HasEnded() && !(fAnswered && !fOpen)) {
		uint8 type;
		std::string payload;
		status_t status = fReader.Next(&type, &payload);
		if (status == B_WOULD_BLOCK)
			return;
		if (status != B_OK) {
			HostLog("a sysop's command sent something this host cannot read");
			fStream.Close();
			return;
		}
		if (fOpen) {
			_SessionFrame(type, payload);
			continue;
		}
		std::vector<std::string> words;
		if (type != kFrameSysopRequest
			|| DecodeSysopRequest(payload, &words) != B_OK) {
			HostLog("a sysop's command sent something this host cannot read");
			fStream.Close();
			return;
		}
		_Answer(words);
	}
}


void
SysopConnection::StreamEnded(StreamConnection::EndReason)
{
	fEnded(this);
}


// #pragma mark - Onlooker


void
SysopConnection::Shown(const std::string& text)
{
	if (fDone || fStream.HasEnded() || text.empty())
		return;
	if (fStream.Queued() + text.size() > kMaxWatchBacklog) {
		// The sysop's terminal does not keep up: rather than hold ever more
		// for it, or make the caller wait, the watch ends here.
		HostLog("the sysop's terminal fell behind the caller's screen; the"
			" watch ended");
		Answer answer;
		answer.done = false;
		answer.exitStatus = 1;
		answer.text = "the terminal fell behind the caller's screen, so the"
			" host stopped sending it";
		_Send(answer);
		_Go();
		return;
	}
	std::string frame;
	AppendFrame(frame, kFrameSysopShown, text);
	fStream.Queue(frame);
	fStream.Flush();
}


void
SysopConnection::Ended(const std::string& why)
{
	if (fDone || fStream.HasEnded())
		return;
	// The board has forgotten this onlooker already.
	fGone = nullptr;
	Answer answer;
	answer.text = why + "\n";
	_Send(answer);
}


// #pragma mark - Private


void
SysopConnection::_Answer(const std::vector<std::string>& words)
{
	fAnswered = true;
	Answer answer = fHandler(words, *this);
	if (answer.staysOpen) {
		fOpen = true;
		return;
	}
	_Send(answer);
}


void
SysopConnection::_Send(const Answer& answer)
{
	fDone = true;
	fOpen = false;
	std::string frame;
	if (answer.done)
		AppendFrame(frame, kFrameSysopDone, answer.text);
	else {
		AppendFrame(frame, kFrameSysopFailed,
			std::string(1, (char)answer.exitStatus) + answer.text);
	}
	fStream.Queue(frame);
	fStream.Finish();
}


void
SysopConnection::_SessionFrame(uint8 type, const std::string& payload)
{
	if (type == kFrameSysopKeys) {
		std::string keys;
		fDiscipline.TranslateKeys(payload.data(),
			std::min(payload.size(), kMaxChatKeys), keys);
		if (fKeysTyped && !keys.empty())
			fKeysTyped(keys);
		return;
	}
	if (type == kFrameSysopEnd) {
		if (fEndAsked)
			fEndAsked();
		return;
	}
	HostLog("a sysop's command sent something this host cannot read");
	fStream.Close();
}


void
SysopConnection::_Go()
{
	std::function<void()> gone = std::move(fGone);
	fGone = nullptr;
	if (gone)
		gone();
}
