#include "SysopConnection.h"

#include "HostLog.h"
#include "SysopProtocol.h"

#include <Looper.h>

#include <sys/socket.h>
#include <unistd.h>


// An answer is one frame, which the frames' own limit bounds.
static const size_t kMaxSysopAnswer = kFrameHeaderSize + kMaxFramePayload;


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
	// One request, one answer: whatever follows the request is nobody's.
	if (fAnswered)
		return;
	fReader.Feed(data, size);
	uint8 type;
	std::string payload;
	status_t status = fReader.Next(&type, &payload);
	if (status == B_WOULD_BLOCK)
		return;
	std::vector<std::string> words;
	if (status != B_OK || type != kFrameSysopRequest
		|| DecodeSysopRequest(payload, &words) != B_OK) {
		HostLog("a sysop's command sent something this host cannot read");
		fStream.Close();
		return;
	}
	_Answer(words);
}


void
SysopConnection::StreamEnded(StreamConnection::EndReason)
{
	fEnded(this);
}


void
SysopConnection::_Answer(const std::vector<std::string>& words)
{
	fAnswered = true;
	Answer answer = fHandler(words);
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
