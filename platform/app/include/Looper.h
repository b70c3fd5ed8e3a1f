#pragma once

#include <Handler.h>
#include <OS.h>

#include <functional>

class BMessage;
namespace BPrivate {
	class LooperPrivate;
}

// A thread with a queue of messages, dispatched one at a time to the
// looper's MessageReceived with the looper locked. Its thread waits, in one
// event loop, on the in-process queue, on the sockets of other applications
// that talk to it, and on any descriptor the looper was asked to watch.
// Other threads post to it or lock it; they never run its handlers.
class B_EXPORT BLooper : public BHandler {
public:
								BLooper(const char* name = NULL);
	virtual						~BLooper();

	// Running. A plain looper runs on a thread of its own; BApplication
	// runs on the thread that calls its Run.
	virtual	thread_id			Run();
	// On the looper's own thread: ends the loop after the current message.
	// From another thread: asks the loop to end and waits until it has.
	// Messages still queued are deleted unanswered (B_NO_REPLY). The
	// looper object itself stays; its owner deletes it.
	virtual	void				Quit();
	virtual	bool				QuitRequested();
			thread_id			Thread() const;

	// Messaging
			status_t			PostMessage(uint32 command);
			status_t			PostMessage(BMessage* message,
									BHandler* handler = NULL);
	virtual	void				DispatchMessage(BMessage* message,
									BHandler* handler);
			BMessage*			CurrentMessage() const;
			// Takes the current message out of the loop's hands: it is not
			// deleted after dispatch, and the caller may answer it later,
			// from any thread, then delete it.
			BMessage*			DetachCurrentMessage();

	// Locking (recursive; the loop holds the lock while it dispatches)
			bool				Lock();
			status_t			LockWithTimeout(bigtime_t timeout);
			void				Unlock();
			bool				IsLocked() const;
			thread_id			LockingThread() const;

	// Descriptors the loop waits on beside its queue. The hook runs on the
	// looper's thread, with the looper locked, with B_DESCRIPTOR_* events.
	typedef std::function<void(int descriptor, uint32 events)> DescriptorHook;
			status_t			WatchDescriptor(int descriptor, uint32 events,
									DescriptorHook hook);
			status_t			UnwatchDescriptor(int descriptor);

protected:
			BPrivate::LooperPrivate* fPrivate = nullptr;

private:
	friend class BApplication;
	friend class BMessenger;
	friend class BPrivate::LooperPrivate;
};
