#include <Looper.h>

#include "LooperPrivate.h"

#include <Message.h>

#include <mutex>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace BPrivate;


// Keys under which the loop's descriptors report their events.
static const uint64 kWakeKey = 0;
static const uint64 kListenerKey = 1;
static const uint64 kConnectionTag = 1ULL << 62;
static const uint64 kWatchTag = 2ULL << 62;
static const uint64 kTagMask = 3ULL << 62;

// How many bytes one wake-up reads from a connection at most, so that one
// busy peer cannot keep the loop from its other work.
static const size_t kReadChunk = 64 * 1024;


[[noreturn]] static void
fail_loudly(const char* what)
{
	fprintf(stderr, "application kit: %s\n", what);
	abort();
}


// The looper asks for the calling thread at every lock and unlock: the id
// is asked of the kernel once per thread. A child of fork() is a new
// thread in a new team, so its copy of the forking thread's id is dropped.
static thread_local thread_id tCurrentThreadID = -1;


static void
forget_thread_id_in_child()
{
	tCurrentThreadID = -1;
}


thread_id
BPrivate::current_thread_id()
{
	if (tCurrentThreadID < 0) {
		static std::once_flag sRegistered;
		std::call_once(sRegistered,
			[] { pthread_atfork(NULL, NULL, forget_thread_id_in_child); });
		tCurrentThreadID = thread_id(syscall(SYS_gettid));
	}
	return tCurrentThreadID;
}


// #pragma mark - LooperPort


status_t
LooperPort::Post(BMessage* message, BHandler* handler)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (fClosed)
			return B_BAD_PORT_ID;
		fQueue.push_back(Entry{message, handler});
	}
	fWake.Raise();
	return B_OK;
}


bool
LooperPort::Take(Entry* entry)
{
	std::lock_guard<std::mutex> lock(fLock);
	if (fQueue.empty())
		return false;
	*entry = fQueue.front();
	fQueue.pop_front();
	return true;
}


void
LooperPort::Close()
{
	std::deque<Entry> left;
	{
		std::lock_guard<std::mutex> lock(fLock);
		fClosed = true;
		left.swap(fQueue);
	}
	// Deleted outside the lock: each may release a waiting sender.
	for (const Entry& entry : left)
		delete entry.message;
}


bool
LooperPort::IsOpen() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return !fClosed;
}


// #pragma mark - LocalReplyRoute


status_t
LocalReplyRoute::Deliver(const BMessage& reply, bigtime_t timeout)
{
	(void)timeout;
	{
		std::lock_guard<std::mutex> lock(fSlot->lock);
		fSlot->reply = reply;
		fSlot->done = true;
	}
	fSlot->answered.notify_all();
	return B_OK;
}


// #pragma mark - LooperPrivate


LooperPrivate::LooperPrivate(BLooper* looper)
	:
	fLooper(looper),
	fPort(std::make_shared<LooperPort>(looper))
{
	fStatus = fPoller.InitCheck();
	if (fStatus == B_OK)
		fStatus = fPort->InitCheck();
	if (fStatus == B_OK) {
		fStatus = fPoller.Add(fPort->WakeDescriptor(), B_DESCRIPTOR_READABLE,
			kWakeKey);
	}
}


LooperPrivate::~LooperPrivate()
{
	JoinThread();
	if (fState != kFinished)
		_Finish();
}


void
LooperPrivate::RunLoop(const std::function<void()>& beforeFirst)
{
	fPort->fLoopThread = current_thread_id();
	fState = kRunning;
	{
		std::lock_guard<std::mutex> lock(fFinishLock);
	}
	fFinished.notify_all();

	if (beforeFirst) {
		Lock(B_INFINITE_TIMEOUT);
		beforeFirst();
		Unlock();
	}

	std::vector<EventPoller::Event> events;
	while (!fQuitting && !fQuitRequested) {
		if (fPoller.Wait(events) != B_OK)
			break;
		for (const EventPoller::Event& event : events) {
			if (fQuitting || fQuitRequested)
				break;
			if (event.key == kWakeKey) {
				fPort->ClearWake();
				_DrainQueue();
			} else if (event.key == kListenerKey)
				_AcceptConnections();
			else if ((event.key & kTagMask) == kWatchTag)
				_RunWatch(event.key, event.events);
			else
				_ServeConnection(event.key, event.events);
		}
	}
	_Finish();
}


