#pragma once

#include "EventPoller.h"
#include "MessagePrivate.h"
#include "Posix.h"
#include "Wire.h"

#include <memory>
#include <mutex>
#include <string>

namespace BPrivate {

// One other application's connection to a looper, seen from the looper.
// The looper's thread reads it (without ever blocking on a slow peer) and
// dispatches what arrives; replies may be written from any thread, since a
// detached message is answered whenever its handler is ready. A reply never
// waits for the peer: what the socket does not take at once stays in the
// connection's queue, and the looper, which then also watches the socket
// for room, sends the rest when the peer reads again. A peer that lets the
// queue grow past kMaxQueuedOutput is cut off. The object is shared by the
// looper and by every delivered message that may still answer through it,
// and its socket is closed only under the write lock, so a late reply never
// reaches a descriptor that was reused.
class Connection {
public:
	// More than a few of the largest replies waiting for one peer means
	// that it does not read them.
	static	const size_t		kMaxQueuedOutput
									= 4 * (wire::kHeaderSize
										+ wire::kMaxPayloadSize);

								// The poller is the looper's, which reports
								// the socket under key, and outlives every
								// write: the looper closes its connections
								// before the poller goes.
								Connection(posix::Descriptor socket,
									EventPoller* poller, uint64 key);
								Connection(const Connection&) = delete;
			Connection&			operator=(const Connection&) = delete;

			// Owned by the looper's thread.
			int					Socket() const { return fSocketFD; }
			wire::FrameReader&	Reader() { return fReader; }

			// Queues the reply and sends what the socket takes now. Fails
			// only when the connection is closed or has been cut off.
			status_t			WriteReply(uint32 serial, const BMessage& reply);
			// On the looper's thread, when the socket has room: sends what
			// waits. An error means the connection is to be closed.
			status_t			Flush();
			void				Close();

private:
			status_t			_SendQueued();

			const int			fSocketFD;
			EventPoller* const	fPoller;
			const uint64		fKey;
			wire::FrameReader	fReader;

			std::mutex			fWriteLock;
			// Guarded by fWriteLock.
			posix::Descriptor	fSocket;
			std::string			fOutput;
			size_t				fOutputStart = 0;
			bool				fWatchingRoom = false;
			bool				fCutOff = false;
};

// Answers a request that came in over a connection.
class ConnectionReplyRoute : public ReplyRoute {
public:
								ConnectionReplyRoute(
									std::shared_ptr<Connection> connection,
									uint32 serial)
									: ReplyRoute(true, true),
									  fConnection(std::move(connection)),
									  fSerial(serial) {}

protected:
	virtual	status_t			Deliver(const BMessage& reply,
									bigtime_t timeout) override;

private:
			std::shared_ptr<Connection> fConnection;
			const uint32		fSerial;
};

// The route of a message whose sender does not wait: it cannot be answered,
// but it was delivered, from this team or over a connection.
class UnansweredRoute : public ReplyRoute {
public:
	explicit					UnansweredRoute(bool sourceRemote = false)
									: ReplyRoute(false, sourceRemote) {}

protected:
	virtual	status_t			Deliver(const BMessage&, bigtime_t) override
									{ return B_BAD_REPLY; }
};

}	// namespace BPrivate
