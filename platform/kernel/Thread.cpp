#include <OS.h>

#include <errno.h>
#include <pthread.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include <Errors.h>
#include <String.h>

#include "ThreadListing.h"

using namespace BPrivate;


// Linux keeps 15 bytes of a thread's name; the rest lives in the record.
static const size_t kLinuxNameLength = 15;
// Ended threads whose status can still be asked for; older ones are
// forgotten, so that a door that runs for months does not grow.
static const size_t kKeptEndedThreads = 256;
static const bigtime_t kForever = (bigtime_t)365 * 24 * 3600 * 1000000;


namespace {

enum class ThreadState {
	kStarting,
	kSuspended,
	kRunning,
	kEnded,
};

// What this team knows of one thread it spawned. Shared by the registry and
// the thread itself; guarded by sLock.
struct ThreadRecord {
	thread_id				id = -1;
	BString					name;
	int32					priority = B_NORMAL_PRIORITY;
	thread_func				function = nullptr;
	void*					data = nullptr;
	bigtime_t				started = 0;
	ThreadState				state = ThreadState::kStarting;
	status_t				startStatus = B_OK;
	status_t				exitStatus = B_OK;
	ThreadListing			listing;
	std::condition_variable	changed;
};

std::mutex sLock;
std::condition_variable sThreadEnded;
std::map<thread_id, std::shared_ptr<ThreadRecord>> sThreads;
std::deque<thread_id> sEndedThreads;
int32 sRunningThreads = 0;
bigtime_t sLastStart = 0;
std::once_flag sForkHandlerOnce;

thread_local std::shared_ptr<ThreadRecord> tCurrentThread;


// Every entry gets a start time of its own within the team, so that the
// listing's order (oldest first) is the order of spawning. The real clock,
// never the frozen one: the order must be true whatever the game is told.
bigtime_t
next_start_time()
{
	struct timespec now;
	clock_gettime(CLOCK_REALTIME, &now);
	bigtime_t started = (bigtime_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
	if (started <= sLastStart)
		started = sLastStart + 1;
	sLastStart = started;
	return started;
}


void
lock_before_fork()
{
	sLock.lock();
}


void
unlock_after_fork()
{
	sLock.unlock();
}


// The child of a fork has none of these threads, and must not keep their
// listing entries locked as if they still ran.
void
forget_threads_in_child()
{
	for (auto& entry : sThreads)
		entry.second->listing.ForgetInChild();
	sThreads.clear();
	sEndedThreads.clear();
	sRunningThreads = 0;
	sLock.unlock();
}


void
install_fork_handlers()
{
	pthread_atfork(lock_before_fork, unlock_after_fork, forget_threads_in_child);
}


// Runs when the thread's function returns and also when exit_thread unwinds
// the stack, after the function's own locals are gone.
class ThreadEnd {
public:
	explicit ThreadEnd(const std::shared_ptr<ThreadRecord>& record)
		:
		fRecord(record)
	{
	}

	~ThreadEnd()
	{
		fRecord->listing.Withdraw();
		std::lock_guard<std::mutex> locker(sLock);
		fRecord->state = ThreadState::kEnded;
		sRunningThreads--;
		sEndedThreads.push_back(fRecord->id);
		while (sEndedThreads.size() > kKeptEndedThreads) {
			auto old = sThreads.find(sEndedThreads.front());
			if (old != sThreads.end() && old->second->state == ThreadState::kEnded)
				sThreads.erase(old);
			sEndedThreads.pop_front();
		}
		fRecord->changed.notify_all();
		sThreadEnded.notify_all();
	}

private:
	std::shared_ptr<ThreadRecord> fRecord;
};


void*
thread_entry(void* argument)
{
	// Take over the reference that the spawner handed in on the heap.
	auto* handed = static_cast<std::shared_ptr<ThreadRecord>*>(argument);
	std::shared_ptr<ThreadRecord> record = std::move(*handed);
	delete handed;
	tCurrentThread = record;

	thread_id id = (thread_id)gettid();
	BString shortName(record->name.String(), (int32)kLinuxNameLength);
	pthread_setname_np(pthread_self(), shortName.String());

	// Listed before spawn_thread returns, so that whoever learns the name
	// from the spawner can find the thread at once.
	status_t status = record->listing.Publish(record->name.String(),
		getpid(), id, record->started);

	std::unique_lock<std::mutex> locker(sLock);
	record->id = id;
	record->startStatus = status;
	if (status != B_OK) {
		record->state = ThreadState::kEnded;
		record->changed.notify_all();
		return nullptr;
	}
	// A thread id of an ended thread that Linux has given out again.
	sThreads[id] = record;
	record->state = ThreadState::kSuspended;
	record->changed.notify_all();
	record->changed.wait(locker,
		[&record] { return record->state == ThreadState::kRunning; });
	locker.unlock();

	ThreadEnd end(record);
	record->exitStatus = record->function(record->data);
	return nullptr;
}

}	// namespace


thread_id
spawn_thread(thread_func function, const char* name, int32 priority, void* data)
{
	if (function == nullptr)
		return B_BAD_VALUE;
	std::call_once(sForkHandlerOnce, install_fork_handlers);

	auto record = std::make_shared<ThreadRecord>();
	record->name = name != nullptr ? name : "";
	record->priority = priority;
	record->function = function;
	record->data = data;
	{
		std::lock_guard<std::mutex> locker(sLock);
		record->started = next_start_time();
	}

	// Nobody joins our threads: a detached thread gives its resources back
	// when it ends, whether or not anyone waits for it.
	pthread_attr_t attributes;
	pthread_attr_init(&attributes);
	pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
	auto* handed = new std::shared_ptr<ThreadRecord>(record);
	pthread_t thread;
	int error = pthread_create(&thread, &attributes, thread_entry, handed);
	pthread_attr_destroy(&attributes);
	if (error != 0) {
		delete handed;
		return status_from_errno(error);
	}

	std::unique_lock<std::mutex> locker(sLock);
	record->changed.wait(locker,
		[&record] { return record->state != ThreadState::kStarting; });
	if (record->startStatus != B_OK)
		return record->startStatus;
	return record->id;
}


status_t
resume_thread(thread_id thread)
{
	std::lock_guard<std::mutex> locker(sLock);
	auto found = sThreads.find(thread);
	if (found == sThreads.end())
		return B_BAD_THREAD_ID;
	ThreadRecord& record = *found->second;
	if (record.state != ThreadState::kSuspended)
		return B_NOT_ALLOWED;
	record.state = ThreadState::kRunning;
	sRunningThreads++;
	record.changed.notify_all();
	return B_OK;
}


void
exit_thread(status_t status)
{
	if (tCurrentThread)
		tCurrentThread->exitStatus = status;
	// pthread_exit unwinds the stack: the destructors of the thread's locals
	// run, and ThreadEnd records the end.
	pthread_exit(nullptr);
}


status_t
wait_for_thread(thread_id thread, status_t* returnValue)
{
	std::unique_lock<std::mutex> locker(sLock);
	auto found = sThreads.find(thread);
	if (found == sThreads.end())
		return B_BAD_THREAD_ID;
	std::shared_ptr<ThreadRecord> record = found->second;
	if (record == tCurrentThread)
		return B_NOT_ALLOWED;

	// A thread that was never resumed would be waited for in vain.
	if (record->state == ThreadState::kSuspended) {
		record->state = ThreadState::kRunning;
		sRunningThreads++;
		record->changed.notify_all();
	}
	record->changed.wait(locker,
		[&record] { return record->state == ThreadState::kEnded; });
	if (returnValue != nullptr)
		*returnValue = record->exitStatus;
	return B_OK;
}


status_t
wait_for_spawned_threads(bigtime_t timeout)
{
	std::unique_lock<std::mutex> locker(sLock);
	// The caller does not wait for itself.
	int32 own = tCurrentThread && tCurrentThread->state == ThreadState::kRunning
		? 1 : 0;
	auto done = [own] { return sRunningThreads <= own; };
	// Beyond a year the deadline would overflow the clock's nanoseconds; no
	// caller means anything but "for ever" by it.
	if (timeout >= kForever) {
		sThreadEnded.wait(locker, done);
		return B_OK;
	}
	if (timeout < 0)
		return B_BAD_VALUE;
	return sThreadEnded.wait_for(locker, std::chrono::microseconds(timeout), done)
		? B_OK : B_TIMED_OUT;
}


thread_id
find_thread(const char* name)
{
	if (name == nullptr)
		return tCurrentThread ? tCurrentThread->id : (thread_id)gettid();

	std::lock_guard<std::mutex> locker(sLock);
	std::shared_ptr<ThreadRecord> oldest;
	for (auto& entry : sThreads) {
		const std::shared_ptr<ThreadRecord>& record = entry.second;
		if (record->state == ThreadState::kEnded || record->name != name)
			continue;
		if (!oldest || record->started < oldest->started)
			oldest = record;
	}
	return oldest ? oldest->id : B_NAME_NOT_FOUND;
}


status_t
get_thread_name(thread_id thread, char* buffer, size_t bufferSize)
{
	if (buffer == nullptr || bufferSize == 0)
		return B_BAD_VALUE;

	BString name;
	{
		std::lock_guard<std::mutex> locker(sLock);
		auto found = sThreads.find(thread);
		if (found != sThreads.end() && found->second->state != ThreadState::kEnded)
			name = found->second->name;
		else if (thread != (thread_id)gettid())
			return B_BAD_THREAD_ID;
	}
	if (thread == (thread_id)gettid() && !tCurrentThread) {
		// A thread this kit did not spawn has only the name Linux keeps.
		char linuxName[kLinuxNameLength + 1] = {};
		pthread_getname_np(pthread_self(), linuxName, sizeof(linuxName));
		name = linuxName;
	}

	size_t length = (size_t)name.Length();
	size_t copied = length < bufferSize ? length : bufferSize - 1;
	memcpy(buffer, name.String(), copied);
	buffer[copied] = '\0';
	return copied == length ? B_OK : B_NAME_TOO_LONG;
}


team_id
current_team()
{
	return (team_id)getpid();
}
