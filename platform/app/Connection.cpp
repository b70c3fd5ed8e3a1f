#include "Connection.h"

#include <AppDefs.h>

namespace BPrivate {


Connection::Connection(posix::Descriptor socket, EventPoller* poller,
	uint64 key)
	:
	fSocketFD(socket.Get()),
	fPoller(poller),
	fKey(key),
	fSocket(std::move(socket))
{
}


status_t
Connection::WriteReply(uint32 serial, const BMessage& reply)
{
	std::string frame;
	status_t status = wire::AppendFrame(frame, wire::FrameKind::kReply, 0,
		serial, reply);
	status_t result = status;
	if (status != B_OK) {
		// Too big to travel: the sender still learns that nothing came.
		frame.clear();
		status = wire::AppendFrame(frame, wire::FrameKind::kReply, 0, serial,
			BMessage(B_NO_REPLY));
		if (status != B_OK)
			return status;
	}

	std::lock_guard<std::mutex> lock(fWriteLock);
	if (!fSocket.IsValid() || fCutOff)
		return B_BAD_PORT_ID;
	if (fOutput.size() - fOutputStart + frame.size() > kMaxQueuedOutput) {
		// The peer does not read what it asked for. The looper sees the
		// hang-up and lets the connection go.
		fCutOff = true;
		posix::Shutdown(fSocket.Get());
		return B_BAD_PORT_ID;
	}
	fOutput += frame;
	status = _SendQueued();
	return status != B_OK ? status : result;
}


status_t
Connection::Flush()
{
	std::lock_guard<std::mutex> lock(fWriteLock);
	if (!fSocket.IsValid() || fCutOff)
		return B_BAD_PORT_ID;
	return _SendQueued();
}


void
Connection::Close()
{
	std::lock_guard<std::mutex> lock(fWriteLock);
	fSocket.Close();
	fOutput.clear();
	fOutputStart = 0;
}


status_t
Connection::_SendQueued()
{
	size_t sent = 0;
	status_t status = posix::SendSome(fSocket.Get(),
		fOutput.data() + fOutputStart, fOutput.size() - fOutputStart, &sent);
	if (status != B_OK) {
		fCutOff = true;
		posix::Shutdown(fSocket.Get());
		return status;
	}
	fOutputStart += sent;
	bool waiting = fOutputStart < fOutput.size();
	if (!waiting) {
		fOutput.clear();
		fOutputStart = 0;
	} else if (fOutputStart >= fOutput.size() / 2) {
		// Keeps the queue from growing by what was sent long ago.
		fOutput.erase(0, fOutputStart);
		fOutputStart = 0;
	}

	if (waiting != fWatchingRoom) {
		uint32 events = B_DESCRIPTOR_READABLE
			| (waiting ? B_DESCRIPTOR_WRITABLE : 0);
		status = fPoller->Modify(fSocketFD, events, fKey);
		if (status != B_OK) {
			fCutOff = true;
			posix::Shutdown(fSocket.Get());
			return status;
		}
		fWatchingRoom = waiting;
	}
	return B_OK;
}


status_t
ConnectionReplyRoute::Deliver(const BMessage& reply, bigtime_t timeout)
{
	// A reply never waits for its peer, so the timeout has nothing to bound.
	(void)timeout;
	return fConnection->WriteReply(fSerial, reply);
}


}	// namespace BPrivate
