#include <AtomicSave.h>

#include <errno.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include <BootVolume.h>
#include <Entry.h>
#include <Errors.h>
#include <OS.h>

#include "BootAccess.h"

using namespace BPrivate;


namespace {

// How often a save looks for a free temporary name before it gives up.
const int kTemporaryNameAttempts = 8;

std::atomic<uint32> sSaveCounter{0};
std::atomic<int64> sSyncs{0};

// The syncs of one folder that saves renamed files in. A save asks for a
// sync that begins after its rename; whoever finds no sync running syncs
// for every rename made so far, and the saves that came during a sync share
// the next one.
struct FolderSyncs {
	int64				requested = 0;
	int64				completed = 0;
	bool				syncing = false;
	status_t			lastStatus = B_OK;
};

std::mutex sFolderLock;
std::condition_variable sFolderSynced;
// Guarded by sFolderLock.
std::map<std::string, FolderSyncs> sFolders;


status_t
errno_status()
{
	return status_from_errno(errno);
}


std::string
folder_of(const std::string& path)
{
	size_t slash = path.rfind('/');
	if (slash == std::string::npos)
		return ".";
	return slash == 0 ? "/" : path.substr(0, slash);
}


// Whether the file holds exactly these bytes already.
bool
holds_already(const char* path, const void* data, size_t size)
{
	int descriptor = -1;
	if (open_platform_path(path, O_RDONLY | O_NONBLOCK, 0, &descriptor) != B_OK)
		return false;
	struct stat info;
	bool same = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)
		&& (size_t)info.st_size == size;
	if (same) {
		std::string held(size, '\0');
		size_t done = 0;
		while (done < size) {
			ssize_t result = read(descriptor, &held[done], size - done);
			if (result < 0 && errno == EINTR)
				continue;
			if (result <= 0)
				break;
			done += (size_t)result;
		}
		same = done == size && memcmp(held.data(), data, size) == 0;
	}
	close(descriptor);
	return same;
}


status_t
write_all(int descriptor, const void* data, size_t size)
{
	size_t done = 0;
	while (done < size) {
		ssize_t result = write(descriptor, (const char*)data + done,
			size - done);
		if (result < 0) {
			if (errno == EINTR)
				continue;
			return errno_status();
		}
		if (result == 0)
			return B_IO_ERROR;
		done += (size_t)result;
	}
	return B_OK;
}


status_t
write_temporary(std::string* temporary, int* descriptor,
	const char* temporaryFolder, const void* data, size_t size)
{
	status_t status = create_directory(temporaryFolder, 0700);
	if (status != B_OK)
		return status;

	for (int attempt = 0; attempt < kTemporaryNameAttempts; attempt++) {
		*temporary = temporaryFolder;
		if (temporary->empty() || temporary->back() != '/')
			*temporary += '/';
		*temporary += std::to_string(current_team()) + "."
			+ std::to_string(find_thread(NULL)) + "."
			+ std::to_string(sSaveCounter.fetch_add(1));
		status = open_platform_path(temporary->c_str(),
			O_WRONLY | O_CREAT | O_EXCL, 0644, descriptor);
		if (status != B_FILE_EXISTS)
			break;
	}
	if (status != B_OK)
		return status;

	status = write_all(*descriptor, data, size);
	if (status != B_OK) {
		close(*descriptor);
		*descriptor = -1;
		BEntry(temporary->c_str()).Remove();
	}
	return status;
}


status_t
sync_folder(const std::string& folder)
{
	int descriptor = -1;
	status_t status = open_platform_path(folder.c_str(),
		O_RDONLY | O_DIRECTORY, 0, &descriptor);
	if (status != B_OK)
		return status;
	sSyncs++;
	if (fsync(descriptor) != 0)
		status = errno_status();
	close(descriptor);
	return status;
}


// Waits until a sync of the folder that began after this call has ended,
// syncing it itself when none runs.
status_t
share_folder_sync(const std::string& folder)
{
	std::unique_lock<std::mutex> locker(sFolderLock);
	FolderSyncs& syncs = sFolders[folder];
	int64 ticket = ++syncs.requested;
	while (syncs.completed < ticket) {
		if (syncs.syncing) {
			sFolderSynced.wait(locker);
			continue;
		}
		syncs.syncing = true;
		int64 covered = syncs.requested;
		locker.unlock();
		status_t status = sync_folder(folder);
		locker.lock();
		syncs.completed = covered;
		syncs.lastStatus = status;
		syncs.syncing = false;
		sFolderSynced.notify_all();
	}
	return syncs.lastStatus;
}

}	// namespace


status_t
save_file_atomically(const char* path, const char* temporaryFolder,
	const void* data, size_t size)
{
	if (path == NULL || temporaryFolder == NULL || (data == NULL && size > 0))
		return B_BAD_VALUE;
	if (holds_already(path, data, size))
		return B_OK;

	std::string temporary;
	int descriptor = -1;
	status_t status = write_temporary(&temporary, &descriptor,
		temporaryFolder, data, size);
	if (status != B_OK)
		return status;

	// Each session syncs its own file, at the same time as the others, so
	// that the file system's journal may commit syncs that come together
	// at once. One thread syncing a whole group's files one after the other
	// would take as long as that many saves; syncing the whole file system
	// for a group would wait for whatever other programs wrote to it.
	sSyncs++;
	if (fsync(descriptor) != 0)
		status = errno_status();
	close(descriptor);
	BEntry written(temporary.c_str());
	// A record that is not on the disk whole never replaces the one that
	// is.
	if (status == B_OK)
		status = written.Rename(path, true);
	if (status != B_OK) {
		written.Remove();
		return status;
	}
	// The rename is kept once the folder is synced; the saves of many
	// sessions share that sync.
	return share_folder_sync(folder_of(path));
}


int64
count_save_syncs()
{
	return sSyncs.load();
}
