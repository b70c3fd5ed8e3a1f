#pragma once

#include <OS.h>
#include <String.h>

namespace BPrivate {

// One spawned thread's entry in the boot volume's listing of running
// threads ("/boot/var/run/threads"), through which other applications find
// a thread by its whole name and learn of its end.
//
// The entry is a file whose name encodes the start time, the team and the
// thread, and whose content is the thread's whole name. The thread's own
// open file description holds an exclusive flock(2) on it for as long as the
// thread runs. Whatever ends the thread, the lock goes with the description:
// a normal end withdraws the entry, and a team that dies (kill -9 included)
// has its descriptions closed by the kernel. So a waiter that gets the lock
// knows the thread has ended, and a finder that gets it knows the entry is
// stale and removes it.
//
// Owned by the spawned thread's record; Publish runs on the thread before it
// is resumed and Withdraw as it ends. Not copyable: the descriptors are its.
class ThreadListing {
public:
								ThreadListing() = default;
								ThreadListing(const ThreadListing&) = delete;
			ThreadListing&		operator=(const ThreadListing&) = delete;
								~ThreadListing();

			status_t			Publish(const char* name, team_id team,
									thread_id thread, bigtime_t started);
			void				Withdraw();
			// In a child made by fork(): the child holds copies of the
			// descriptions, which would keep the parent's threads listed as
			// long as the child lives. Closes them without touching the entry.
			void				ForgetInChild();

private:
			int					fFile = -1;
			// The entry's whole path: a thread keeps one descriptor, not
			// also the folder's, so that thousands of threads leave their
			// team descriptors to work with.
			BString				fPath;
};

}	// namespace BPrivate