void
LooperPrivate::Quit()
{
	thread_id thread = current_thread_id();
	if (fState == kFinished)
		return;
	if (fState == kNotStarted || fPort->fLoopThread == thread) {
		// On the loop's own thread the loop ends after the current message;
		// before the loop runs, it will end as soon as it starts.
		fQuitting = fState != kNotStarted;
		fQuitRequested = true;
		return;
	}

	fQuitRequested = true;
	fPort->Wake();

	// The loop may need the lock to finish its current message.
	int32 heldCount = 0;
	if (fOwner == thread)
		_ReleaseLockFully(&heldCount);
	{
		std::unique_lock<std::mutex> lock(fFinishLock);
		fFinished.wait(lock, [this] { return fState == kFinished; });
	}
	if (heldCount > 0)
		_TakeLockAgain(heldCount);
}


void
LooperPrivate::StartThread()
{
	fThread = std::thread([this] { RunLoop(nullptr); });
	std::unique_lock<std::mutex> lock(fFinishLock);
	fFinished.wait(lock, [this] { return fState != kNotStarted; });
}


void
LooperPrivate::JoinThread()
{
	if (fThread.joinable() && fThread.get_id() != std::this_thread::get_id())
		fThread.join();
}


status_t
LooperPrivate::SetListener(int listener)
{
	status_t status = fPoller.Add(listener, B_DESCRIPTOR_READABLE,
		kListenerKey);
	if (status == B_OK) {
		fListener = listener;
		posix::OpenSpare(&fSpare);
	}
	return status;
}


void
LooperPrivate::SetFinishHook(std::function<void()> hook)
{
	fFinishHook = std::move(hook);
}


BMessage*
LooperPrivate::DetachCurrentMessage()
{
	BMessage* message = fCurrentMessage;
	if (message != nullptr) {
		fDetached = true;
		fCurrentMessage = nullptr;
	}
	return message;
}


status_t
LooperPrivate::Lock(bigtime_t timeout)
{
	thread_id thread = current_thread_id();
	std::unique_lock<std::mutex> lock(fLockState);
	if (fOwner == thread) {
		fLockCount++;
		return B_OK;
	}
	auto isFree = [this] { return fOwner == -1; };
	if (timeout == B_INFINITE_TIMEOUT)
		fLockFree.wait(lock, isFree);
	else if (!fLockFree.wait_for(lock, std::chrono::microseconds(timeout),
			isFree))
		return B_TIMED_OUT;
	fOwner = thread;
	fLockCount = 1;
	return B_OK;
}


void
LooperPrivate::Unlock()
{
	std::unique_lock<std::mutex> lock(fLockState);
	if (fOwner != current_thread_id())
		fail_loudly("a looper was unlocked by a thread that does not hold it");
	if (--fLockCount == 0) {
		fOwner = -1;
		lock.unlock();
		fLockFree.notify_one();
	}
}


bool
LooperPrivate::IsLocked() const
{
	return fOwner == current_thread_id();
}


void
LooperPrivate::_ReleaseLockFully(int32* count)
{
	{
		std::lock_guard<std::mutex> lock(fLockState);
		*count = fLockCount;
		fLockCount = 0;
		fOwner = -1;
	}
	fLockFree.notify_one();
}


void
LooperPrivate::_TakeLockAgain(int32 count)
{
	std::unique_lock<std::mutex> lock(fLockState);
	fLockFree.wait(lock, [this] { return fOwner == -1; });
	fOwner = current_thread_id();
	fLockCount = count;
}


status_t
LooperPrivate::Watch(int descriptor, uint32 events,
	BLooper::DescriptorHook hook)
{
	if (descriptor < 0 || !hook)
		return B_BAD_VALUE;
	std::lock_guard<std::mutex> lock(fWatchLock);
	if (fWatchIds.count(descriptor) != 0)
		return B_NAME_IN_USE;
	uint64 id = kWatchTag | ++fNextWatchId;
	status_t status = fPoller.Add(descriptor, events, id);
	if (status == B_OK) {
		fWatches[id] = std::make_shared<WatchEntry>(
			WatchEntry{descriptor, std::move(hook)});
		fWatchIds[descriptor] = id;
	}
	return status;
}


status_t
LooperPrivate::Unwatch(int descriptor)
{
	std::lock_guard<std::mutex> lock(fWatchLock);
	auto found = fWatchIds.find(descriptor);
	if (found == fWatchIds.end())
		return B_BAD_VALUE;
	fWatches.erase(found->second);
	fWatchIds.erase(found);
	// Fails harmlessly when the descriptor was closed first: closing took
	// it out of the poller already.
	fPoller.Remove(descriptor);
	return B_OK;
}


