#pragma once

#include "Connection.h"
#include "EventPoller.h"
#include "MessagePrivate.h"

#include <Looper.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace BPrivate {

// The in-process door of a looper: its queue, shared with every messenger
// that targets the looper, so that a messenger may outlive the looper. Once
// closed it takes no more messages, and a message that can no longer be
// delivered is deleted, which releases a waiting sender with B_NO_REPLY.
class B_EXPORT LooperPort {
public:
	struct Entry {
		BMessage*			message;
		BHandler*			handler;
	};

								LooperPort(BLooper* looper) : fLooper(looper) {}

			status_t			InitCheck() const { return fWake.InitCheck(); }

			// Takes the message on success; leaves it to the caller on error.
			status_t			Post(BMessage* message, BHandler* handler);
			bool				Take(Entry* entry);
			// Closes the port and deletes what is still queued.
			void				Close();
			bool				IsOpen() const;

			int					WakeDescriptor() const
									{ return fWake.Descriptor(); }
			void				ClearWake() { fWake.Clear(); }
			void				Wake() { fWake.Raise(); }

			BLooper*			Looper() const { return fLooper; }
			// The thread that runs the loop, once it runs.
			std::atomic<thread_id> fLoopThread = -1;

private:
			BLooper* const		fLooper;
			WakeSignal			fWake;

	mutable	std::mutex			fLock;
			// Guarded by fLock.
			std::deque<Entry>	fQueue;
			bool				fClosed = false;
};

// Where a sender of this team waits for its reply.
struct LocalReplySlot {
			std::mutex			lock;
			std::condition_variable	answered;
			// Guarded by lock.
			bool				done = false;
			BMessage			reply;
};

class B_EXPORT LocalReplyRoute : public ReplyRoute {
public:
	explicit					LocalReplyRoute(
									std::shared_ptr<LocalReplySlot> slot)
									: ReplyRoute(true, false),
									  fSlot(std::move(slot)) {}

protected:
	virtual	status_t			Deliver(const BMessage& reply,
									bigtime_t timeout) override;

private:
			std::shared_ptr<LocalReplySlot> fSlot;
};

// The calling thread's id, as the looper records owners and loop threads.
B_EXPORT thread_id current_thread_id();

// The state of one looper behind BLooper: the event loop, the lock, the
// connections of other applications and the watched descriptors. Everything
// not marked otherwise belongs to the loop's thread.
class LooperPrivate {
public:
	explicit					LooperPrivate(BLooper* looper);
								~LooperPrivate();

			status_t			InitCheck() const { return fStatus; }
	const	std::shared_ptr<LooperPort>& Port() const { return fPort; }

	// The loop
			// Runs the loop on the calling thread until it is asked to quit;
			// calls the hook first, locked.
			void				RunLoop(const std::function<void()>& beforeFirst);
			// Called on any thread; see BLooper::Quit.
			void				Quit();
			bool				IsRunning() const { return fState == kRunning; }
			bool				HasRun() const { return fState != kNotStarted; }
			void				StartThread();
			void				JoinThread();

			// The listening socket of an application; its connections are
			// accepted and read by the loop.
			status_t			SetListener(int listener);
			// Runs on the loop's thread when the loop has ended, before
			// anyone waiting for the end is released.
			void				SetFinishHook(std::function<void()> hook);

	// Dispatching
			BMessage*			CurrentMessage() const { return fCurrentMessage; }
			BMessage*			DetachCurrentMessage();

	// Locking
			status_t			Lock(bigtime_t timeout);
			void				Unlock();
			bool				IsLocked() const;
			thread_id			LockingThread() const { return fOwner; }

	// Descriptors (any thread)
			status_t			Watch(int descriptor, uint32 events,
									BLooper::DescriptorHook hook);
			status_t			Unwatch(int descriptor);

private:
	enum State { kNotStarted, kRunning, kFinished };
	struct WatchEntry {
		int						descriptor;
		BLooper::DescriptorHook	hook;
	};

			void				_Dispatch(BMessage* message, BHandler* handler);
			void				_DrainQueue();
			void				_AcceptConnections();
			void				_ServeConnection(uint64 key, uint32 events);
			void				_CloseConnection(uint64 key);
			void				_RunWatch(uint64 key, uint32 events);
			bool				_IsWatched(uint64 key,
									const std::shared_ptr<WatchEntry>& watch);
			void				_Finish();
			void				_ReleaseLockFully(int32* count);
			void				_TakeLockAgain(int32 count);

			BLooper* const		fLooper;
			status_t			fStatus = B_NO_INIT;
			std::shared_ptr<LooperPort> fPort;
			EventPoller			fPoller;
			int					fListener = -1;
			// Held back for the moment the team runs out of descriptors.
			posix::Descriptor	fSpare;
			std::function<void()> fFinishHook;
			std::map<uint64, std::shared_ptr<Connection>> fConnections;
			// What one wake-up reads from a connection, handed to that
			// connection's reader, so that a connection keeps only the part
			// of a frame that has not come whole yet.
			std::vector<char>	fReadBuffer;
			uint64				fNextConnectionKey = 0;
			BMessage*			fCurrentMessage = nullptr;
			bool				fDetached = false;
			std::atomic<bool>	fQuitting = false;

			// Set from any thread.
			std::atomic<bool>	fQuitRequested = false;
			std::atomic<State>	fState = kNotStarted;
			std::mutex			fFinishLock;
			std::condition_variable	fFinished;
			std::thread			fThread;

			// The looper's lock: recursive, with its owner known. The owner
			// is also read without fLockState, to tell whether the calling
			// thread holds the lock.
			std::mutex			fLockState;
			std::condition_variable	fLockFree;
			std::atomic<thread_id> fOwner = -1;
			int32				fLockCount = 0;

			std::mutex			fWatchLock;
			// Guarded by fWatchLock. A watch is reported under an id of its
			// own, never used again, so that an event for a descriptor that
			// was closed, and whose number went to a new watch within the
			// same batch of events, finds no watcher.
			std::map<uint64, std::shared_ptr<WatchEntry>> fWatches;
			std::map<int, uint64> fWatchIds;
			uint64				fNextWatchId = 0;
};

}	// namespace BPrivate
