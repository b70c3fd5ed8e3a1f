#include "Connection.h"

#include <string>


// A peer that asks for replies but does not read them must not hold a
// looper's thread for long: after this, its connection is given up.
static const bigtime_t kStalledPeerTimeout = 5000000;


Connection::Connection(posix::Descriptor socket)
	:
	fSocketFD(socket.Get()),
	fSocket(std::move(socket))
{
}


status_t
Connection::WriteReply(uint32 serial, const BMessage& reply, bigtime_t timeout)
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

	if (timeout > kStalledPeerTimeout)
		timeout = kStalledPeerTimeout;
	std::lock_guard<std::mutex> lock(fWriteLock);
	if (!fSocket.IsValid())
		return B_BAD_PORT_ID;
	status = posix::SendAll(fSocket.Get(), frame.data(), frame.size(), timeout);
	if (status != B_OK) {
		// Half a frame may have gone out; nothing after it would be read
		// right. The looper sees the hang-up and lets the connection go.
		posix::Shutdown(fSocket.Get());
		result = status;
	}
	return result;
}


void
Connection::Close()
{
	std::lock_guard<std::mutex> lock(fWriteLock);
	fSocket.Close();
}


status_t
ConnectionReplyRoute::Deliver(const BMessage& reply, bigtime_t timeout)
{
	return fConnection->WriteReply(fSerial, reply, timeout);
}
