#pragma once

#include "Posix.h"

#include <SupportDefs.h>

#include <vector>

namespace BPrivate {

// One looper's wait on many descriptors at once (epoll), and the wake-up
// signal (eventfd) that other threads raise when they queue a message.
// Events are reported with the key the descriptor was added under.
class EventPoller {
public:
	struct Event {
		uint64				key;
		uint32				events;		// B_DESCRIPTOR_*
	};

								EventPoller();
								EventPoller(const EventPoller&) = delete;
			EventPoller&		operator=(const EventPoller&) = delete;

			status_t			InitCheck() const;

			status_t			Add(int descriptor, uint32 events, uint64 key);
			// Changes the events reported for a descriptor that was added;
			// any thread may call it.
			status_t			Modify(int descriptor, uint32 events,
									uint64 key);
			status_t			Remove(int descriptor);
			// Waits until something happens and fills events.
			status_t			Wait(std::vector<Event>& events);

private:
			posix::Descriptor	fEpoll;
};

// A counter that wakes the looper's poller when raised from any thread.
class B_EXPORT WakeSignal {
public:
								WakeSignal();
								WakeSignal(const WakeSignal&) = delete;
			WakeSignal&			operator=(const WakeSignal&) = delete;

			status_t			InitCheck() const;
			int					Descriptor() const { return fEvent.Get(); }
			void				Raise();
			// Takes the signal down again, on the looper's thread.
			void				Clear();

private:
			posix::Descriptor	fEvent;
};

}	// namespace BPrivate
