#pragma once

#include <Message.h>

#include <atomic>
#include <memory>

namespace BPrivate {

// The way back to the sender of one delivered message. Only the delivered
// message holds it (copies do not), and it answers at most once: with the
// handler's reply, or with B_NO_REPLY when the message is deleted
// unanswered, so that a waiting sender is never left hanging. Replies may go
// out from any thread, since a detached message can be answered late.
class B_EXPORT ReplyRoute {
public:
								ReplyRoute(bool sourceWaits, bool sourceRemote)
									: fSourceWaits(sourceWaits),
									  fSourceRemote(sourceRemote) {}
	virtual						~ReplyRoute() = default;

			bool				IsSourceWaiting() const
									{ return fSourceWaits && !fAnswered; }
			// True when the message came over a connection from another
			// process, false when it was posted into a queue of this one.
			bool				IsSourceRemote() const { return fSourceRemote; }

			// B_DUPLICATE_REPLY once answered; B_BAD_REPLY when the sender
			// does not wait for a reply.
			status_t			Reply(const BMessage& reply,
									bigtime_t timeout);
			// The message goes unanswered: the sender gets B_NO_REPLY.
			void				Abandon();

protected:
	virtual	status_t			Deliver(const BMessage& reply,
									bigtime_t timeout) = 0;

private:
			const bool			fSourceWaits;
			const bool			fSourceRemote;
			std::atomic<bool>	fAnswered = false;
};

// Lets the kit's own classes reach a message's reply route.
class B_EXPORT MessagePrivate {
public:
	explicit					MessagePrivate(BMessage* message)
									: fMessage(message) {}

			void				SetReplyRoute(std::shared_ptr<ReplyRoute> route)
									{ fMessage->fReplyRoute = std::move(route); }
			bool				HasReplyRoute() const
									{ return fMessage->fReplyRoute != nullptr; }

private:
			BMessage*			fMessage;
};

}	// namespace BPrivate
