#include "SysopConnection.h"

#include "HostLog.h"
#include "SysopProtocol.h"

#include <AppDefs.h>
#include <Looper.h>

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>


SysopConnection::SysopConnection(BLooper* looper, int descriptor,
	Handler handler, std::function<void(SysopConnection*)> ended)
	:
	fLooper(looper),
	fDescriptor(descriptor),
	fHandler(std::move(handler)),
	fEnded(std::move(ended))
{
}


SysopConnection::~SysopConnection()
{
	if (fDescriptor >= 0) {
		fLooper->UnwatchDescriptor(fDescriptor);
		close(fDescriptor);
	}
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
	return fLooper->WatchDescriptor(fDescriptor, B_DESCRIPTOR_READABLE,
		[this](int, uint32 events) { _Event(events); });
}


void
SysopConnection::_Event(uint32 events)
{
	if ((events & B_DESCRIPTOR_WRITABLE) != 0)
		_Flush();
	if ((events & (B_DESCRIPTOR_READABLE | B_DESCRIPTOR_HANGUP)) != 0)
		_Read();
}


void
SysopConnection::_Read()
{
	if (fEnding || fAnswered)
		return;
	char buffer[4096];
	ssize_t bytesRead = recv(fDescriptor, buffer, sizeof(buffer), 0);
	if (bytesRead < 0 && (errno == EAGAIN || errno == EINTR))
		return;
	if (bytesRead <= 0) {
		_End();
		return;
	}
	fReader.Feed(buffer, (size_t)bytesRead);
	uint8 type;
	std::string payload;
	status_t status = fReader.Next(&type, &payload);
	if (status == B_WOULD_BLOCK)
		return;
	std::vector<std::string> words;
	if (status != B_OK || type != kFrameSysopRequest
		|| DecodeSysopRequest(payload, &words) != B_OK) {
		HostLog("a sysop's command sent something this host cannot read");
		_End();
		return;
	}

	fAnswered = true;
	Answer answer = fHandler(words);
	if (answer.done)
		AppendFrame(fOutput, kFrameSysopDone, answer.text);
	else {
		AppendFrame(fOutput, kFrameSysopFailed,
			std::string(1, (char)answer.exitStatus) + answer.text);
	}
	_Flush();
}


void
SysopConnection::_Flush()
{
	if (fEnding)
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
	if (fOutput.empty()) {
		_End();
		return;
	}
	if (!fWatchingWritable) {
		fWatchingWritable = true;
		fLooper->UnwatchDescriptor(fDescriptor);
		fLooper->WatchDescriptor(fDescriptor,
			B_DESCRIPTOR_READABLE | B_DESCRIPTOR_WRITABLE,
			[this](int, uint32 events) { _Event(events); });
	}
}


void
SysopConnection::_End()
{
	if (fEnding)
		return;
	fEnding = true;
	fLooper->UnwatchDescriptor(fDescriptor);
	close(fDescriptor);
	fDescriptor = -1;
	fEnded(this);
}
