#pragma once

#include "MessagePrivate.h"
#include "Posix.h"
#include "Wire.h"

#include <memory>
#include <mutex>

// One other application's connection to a looper, seen from the looper.
// The looper's thread reads it (without ever blocking on a slow peer) and
// dispatches what arrives; replies may be written from any thread, since a
// detached message is answered whenever its handler is ready. The object is
// shared by the looper and by every delivered message that may still answer
// through it, and its socket is closed only under the write lock, so a late
// reply never reaches a descriptor that was reused.
class Connection {
public:
	explicit					Connection(posix::Descriptor socket);
								Connection(const Connection&) = delete;
			Connection&			operator=(const Connection&) = delete;

			// Owned by the looper's thread.
			int					Socket() const { return fSocketFD; }
			wire::FrameReader&	Reader() { return fReader; }

			status_t			WriteReply(uint32 serial, const BMessage& reply,
									bigtime_t timeout);
			void				Close();

private:
			const int			fSocketFD;
			wire::FrameReader	fReader;

			std::mutex			fWriteLock;
			// Guarded by fWriteLock.
			posix::Descriptor	fSocket;
};

// Answers a request that came in over a connection.
class ConnectionReplyRoute : public ReplyRoute {
public:
								ConnectionReplyRoute(
									std::shared_ptr<Connection> connection,
									uint32 serial)
									: ReplyRoute(true),
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
// but it was delivered.
class UnansweredRoute : public ReplyRoute {
public:
								UnansweredRoute() : ReplyRoute(false) {}

protected:
	virtual	status_t			Deliver(const BMessage&, bigtime_t) override
									{ return B_BAD_REPLY; }
};
