#include <File.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <Errors.h>

#include "BootAccess.h"

using namespace BPrivate;


static const uint32 kAccessMask = 0x0003;


BFile::BFile()
{
}


BFile::BFile(const char* path, uint32 openMode)
{
	SetTo(path, openMode);
}


BFile::~BFile()
{
	Unset();
}


status_t
BFile::SetTo(const char* path, uint32 openMode)
{
	Unset();

	int flags;
	switch (openMode & kAccessMask) {
		case B_READ_ONLY:
			flags = O_RDONLY;
			break;
		case B_WRITE_ONLY:
			flags = O_WRONLY;
			break;
		case B_READ_WRITE:
			flags = O_RDWR;
			break;
		default:
			return fStatus = B_BAD_VALUE;
	}
	// Emptying a file that was opened only to be read would destroy data
	// nobody asked to change; Linux would do it, so refuse the mode.
	if ((openMode & B_ERASE_FILE) != 0 && (openMode & kAccessMask) == B_READ_ONLY)
		return fStatus = B_BAD_VALUE;

	if ((openMode & B_CREATE_FILE) != 0)
		flags |= O_CREAT;
	if ((openMode & B_FAIL_IF_EXISTS) != 0)
		flags |= O_CREAT | O_EXCL;
	if ((openMode & B_ERASE_FILE) != 0)
		flags |= O_TRUNC;
	if ((openMode & B_OPEN_AT_END) != 0)
		flags |= O_APPEND;

	// Opened without waiting, since opening a fifo would otherwise wait
	// for its other end for ever; only a regular file is kept.
	int descriptor = -1;
	status_t status = open_platform_path(path, flags | O_NONBLOCK, 0644,
		&descriptor);
	if (status != B_OK)
		return fStatus = status;

	// A folder opens read-only on Linux, but it is no file to read.
	struct stat info;
	if (fstat(descriptor, &info) != 0) {
		status = status_from_errno(errno);
		close(descriptor);
		return fStatus = status;
	}
	if (S_ISDIR(info.st_mode)) {
		close(descriptor);
		return fStatus = B_IS_A_DIRECTORY;
	}
	// A fifo, a socket or a device is no file either: reading one could
	// wait for ever or never end.
	if (!S_ISREG(info.st_mode)) {
		close(descriptor);
		return fStatus = B_BAD_TYPE;
	}
	fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);

	fDescriptor = descriptor;
	fOpenMode = openMode;
	return fStatus = B_OK;
}


status_t
BFile::InitCheck() const
{
	return fStatus;
}


void
BFile::Unset()
{
	if (fDescriptor >= 0)
		close(fDescriptor);
	fDescriptor = -1;
	fOpenMode = 0;
	fStatus = B_NO_INIT;
}


ssize_t
BFile::Read(void* buffer, size_t size)
{
	if (fStatus != B_OK)
		return fStatus;
	if (!IsReadable())
		return B_NOT_ALLOWED;
	if (buffer == nullptr && size > 0)
		return B_BAD_VALUE;

	// A file gives what it has in one go; looping only covers interrupted
	// or short reads, and stops at the end of the file.
	size_t done = 0;
	while (done < size) {
		ssize_t result = read(fDescriptor, (char*)buffer + done, size - done);
		if (result < 0) {
			if (errno == EINTR)
				continue;
			if (done > 0)
				break;
			return status_from_errno(errno);
		}
		if (result == 0)
			break;
		done += (size_t)result;
	}
	return (ssize_t)done;
}


ssize_t
BFile::Write(const void* buffer, size_t size)
{
	if (fStatus != B_OK)
		return fStatus;
	if (!IsWritable())
		return B_NOT_ALLOWED;
	if (buffer == nullptr && size > 0)
		return B_BAD_VALUE;

	// Everything is written or the failure is reported: a short count would
	// leave a caller who does not check it with half a record on disk.
	size_t done = 0;
	while (done < size) {
		ssize_t result = write(fDescriptor, (const char*)buffer + done,
			size - done);
		if (result < 0) {
			if (errno == EINTR)
				continue;
			return status_from_errno(errno);
		}
		if (result == 0)
			return B_IO_ERROR;
		done += (size_t)result;
	}
	return (ssize_t)done;
}


status_t
BFile::Sync()
{
	if (fStatus != B_OK)
		return fStatus;
	if (fsync(fDescriptor) != 0)
		return status_from_errno(errno);
	return B_OK;
}


bool
BFile::IsReadable() const
{
	uint32 access = fOpenMode & kAccessMask;
	return fStatus == B_OK && (access == B_READ_ONLY || access == B_READ_WRITE);
}


bool
BFile::IsWritable() const
{
	uint32 access = fOpenMode & kAccessMask;
	return fStatus == B_OK && (access == B_WRITE_ONLY || access == B_READ_WRITE);
}
