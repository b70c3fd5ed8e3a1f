#include <Errors.h>

#include <errno.h>


int32_t
status_from_errno(int error)
{
	switch (error) {
		case 0:
			return B_OK;
		case ENOMEM:
		case EMFILE:
		case ENFILE:
			return B_NO_MEMORY;
		case EIO:
			return B_IO_ERROR;
		case EACCES:
		case EPERM:
			return B_PERMISSION_DENIED;
		case EINVAL:
			return B_BAD_VALUE;
		case ETIMEDOUT:
			return B_TIMED_OUT;
		case EINTR:
			return B_INTERRUPTED;
		case EAGAIN:
			return B_WOULD_BLOCK;
		case ECANCELED:
			return B_CANCELED;
		case EBUSY:
		case ETXTBSY:
			return B_BUSY;
		case EROFS:
			return B_NOT_ALLOWED;
		case ENOSYS:
		case EOPNOTSUPP:
			return B_NOT_SUPPORTED;
		case ESRCH:
			return B_BAD_THREAD_ID;
		case EBADF:
			return B_FILE_ERROR;
		case EEXIST:
			return B_FILE_EXISTS;
		case ENOENT:
			return B_ENTRY_NOT_FOUND;
		case ENAMETOOLONG:
			return B_NAME_TOO_LONG;
		case ENOTDIR:
			return B_NOT_A_DIRECTORY;
		case EISDIR:
			return B_IS_A_DIRECTORY;
		case ENOTEMPTY:
			return B_DIRECTORY_NOT_EMPTY;
		case ELOOP:
			return B_LINK_LIMIT;
		case EXDEV:
			return B_CROSS_DEVICE_LINK;
		case ENOSPC:
		case EDQUOT:
			return B_NO_SPACE;
		case EADDRINUSE:
			return B_NAME_IN_USE;
	}
	return B_ERROR;
}