void
LooperPrivate::_Dispatch(BMessage* message, BHandler* handler)
{
	Lock(B_INFINITE_TIMEOUT);
	fCurrentMessage = message;
	fDetached = false;
	fLooper->DispatchMessage(message, handler != nullptr ? handler : fLooper);
	fCurrentMessage = nullptr;
	bool detached = fDetached;
	fDetached = false;
	Unlock();

	// Deleting an unanswered message answers its waiting sender with
	// B_NO_REPLY; it is done unlocked, since that may write to a socket.
	if (!detached)
		delete message;
}


void
LooperPrivate::_DrainQueue()
{
	LooperPort::Entry entry;
	while (!fQuitting && !fQuitRequested && fPort->Take(&entry))
		_Dispatch(entry.message, entry.handler);
}


void
LooperPrivate::_AcceptConnections()
{
	while (true) {
		posix::Descriptor socket;
		status_t status = posix::Accept(fListener, &socket);
		if (status == B_NO_MEMORY && fSpare.IsValid()) {
			// Out of descriptors: the waiting peer would keep the listener
			// ready and the loop spinning. The spare descriptor makes room
			// to take the connection and close it; the peer reads that as
			// not answered.
			// Accept fails for want of a descriptor even when nobody
			// waits, so only an actual newcomer makes the loop go on.
			fSpare.Close();
			posix::Descriptor refused;
			status = posix::Accept(fListener, &refused);
			refused.Close();
			posix::OpenSpare(&fSpare);
			if (status != B_OK)
				return;
			continue;
		}
		if (status != B_OK)
			return;
		uint64 key = kConnectionTag | ++fNextConnectionKey;
		auto connection = std::make_shared<Connection>(std::move(socket),
			&fPoller, key);
		if (fPoller.Add(connection->Socket(), B_DESCRIPTOR_READABLE, key)
				!= B_OK) {
			connection->Close();
			continue;
		}
		fConnections[key] = std::move(connection);
	}
}


void
LooperPrivate::_ServeConnection(uint64 key, uint32 events)
{
	auto found = fConnections.find(key);
	if (found == fConnections.end())
		return;
	std::shared_ptr<Connection> connection = found->second;
	if ((events & B_DESCRIPTOR_WRITABLE) != 0
		&& connection->Flush() != B_OK) {
		_CloseConnection(key);
		return;
	}
	if ((events & (B_DESCRIPTOR_READABLE | B_DESCRIPTOR_HANGUP)) == 0)
		return;
	wire::FrameReader& reader = connection->Reader();

	// One read per wake-up; the poller reports the socket again while bytes
	// are left, so a partial frame simply waits for its rest.
	if (fReadBuffer.empty())
		fReadBuffer.resize(kReadChunk);
	size_t received = 0;
	status_t status = posix::Receive(connection->Socket(), fReadBuffer.data(),
		fReadBuffer.size(), B_INFINITE_TIMEOUT, &received);
	bool closing = false;
	if (status == B_OK)
		reader.Feed(fReadBuffer.data(), received);
	else if (status != B_WOULD_BLOCK)
		closing = true;

	while (!fQuitting && !fQuitRequested) {
		BMessage* message = new BMessage;
		wire::FrameHeader header;
		status_t result = reader.Next(&header, message);
		if (result == B_WOULD_BLOCK) {
			delete message;
			break;
		}
		if (result != B_OK || header.kind != wire::FrameKind::kRequest) {
			// A malformed frame, or a reply nobody asked for: nothing more
			// on this connection can be trusted.
			delete message;
			closing = true;
			break;
		}
		std::shared_ptr<ReplyRoute> route;
		if ((header.flags & wire::kFlagWantsReply) != 0)
			route = std::make_shared<ConnectionReplyRoute>(connection,
				header.serial);
		else
			route = std::make_shared<UnansweredRoute>(true);
		MessagePrivate(message).SetReplyRoute(std::move(route));
		_Dispatch(message, nullptr);
	}
	if (closing)
		_CloseConnection(key);
}


void
LooperPrivate::_CloseConnection(uint64 key)
{
	auto found = fConnections.find(key);
	if (found == fConnections.end())
		return;
	fPoller.Remove(found->second->Socket());
	found->second->Close();
	fConnections.erase(found);
}


