#pragma once

#include <SupportDefs.h>

// Threads, time and the applications' threads as seen from other
// applications on the same boot volume.

typedef int32 thread_id;
typedef int32 team_id;
typedef status_t (*thread_func)(void* data);

#define B_INFINITE_TIMEOUT	((bigtime_t)INT64_MAX)

enum {
	B_LOW_PRIORITY = 5,
	B_NORMAL_PRIORITY = 10,
	B_DISPLAY_PRIORITY = 15,
	B_URGENT_DISPLAY_PRIORITY = 20,
	B_REAL_TIME_DISPLAY_PRIORITY = 100,
	B_URGENT_PRIORITY = 110,
	B_REAL_TIME_PRIORITY = 120,
};

// Threads of this team (process). A spawned thread waits until it is
// resumed. Its name is kept whole, however long (Linux shows its first 15
// bytes); the priority is recorded but does not change scheduling. A thread
// id is the thread's Linux id. spawn_thread fails when the thread cannot be
// listed on the boot volume (see find_named_threads).
B_EXPORT thread_id spawn_thread(thread_func function, const char* name,
	int32 priority, void* data);
B_EXPORT status_t resume_thread(thread_id thread);
// Ends the calling thread only, unwinding its stack (the destructors of its
// locals run); the thread's status is the given value. Calling it from a
// thread not made by spawn_thread ends that thread too.
[[noreturn]] B_EXPORT void exit_thread(status_t status);
// Waits for the thread's end and gives its status. A thread that was never
// resumed is resumed, since it would otherwise be waited for in vain. The
// status of an ended thread stays available for a while, not for ever:
// B_BAD_THREAD_ID once it has been forgotten.
B_EXPORT status_t wait_for_thread(thread_id thread, status_t* returnValue);
// Waits until no spawned thread of this team runs any more, the calling one
// aside (threads never resumed do not count); B_TIMED_OUT after the timeout.
B_EXPORT status_t wait_for_spawned_threads(bigtime_t timeout);
// The thread of this team with the given name, or the calling thread for
// NULL; B_NAME_NOT_FOUND when none has that name.
B_EXPORT thread_id find_thread(const char* name);
// Copies the thread's whole name into the buffer; B_BAD_THREAD_ID when
// the thread does not exist any more.
B_EXPORT status_t get_thread_name(thread_id thread, char* buffer,
	size_t bufferSize);
B_EXPORT team_id current_team();

// Time. When the environment holds BOOT_CLOCK (seconds since 1970), the
// real-time clock stands still at that second: test runs that seed from the
// clock or compute the day from it become reproducible.
// Seconds since 1970, microseconds since 1970, microseconds since an
// arbitrary start.
B_EXPORT uint32 real_time_clock();
B_EXPORT bigtime_t real_time_clock_usecs();
B_EXPORT bigtime_t system_time();
B_EXPORT status_t snooze(bigtime_t microseconds);

// Threads of any application on this boot volume, found by name. Every
// thread made by spawn_thread is listed under its whole name while it runs;
// its entry goes when the thread ends, and also when its team dies, however
// it dies (kill -9 included).
struct named_thread {
	team_id		team;
	thread_id	thread;
	bigtime_t	started;	// microseconds since 1970 when it was spawned,
							// from the machine's clock (never frozen)
};

// Fills up to maxCount running threads named exactly name, oldest first;
// returns how many were found (0 when none), or an error.
B_EXPORT int32 find_named_threads(const char* name, named_thread* threads,
	int32 maxCount);
// The newest running thread named exactly name, of the team (of any team
// for -1); B_NAME_NOT_FOUND when there is none. It looks at the newest
// threads first and stops at the first that fits, so that finding a thread
// just spawned costs little however many others run.
B_EXPORT status_t find_newest_named_thread(const char* name, team_id team,
	named_thread* thread);
// Waits until the thread has ended; B_OK once it has (at once when it
// already had), B_TIMED_OUT after the timeout.
B_EXPORT status_t wait_for_named_thread(const named_thread& thread,
	bigtime_t timeout);
// For one who waits for many named threads at once. A thread that ends
// takes its entry away; the descriptor this opens turns readable when
// entries go, and read_named_thread_ends tells whose went, without waiting:
// how many it filled, 0 when none went, B_BUFFER_OVERFLOW when so many
// went at once that they were not all told (look at every thread then), or
// another error. A team that dies leaves its threads' entries behind, so
// its threads' ends are not told: watch the team too. The descriptor is
// closed with close().
B_EXPORT int open_named_thread_ends();
B_EXPORT int32 read_named_thread_ends(int descriptor, named_thread* threads,
	int32 maxCount);
