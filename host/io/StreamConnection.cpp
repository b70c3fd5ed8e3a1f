#include "StreamConnection.h"

#include "OutputPacer.h"

#include <AppDefs.h>

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>


// What one read takes at most: a screenful of keys or a few frames.
static const size_t kReadChunk = 4096;


StreamConnection::StreamConnection(BLooper& looper, int descriptor,
	Owner& owner, size_t maxQueued)
	:
	fDescriptor(descriptor),
	fWatch(looper, descriptor,
		[this](int, uint32 events) { _Event(events); }),
	fOwner(owner),
	fMaxQueued(maxQueued)
{
}


StreamConnection::~StreamConnection()
{
	if (fPacer != nullptr)
		fPacer->Forget(this);
	if (fDescriptor < 0)
		return;
	fWatch.Stop();
	close(fDescriptor);
}


status_t
StreamConnection::Start()
{
	if (fEnded)
		return B_NOT_ALLOWED;
	status_t status = fWatch.Set(B_DESCRIPTOR_READABLE);
	if (status == B_OK)
		fStarted = true;
	return status;
}


void
StreamConnection::Queue(const char* data, size_t size)
{
	if (fEnded || fFinishing || fEnding)
		return;
	if (size > fMaxQueued - Queued()) {
		_EndOnNextTurn(EndReason::kOverflowed);
		return;
	}
	fOutput.append(data, size);
}


void
StreamConnection::Flush()
{
	// Before Start the output waits: the owner says when the line begins.
	if (fEnded || !fStarted || fEnding)
		return;
	fHeld = false;
	_Send();
	if (fEnded || fEnding)
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
StreamConnection::FlushSoon()
{
	if (fPacer == nullptr) {
		Flush();
		return;
	}
	if (fEnded || !fStarted || fEnding)
		return;
	if (Queued() >= OutputPacer::kMostHeld) {
		Flush();
		return;
	}
	if (fHeld)
		return;
	fHeld = true;
	fPacer->Hold(this, system_time() + OutputPacer::kHoldBack);
}


void
StreamConnection::HoldEnded()
{
	if (fHeld)
		Flush();
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
	if (!fEnding && (events & B_DESCRIPTOR_WRITABLE) != 0)
		Flush();
	if (fEnding) {
		_End(fEndingReason);
		return;
	}
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
			_EndOnNextTurn(EndReason::kFailed);
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


// The owner queues and flushes from within its own calls, and whoever
// called it (the board showing a caller a text) goes on with the caller
// afterwards: an end found there (a queue past its cap, a send that
// failed) is reported on the looper's next turn, never from within Queue
// or Flush. The socket is shut down at once, so that the next turn comes
// (it reads as hung up) and the peer hears no more.
void
StreamConnection::_EndOnNextTurn(EndReason reason)
{
	if (fEnding)
		return;
	fEnding = true;
	fEndingReason = reason;
	fOutput.clear();
	fOutputStart = 0;
	if (fDescriptor >= 0)
		shutdown(fDescriptor, SHUT_RDWR);
}


// Room is watched for only while output waits.
void
StreamConnection::_Watch()
{
	if (fWatch.Set(B_DESCRIPTOR_READABLE
			| (Queued() > 0 ? B_DESCRIPTOR_WRITABLE : 0)) != B_OK) {
		_End(EndReason::kFailed);
	}
}


void
StreamConnection::HoldPass(const PeerGate::Pass& pass)
{
	fPass = pass;
	fPass.SetDrop([this] { Close(); });
}


void
StreamConnection::_End(EndReason reason)
{
	if (fEnded)
		return;
	fEnded = true;
	fPass.Release();
	fOutput.clear();
	fOutputStart = 0;
	if (fDescriptor >= 0) {
		fWatch.Stop();
		shutdown(fDescriptor, SHUT_RDWR);
		close(fDescriptor);
		fDescriptor = -1;
	}
	fOwner.StreamEnded(reason);
}