void
LooperPrivate::_RunWatch(uint64 key, uint32 events)
{
	std::shared_ptr<WatchEntry> watch;
	{
		std::lock_guard<std::mutex> lock(fWatchLock);
		auto found = fWatches.find(key);
		if (found == fWatches.end())
			return;
		watch = found->second;
	}
	// The hook may unwatch its own descriptor; the entry lives on until it
	// has returned.
	Lock(B_INFINITE_TIMEOUT);
	if (!_IsWatched(key, watch)) {
		// Unwatched by a thread that held the lock while this one waited
		// for it: what the hook would touch may be gone.
		Unlock();
		return;
	}
	watch->hook(watch->descriptor, events);
	Unlock();
}


bool
LooperPrivate::_IsWatched(uint64 key,
	const std::shared_ptr<WatchEntry>& watch)
{
	std::lock_guard<std::mutex> lock(fWatchLock);
	auto found = fWatches.find(key);
	return found != fWatches.end() && found->second == watch;
}


void
LooperPrivate::_Finish()
{
	fQuitting = true;
	fPort->Close();
	// The connections close before the finish hook gives up an
	// application's signature: other teams keep links to it between
	// messages and take one that is still open for a link to the holder.
	for (auto& [key, connection] : fConnections) {
		fPoller.Remove(connection->Socket());
		connection->Close();
	}
	fConnections.clear();
	if (fListener >= 0) {
		fPoller.Remove(fListener);
		fListener = -1;
	}
	fSpare.Close();
	if (fFinishHook)
		fFinishHook();

	// A handler that quit with the looper locked (as the last user's quit
	// does) leaves the lock to the loop, which gives it up here.
	if (fOwner == current_thread_id()) {
		int32 count;
		_ReleaseLockFully(&count);
	}
	{
		std::lock_guard<std::mutex> lock(fFinishLock);
		fState = kFinished;
	}
	fFinished.notify_all();
}


// #pragma mark - BLooper


BLooper::BLooper(const char* name)
	:
	BHandler(name),
	fPrivate(new LooperPrivate(this))
{
	fLooper = this;
}


BLooper::~BLooper()
{
	if (fPrivate->IsRunning())
		fPrivate->Quit();
	delete fPrivate;
}


thread_id
BLooper::Run()
{
	if (fPrivate->HasRun())
		fail_loudly("a looper was run twice");
	if (fPrivate->InitCheck() != B_OK)
		return fPrivate->InitCheck();
	fPrivate->StartThread();
	return Thread();
}


void
BLooper::Quit()
{
	fPrivate->Quit();
}


bool
BLooper::QuitRequested()
{
	return true;
}


thread_id
BLooper::Thread() const
{
	return fPrivate->Port()->fLoopThread;
}


status_t
BLooper::PostMessage(uint32 command)
{
	BMessage message(command);
	return PostMessage(&message);
}


status_t
BLooper::PostMessage(BMessage* message, BHandler* handler)
{
	if (message == NULL)
		return B_BAD_VALUE;
	BMessage* copy = new BMessage(*message);
	MessagePrivate(copy).SetReplyRoute(std::make_shared<UnansweredRoute>());
	status_t status = fPrivate->Port()->Post(copy, handler);
	if (status != B_OK)
		delete copy;
	return status;
}


void
BLooper::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message->what == B_QUIT_REQUESTED && handler == this) {
		if (QuitRequested())
			Quit();
		return;
	}
	handler->MessageReceived(message);
}


BMessage*
BLooper::CurrentMessage() const
{
	return fPrivate->CurrentMessage();
}


BMessage*
BLooper::DetachCurrentMessage()
{
	return fPrivate->DetachCurrentMessage();
}


bool
BLooper::Lock()
{
	return fPrivate->Lock(B_INFINITE_TIMEOUT) == B_OK;
}


status_t
BLooper::LockWithTimeout(bigtime_t timeout)
{
	return fPrivate->Lock(timeout);
}


void
BLooper::Unlock()
{
	fPrivate->Unlock();
}


bool
BLooper::IsLocked() const
{
	return fPrivate->IsLocked();
}


thread_id
BLooper::LockingThread() const
{
	return fPrivate->LockingThread();
}


status_t
BLooper::WatchDescriptor(int descriptor, uint32 events, DescriptorHook hook)
{
	return fPrivate->Watch(descriptor, events, std::move(hook));
}


status_t
BLooper::UnwatchDescriptor(int descriptor)
{
	return fPrivate->Unwatch(descriptor);
}
