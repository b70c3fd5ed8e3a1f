#pragma once

#include <Message.h>
#include <OS.h>

class BHandler;
class BLooper;
namespace BPrivate {
	class MessengerPrivate;
}

// The way to send a message to a looper: to an application of any team on
// the boot volume by its signature, or to a handler of this team. A
// messenger for a signature connects when it is made, so that InitCheck
// tells at once whether an application holds the signature; one for an
// application of this team posts straight into its queue. A synchronous
// SendMessage blocks its thread until the reply comes; an unanswered
// message, or a target that goes away, gives the reply B_NO_REPLY.
class B_EXPORT BMessenger {
public:
								BMessenger();
								BMessenger(const char* signature,
									team_id team = -1,
									status_t* result = NULL);
								BMessenger(const BHandler* handler,
									const BLooper* looper = NULL,
									status_t* result = NULL);
								BMessenger(const BMessenger& other);
			BMessenger&			operator=(const BMessenger& other);
								~BMessenger();

			status_t			InitCheck() const;
			bool				IsValid() const;
			bool				IsTargetLocal() const;
			team_id				Team() const;

	// Asynchronous: returns once the message is delivered.
			status_t			SendMessage(uint32 command,
									BHandler* replyTo = NULL) const;
			status_t			SendMessage(BMessage* message,
									BHandler* replyTo = NULL,
									bigtime_t timeout = B_INFINITE_TIMEOUT) const;
	// Synchronous: returns with the reply.
			status_t			SendMessage(uint32 command, BMessage* reply) const;
			status_t			SendMessage(BMessage* message, BMessage* reply,
									bigtime_t deliveryTimeout = B_INFINITE_TIMEOUT,
									bigtime_t replyTimeout = B_INFINITE_TIMEOUT) const;

private:
			std::shared_ptr<BPrivate::MessengerPrivate> fPrivate;
			status_t			fStatus = B_NO_INIT;
};
