#include "WriteAll.h"

#include <errno.h>
#include <unistd.h>


status_t
WriteAll(int descriptor, const char* data, size_t size)
{
	while (size > 0) {
		ssize_t written = write(descriptor, data, size);
		if (written < 0 && errno == EINTR)
			continue;
		if (written < 0)
			return status_from_errno(errno);
		data += written;
		size -= (size_t)written;
	}
	return B_OK;
}
