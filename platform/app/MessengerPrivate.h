#pragma once

#include "LooperPrivate.h"
#include "Posix.h"
#include "Wire.h"

#include <memory>
#include <mutex>
#include <string>

namespace BPrivate {

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
			// False once an exchange found the link broken; unlike IsBroken
			// it does not look whether the peer has hung up since.
			bool				HasFailed() const;
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

// The connections to other teams' applications that no messenger uses at
// the moment, per boot volume and signature, so that a new messenger for a
// signature (a session makes one for every message) need not connect
// again. A link is taken out while a messenger holds it, so one exchange at
// a time goes over it, and comes back when the last copy of that messenger
// goes: to a place of the thread's own, which the thread's next messenger
// takes without a lock, else to the pool the threads share. A link is
// given out again only while its peer has not hung up. That
// is enough to reach the application that holds the signature now: an
// application closes its connections before it gives up its signature
// (and a process that dies closes all of them), so a link whose peer still
// listens leads to the holder, and after a restart the old links read as
// hung up and the next message connects to the new one.
class RemoteLinkPool {
public:
	// A link to the application that holds the signature now: one kept
	// from before, or a new connection.
	static	status_t			Acquire(const char* signature,
									std::unique_ptr<RemoteLink>* link,
									std::string* poolKey);
	// Takes the link back, or closes it when it is broken or enough
	// others wait.
	static	void				Release(const std::string& poolKey,
									std::unique_ptr<RemoteLink> link);
};

// What a messenger points at: the queue of a looper of this team, or a
// link to another team's application.
class MessengerPrivate {
public:
								MessengerPrivate() = default;
								MessengerPrivate(const MessengerPrivate&) = delete;
			MessengerPrivate&	operator=(const MessengerPrivate&) = delete;
								~MessengerPrivate();

			std::shared_ptr<LooperPort>	fPort;
			BHandler*			fHandler = nullptr;
			std::unique_ptr<RemoteLink>	fRemote;
			// Where fRemote goes back to when the last copy goes.
			std::string			fPoolKey;
};

}	// namespace BPrivate
