#pragma once

#include "LooperPrivate.h"
#include "Posix.h"
#include "Wire.h"

#include <memory>
#include <mutex>

// A messenger's connection to an application of another team. Copies of a
// messenger share it; one exchange at a time goes over it, so a reply is
// always read by the thread that waits for it.
class RemoteLink {
public:
	explicit					RemoteLink(posix::Descriptor socket);

			// Sends the message; with a reply, waits for it. Once the link
			// has broken, every send fails with B_BAD_PORT_ID.
			status_t			Send(const BMessage& message, BMessage* reply,
									bigtime_t deliveryTimeout,
									bigtime_t replyTimeout);
			bool				IsBroken() const;
			pid_t				Team() const { return fTeam; }

private:
			status_t			_ReadReply(uint32 serial, BMessage* reply,
									bigtime_t timeout);

	mutable	std::mutex			fLock;
			// Guarded by fLock.
			posix::Descriptor	fSocket;
			wire::FrameReader	fReader;
			uint32				fNextSerial = 1;
			bool				fBroken = false;
			const pid_t			fTeam;
};

// What a messenger points at: the queue of a looper of this team, or a
// link to another team's application.
class MessengerPrivate {
public:
			std::shared_ptr<LooperPort>	fPort;
			BHandler*			fHandler = nullptr;
			std::unique_ptr<RemoteLink>	fRemote;
};
