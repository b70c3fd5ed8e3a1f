#include "ThreadListing.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include <BootAccess.h>
#include <BootVolume.h>
#include <Errors.h>

namespace BPrivate {


static const char* const kListingFolder = "/boot/var/run/threads";
static const char* const kTemporaryPrefix = ".new-";
static const bigtime_t kPollInterval = 5000;


static BString
entry_leaf(team_id team, thread_id thread, bigtime_t started)
{
	// Zero-padded start time first, so that names sort oldest first.
	char leaf[64];
	snprintf(leaf, sizeof(leaf), "%020" PRId64 "-%" PRId32 "-%" PRId32,
		started, team, thread);
	return BString(leaf);
}


static bool
parse_leaf(const char* leaf, named_thread* thread)
{
	long long started;
	int team;
	int id;
	int consumed = 0;
	if (sscanf(leaf, "%20lld-%d-%d%n", &started, &team, &id, &consumed) != 3
		|| leaf[consumed] != '\0') {
		return false;
	}
	thread->started = started;
	thread->team = team;
	thread->thread = id;
	return true;
}


static status_t
open_listing_folder(bool create, int* folder)
{
	if (create) {
		status_t status = create_directory(kListingFolder, 0755);
		if (status != B_OK)
			return status;
	}
	return open_platform_path(kListingFolder, O_RDONLY | O_DIRECTORY, 0, folder);
}


static status_t
write_all(int file, const char* data, size_t size)
{
	size_t done = 0;
	while (done < size) {
		ssize_t result = write(file, data + done, size - done);
		if (result < 0 && errno == EINTR)
			continue;
		if (result <= 0)
			return result < 0 ? status_from_errno(errno) : B_IO_ERROR;
		done += (size_t)result;
	}
	return B_OK;
}


static int
lock_file(int file, int operation)
{
	int result;
	do {
		result = flock(file, operation);
	} while (result != 0 && errno == EINTR);
	return result;
}


ThreadListing::~ThreadListing()
{
	Withdraw();
}


status_t
ThreadListing::Publish(const char* name, team_id team, thread_id thread,
	bigtime_t started)
{
	Withdraw();
	int folder = -1;
	status_t status = open_listing_folder(true, &folder);
	if (status != B_OK)
		return status;

	// The folder as opened, whatever path led to it, for the withdrawal.
	char link[64];
	char folderPath[PATH_MAX];
	snprintf(link, sizeof(link), "/proc/self/fd/%d", folder);
	ssize_t length = readlink(link, folderPath, sizeof(folderPath) - 1);
	if (length <= 0 || length >= (ssize_t)sizeof(folderPath) - 1) {
		close(folder);
		return B_NAME_TOO_LONG;
	}
	folderPath[length] = '\0';

	// The entry is locked and complete before it gets its name, so a finder
	// never meets a listed thread that is not locked or not yet named.
	BString leaf = entry_leaf(team, thread, started);
	BString temporary(kTemporaryPrefix);
	temporary << leaf;
	int file = openat(folder, temporary.String(),
		O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
	if (file < 0) {
		status = status_from_errno(errno);
		close(folder);
		return status;
	}
	if (lock_file(file, LOCK_EX) != 0)
		status = status_from_errno(errno);
	if (status == B_OK)
		status = write_all(file, name, strlen(name));
	if (status == B_OK && renameat(folder, temporary.String(), folder,
			leaf.String()) != 0) {
		status = status_from_errno(errno);
	}
	if (status != B_OK) {
		unlinkat(folder, temporary.String(), 0);
		close(file);
		close(folder);
		return status;
	}
	close(folder);
	fFile = file;
	fPath = folderPath;
	fPath << "/" << leaf;
	return B_OK;
}


void
ThreadListing::Withdraw()
{
	// The name goes before the lock: a waiter that gets the lock may find
	// the entry already gone, but never a live thread's entry unlocked.
	if (fFile >= 0) {
		unlink(fPath.String());
		close(fFile);
		fFile = -1;
	}
	fPath = "";
}


void
ThreadListing::ForgetInChild()
{
	if (fFile >= 0)
		close(fFile);
	fFile = -1;
}


// A temporary entry is stale only when its team is gone: a live team may
// not have locked it yet.
static void
remove_stale_temporary(int folder, const char* leaf)
{
	named_thread thread;
	if (!parse_leaf(leaf + strlen(kTemporaryPrefix), &thread))
		return;
	if (kill(thread.team, 0) == 0 || errno != ESRCH)
		return;
	unlinkat(folder, leaf, 0);
}


}	// namespace BPrivate


// #pragma mark - Named threads


using namespace BPrivate;


int32
find_named_threads(const char* name, named_thread* threads, int32 maxCount)
{
	if (name == nullptr || (threads == nullptr && maxCount > 0) || maxCount < 0)
		return B_BAD_VALUE;

	int folder = -1;
	status_t status = open_listing_folder(false, &folder);
	if (status == B_ENTRY_NOT_FOUND)
		return 0;
	if (status != B_OK)
		return status;
	DIR* stream = fdopendir(folder);
	if (stream == nullptr) {
		status = status_from_errno(errno);
		close(folder);
		return status;
	}

	std::vector<named_thread> found;
	size_t nameLength = strlen(name);
	struct dirent* next;
	while ((next = readdir(stream)) != nullptr) {
		const char* leaf = next->d_name;
		if (strncmp(leaf, kTemporaryPrefix, strlen(kTemporaryPrefix)) == 0) {
			remove_stale_temporary(folder, leaf);
			continue;
		}
		named_thread thread;
		if (!parse_leaf(leaf, &thread))
			continue;
		int file = openat(folder, leaf, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
		if (file < 0)
			continue;
		if (lock_file(file, LOCK_SH | LOCK_NB) == 0) {
			// Nobody holds it: its thread has ended without withdrawing it.
			unlinkat(folder, leaf, 0);
			close(file);
			continue;
		}
		// One byte more than the name tells a longer name from an equal one.
		std::vector<char> content(nameLength + 1);
		ssize_t length = pread(file, content.data(), content.size(), 0);
		close(file);
		if (length == (ssize_t)nameLength
			&& memcmp(content.data(), name, nameLength) == 0) {
			found.push_back(thread);
		}
	}
	closedir(stream);

	std::sort(found.begin(), found.end(),
		[](const named_thread& a, const named_thread& b) {
			if (a.started != b.started)
				return a.started < b.started;
			if (a.team != b.team)
				return a.team < b.team;
			return a.thread < b.thread;
		});
	int32 count = std::min((int32)found.size(), maxCount);
	std::copy(found.begin(), found.begin() + count, threads);
	return count;
}


status_t
find_newest_named_thread(const char* name, team_id team, named_thread* thread)
{
	if (name == nullptr || thread == nullptr)
		return B_BAD_VALUE;
	int folder = -1;
	status_t status = open_listing_folder(false, &folder);
	if (status == B_ENTRY_NOT_FOUND)
		return B_NAME_NOT_FOUND;
	if (status != B_OK)
		return status;
	DIR* stream = fdopendir(folder);
	if (stream == nullptr) {
		status = status_from_errno(errno);
		close(folder);
		return status;
	}

	// The names alone tell the threads' ages; only the newest are opened.
	std::vector<std::pair<named_thread, std::string>> listed;
	struct dirent* next;
	while ((next = readdir(stream)) != nullptr) {
		named_thread candidate;
		if (parse_leaf(next->d_name, &candidate)
			&& (team < 0 || candidate.team == team)) {
			listed.emplace_back(candidate, next->d_name);
		}
	}
	std::sort(listed.begin(), listed.end(),
		[](const auto& a, const auto& b) {
			if (a.first.started != b.first.started)
				return a.first.started > b.first.started;
			return a.first.thread > b.first.thread;
		});

	status = B_NAME_NOT_FOUND;
	size_t nameLength = strlen(name);
	std::vector<char> content(nameLength + 1);
	for (const auto& [candidate, leaf] : listed) {
		int file = dirfd(stream);
		file = openat(file, leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
		if (file < 0)
			continue;
		// An entry nobody holds belongs to a thread that has ended.
		bool running = lock_file(file, LOCK_SH | LOCK_NB) != 0;
		ssize_t length = running
			? pread(file, content.data(), content.size(), 0) : -1;
		close(file);
		if (length == (ssize_t)nameLength
			&& memcmp(content.data(), name, nameLength) == 0) {
			*thread = candidate;
			status = B_OK;
			break;
		}
	}
	closedir(stream);
	return status;
}


int
open_named_thread_ends()
{
	int folder = -1;
	status_t status = open_listing_folder(true, &folder);
	if (status != B_OK)
		return status;
	int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
	if (watch < 0) {
		status = status_from_errno(errno);
		close(folder);
		return status;
	}
	// The folder as opened, whatever path led to it.
	char path[64];
	snprintf(path, sizeof(path), "/proc/self/fd/%d", folder);
	if (inotify_add_watch(watch, path, IN_DELETE | IN_MOVED_FROM) < 0) {
		status = status_from_errno(errno);
		close(watch);
		close(folder);
		return status;
	}
	close(folder);
	return watch;
}


int32
read_named_thread_ends(int descriptor, named_thread* threads, int32 maxCount)
{
	if (descriptor < 0 || threads == nullptr || maxCount <= 0)
		return B_BAD_VALUE;
	// Room for at least one event with the longest name.
	alignas(inotify_event) char buffer[16 * 1024];
	int32 count = 0;
	bool overflowed = false;
	while (count < maxCount) {
		ssize_t length = read(descriptor, buffer, sizeof(buffer));
		if (length < 0 && errno == EINTR)
			continue;
		if (length < 0 && errno == EAGAIN)
			break;
		if (length <= 0)
			return length < 0 ? status_from_errno(errno) : B_IO_ERROR;
		for (char* at = buffer; at < buffer + length;) {
			const inotify_event* event = (const inotify_event*)at;
			at += sizeof(inotify_event) + event->len;
			if ((event->mask & IN_Q_OVERFLOW) != 0) {
				overflowed = true;
				continue;
			}
			named_thread thread;
			if (event->len == 0 || !parse_leaf(event->name, &thread))
				continue;
			if (count < maxCount)
				threads[count++] = thread;
			else
				overflowed = true;
		}
	}
	return overflowed ? (int32)B_BUFFER_OVERFLOW : count;
}


status_t
wait_for_named_thread(const named_thread& thread, bigtime_t timeout)
{
	if (timeout < 0)
		return B_BAD_VALUE;
	int folder = -1;
	status_t status = open_listing_folder(false, &folder);
	if (status == B_ENTRY_NOT_FOUND)
		return B_OK;
	if (status != B_OK)
		return status;

	BString leaf = entry_leaf(thread.team, thread.thread, thread.started);
	int file = openat(folder, leaf.String(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
	if (file < 0) {
		status = errno == ENOENT ? B_OK : status_from_errno(errno);
		close(folder);
		return status;
	}

	// Getting the lock means the thread's description is closed: it has
	// ended, or its team has died.
	if (timeout == B_INFINITE_TIMEOUT) {
		status = lock_file(file, LOCK_SH) == 0 ? B_OK : status_from_errno(errno);
	} else {
		bigtime_t now = system_time();
		bigtime_t deadline = timeout > INT64_MAX - now ? INT64_MAX : now + timeout;
		while (true) {
			if (lock_file(file, LOCK_SH | LOCK_NB) == 0) {
				status = B_OK;
				break;
			}
			if (errno != EWOULDBLOCK) {
				status = status_from_errno(errno);
				break;
			}
			bigtime_t left = deadline - system_time();
			if (left <= 0) {
				status = B_TIMED_OUT;
				break;
			}
			snooze(std::min(left, kPollInterval));
		}
	}
	if (status == B_OK)
		unlinkat(folder, leaf.String(), 0);
	close(file);
	close(folder);
	return status;
}
