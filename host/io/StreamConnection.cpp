#include "StreamConnection.h"

#include <AppDefs.h>
#include <Looper.h>

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>


// What one read takes at most: a screenful of keys or a few frames.
static const size_t kReadChunk = 4096;


StreamConnection::StreamConnection(BLooper& looper, int descriptor,
	Owner& owner, size_t maxQueued)
	:
	fLooper(looper),
	fDescriptor(descriptor),
	fOwner(owner),
	fMaxQueued(maxQueued)
{
}


StreamConnection::~StreamConnection()
{
	if (fDescriptor < 0)
		return;
	if (fWatched != 0)
		fLooper.UnwatchDescriptor(fDescriptor);
	close(fDescriptor);
}


status_t
StreamConnection::Start()
{
	if (fEnded)
		return B_NOT_ALLOWED;
	status_t status = fLooper.WatchDescriptor(fDescriptor,
		B_DESCRIPTOR_READABLE,
		[this](int, uint32 events) { _Event(events); });
	if (status != B_OK)
		return status;
	fWatched = B_DESCRIPTOR_READABLE;
	return B_OK;
}


void
StreamConnection::Queue(const char* data, size_t size)
{
	if (fEnded || fFinishing)
		return;
	if (size > fMaxQueued - Queued()) {
		_End(EndReason::kOverflowed);
		return;
	}
	fOutput.append(data, size);
}


void
StreamConnection::Flush()
{
	// Before Start the output waits: the owner says when the line begins.
	if (fEnded || fWatched == 0)
		return;
	_Send();
	if (fEnded)
		return;
	if (fFinishing && Queued() == 0) {
		_End(EndReason::kFinished);
		return;
	}
	_Watch();
	if (!fEnded)
		fOwner.OutputFlushed();
}


void
StreamConnection::Finish()
{
	if (fEnded || fFinishing)
		return;
	fFinishing = true;
	Flush();
}


// #pragma mark - The socket


void
StreamConnection::_Event(uint32 events)
{
	if ((events & B_DESCRIPTOR_WRITABLE) != 0)
		Flush();
	if (!fEnded && (events & (B_DESCRIPTOR_READABLE | B_DESCRIPTOR_HANGUP))
			!= 0) {
		_Read();
	}
}


// One read per event: the looper reports the socket again while bytes are
// left, so one busy peer cannot keep the loop from the others.
void
StreamConnection::_Read()
{
	char buffer[kReadChunk];
	ssize_t bytesRead = recv(fDescriptor, buffer, sizeof(buffer), 0);
	if (bytesRead < 0 && (errno == EAGAIN || errno == EINTR))
		return;
	if (bytesRead == 0) {
		_End(EndReason::kHungUp);
		return;
	}
	if (bytesRead < 0) {
		_End(EndReason::kFailed);
		return;
	}
	fOwner.BytesReceived(buffer, (size_t)bytesRead);
}


void
StreamConnection::_Send()
{
	while (Queued() > 0) {
		ssize_t written = send(fDescriptor, fOutput.data() + fOutputStart,
			Queued(), MSG_NOSIGNAL);
		if (written < 0 && errno == EINTR)
			continue;
		if (written < 0 && errno == EAGAIN)
			break;
		if (written < 0) {
			_End(EndReason::kFailed);
			return;
		}
		fOutputStart += (size_t)written;
	}
	if (Queued() == 0) {
		fOutput.clear();
		fOutputStart = 0;
	} else if (fOutputStart >= fOutput.size() / 2) {
		// What was sent long ago goes in one move, not at every send.
		fOutput.erase(0, fOutputStart);
		fOutputStart = 0;
	}
}


// Room is watched for only while output waits: the looper's poll is
// level-triggered, and an idle socket always has room.
void
StreamConnection::_Watch()
{
	uint32 events = B_DESCRIPTOR_READABLE
		| (Queued() > 0 ? B_DESCRIPTOR_WRITABLE : 0);
	if (events == fWatched)
		return;
	fLooper.UnwatchDescriptor(fDescriptor);
	status_t status = fLooper.WatchDescriptor(fDescriptor, events,
		[this](int, uint32 ready) { _Event(ready); });
	if (status != B_OK) {
		fWatched = 0;
		_End(EndReason::kFailed);
		return;
	}
	fWatched = events;
}


void
StreamConnection::_End(EndReason reason)
{
	if (fEnded)
		return;
	fEnded = true;
	fOutput.clear();
	fOutputStart = 0;
	if (fDescriptor >= 0) {
		if (fWatched != 0)
			fLooper.UnwatchDescriptor(fDescriptor);
		fWatched = 0;
		shutdown(fDescriptor, SHUT_RDWR);
		close(fDescriptor);
		fDescriptor = -1;
	}
	fOwner.StreamEnded(reason);
}
