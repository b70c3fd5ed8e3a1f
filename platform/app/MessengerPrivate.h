#pragma once

#include "LooperPrivate.h"
#include "Posix.h"
#include "Wire.h"

#include <BootVolume.h>

#include <memory>
#include <mutex>
#include <string>

// A messenger's connection to an application of another team. Copies of a
// messenger share it; one exchange at a time goes over it, so a reply is
// always read by the thread that waits for it.
class RemoteLink {
public:
								// The socket is connected to the application
								// whose socket file had the identity.
								RemoteLink(posix::Descriptor socket,
									const RuntimeSocketIdentity& identity);

			// Sends the message; with a reply, waits for it. Once the link
			// has broken, every send fails with B_BAD_PORT_ID.
			status_t			Send(const BMessage& message, BMessage* reply,
									bigtime_t deliveryTimeout,
									bigtime_t replyTimeout);
			bool				IsBroken() const;
			pid_t				Team() const { return fTeam; }
	const	RuntimeSocketIdentity& Identity() const { return fIdentity; }

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
			const RuntimeSocketIdentity fIdentity;
};

// The connections to other teams' applications that no messenger uses at
// the moment, per boot volume and signature, so that a new messenger for a
// signature (a session makes one for every message) need not connect
// again. A link is taken out while a messenger holds it, so one exchange at
// a time goes over it, and comes back when the last copy of that messenger
// goes. A link is given out again only while it is whole and the
// signature's socket file is still the one it was made to: an application
// that was started again since is reached at the next message.
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
