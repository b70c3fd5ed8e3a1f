#pragma once

#include <Looper.h>
#include <SupportDefs.h>

// One descriptor on the host's looper, watched for a set of events that
// changes with the work in flight (readable while a read is wanted,
// writable only while output waits: the looper's poll is level-triggered,
// and an idle socket always has room). The looper takes a new set only by
// a new watch, which this makes only when the set has changed. It neither
// owns nor closes the descriptor; it stops watching as it goes.
class DescriptorWatch {
public:
								DescriptorWatch(BLooper& looper,
									int descriptor,
									BLooper::DescriptorHook hook);
								DescriptorWatch(const DescriptorWatch&)
									= delete;
			DescriptorWatch&	operator=(const DescriptorWatch&) = delete;
								~DescriptorWatch() { Stop(); }

	// B_DESCRIPTOR_* events; 0 stops watching. On an error nothing is
	// watched.
	[[nodiscard]] status_t		Set(uint32 events);
			void				Stop();

			uint32				Events() const { return fEvents; }

private:
			BLooper&			fLooper;
			const int			fDescriptor;
			BLooper::DescriptorHook fHook;
			uint32				fEvents = 0;
};
