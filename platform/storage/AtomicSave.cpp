#include <AtomicSave.h>

#include <errno.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <BootVolume.h>
#include <Entry.h>
#include <Errors.h>
#include <OS.h>

#include "BootAccess.h"


namespace {

// How often a save looks for a free temporary name before it gives up.
const int kTemporaryNameAttempts = 8;

// One save between its write and its sync; lives on the saving thread's
// stack while it waits.
struct PendingSave {
	int					descriptor = -1;
	std::string			temporary;
	std::string			target;
	status_t			status = B_OK;
	bool				done = false;
};

std::atomic<uint32> sSaveCounter{0};
std::atomic<int64> sSyncs{0};

std::mutex sGroupLock;
std::condition_variable sGroupDone;
// Guarded by sGroupLock: the saves written and waiting for a sync, and
// whether a thread is syncing a group now.
std::vector<PendingSave*> sWaiting;
bool sSyncing = false;


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
write_temporary(PendingSave& save, const char* temporaryFolder,
	const void* data, size_t size)
{
	status_t status = create_directory(temporaryFolder, 0700);
	if (status != B_OK)
		return status;

	for (int attempt = 0; attempt < kTemporaryNameAttempts; attempt++) {
		save.temporary = temporaryFolder;
		if (save.temporary.empty() || save.temporary.back() != '/')
			save.temporary += '/';
		save.temporary += std::to_string(current_team()) + "."
			+ std::to_string(find_thread(NULL)) + "."
			+ std::to_string(sSaveCounter.fetch_add(1));
		status = open_platform_path(save.temporary.c_str(),
			O_WRONLY | O_CREAT | O_EXCL, 0644, &save.descriptor);
		if (status != B_FILE_EXISTS)
			break;
	}
	if (status != B_OK)
		return status;

	status = write_all(save.descriptor, data, size);
	if (status != B_OK) {
		close(save.descriptor);
		save.descriptor = -1;
		BEntry(save.temporary.c_str()).Remove();
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


// Syncs a group of written saves together, renames each over its file and
// syncs the folders of the files. One save alone syncs its own file; more
// sync their volume once, which writes all of them out in one go.
void
sync_group(std::vector<PendingSave*>& group)
{
	status_t status = B_OK;
	sSyncs++;
	if (group.size() == 1) {
		if (fsync(group.front()->descriptor) != 0)
			status = errno_status();
	} else if (syncfs(group.front()->descriptor) != 0)
		status = errno_status();

	std::vector<std::string> folders;
	for (PendingSave* save : group) {
		close(save->descriptor);
		save->descriptor = -1;
		save->status = status;
		BEntry temporary(save->temporary.c_str());
		if (save->status == B_OK)
			save->status = temporary.Rename(save->target.c_str(), true);
		// A record that is not on the disk whole never replaces the one
		// that is.
		if (save->status != B_OK) {
			temporary.Remove();
			continue;
		}
		std::string folder = folder_of(save->target);
		bool known = false;
		for (const std::string& other : folders)
			known = known || other == folder;
		if (!known)
			folders.push_back(folder);
	}

	for (const std::string& folder : folders) {
		status_t folderStatus = sync_folder(folder);
		if (folderStatus == B_OK)
			continue;
		for (PendingSave* save : group) {
			if (save->status == B_OK && folder_of(save->target) == folder)
				save->status = folderStatus;
		}
	}
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

	PendingSave save;
	save.target = path;
	status_t status = write_temporary(save, temporaryFolder, data, size);
	if (status != B_OK)
		return status;

	// The first save to find nobody syncing syncs every save that waits,
	// its own among them, and then looks again: saves that came during its
	// sync form the next group.
	std::unique_lock<std::mutex> locker(sGroupLock);
	sWaiting.push_back(&save);
	while (!save.done) {
		if (sSyncing) {
			sGroupDone.wait(locker);
			continue;
		}
		sSyncing = true;
		std::vector<PendingSave*> group;
		group.swap(sWaiting);
		locker.unlock();
		sync_group(group);
		locker.lock();
		for (PendingSave* member : group)
			member->done = true;
		sSyncing = false;
		sGroupDone.notify_all();
	}
	return save.status;
}


int64
count_save_syncs()
{
	return sSyncs.load();
}
