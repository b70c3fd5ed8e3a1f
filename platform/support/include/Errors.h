#pragma once

// Error codes of the platform. Every failure a kit reports is one of these;
// B_OK is the only success. The values are our own and carry no meaning
// outside this platform (they never travel on the wire).

#include <stdint.h>

#include <SupportDefs.h>

#define B_GENERAL_ERROR_BASE	INT32_MIN
#define B_OS_ERROR_BASE			(B_GENERAL_ERROR_BASE + 0x1000)
#define B_APP_ERROR_BASE		(B_GENERAL_ERROR_BASE + 0x2000)
#define B_STORAGE_ERROR_BASE	(B_GENERAL_ERROR_BASE + 0x6000)

enum {
	B_OK = 0,
	B_ERROR = -1,

	B_NO_MEMORY = B_GENERAL_ERROR_BASE,
	B_IO_ERROR,
	B_PERMISSION_DENIED,
	B_BAD_INDEX,
	B_BAD_TYPE,
	B_BAD_VALUE,
	B_MISMATCHED_VALUES,
	B_NAME_NOT_FOUND,
	B_NAME_IN_USE,
	B_TIMED_OUT,
	B_INTERRUPTED,
	B_WOULD_BLOCK,
	B_CANCELED,
	B_NO_INIT,
	B_BUSY,
	B_NOT_ALLOWED,
	B_BAD_DATA,
	B_NOT_SUPPORTED,
	B_BUFFER_OVERFLOW,

	B_BAD_THREAD_ID = B_OS_ERROR_BASE,
	B_BAD_TEAM_ID,
	B_BAD_PORT_ID,

	B_BAD_HANDLER = B_APP_ERROR_BASE,
	B_BAD_REPLY,
	B_DUPLICATE_REPLY,
	B_MESSAGE_TO_SELF,
	B_LAUNCH_FAILED,

	B_FILE_ERROR = B_STORAGE_ERROR_BASE,
	B_FILE_EXISTS,
	B_ENTRY_NOT_FOUND,
	B_NAME_TOO_LONG,
	B_NOT_A_DIRECTORY,
	B_IS_A_DIRECTORY,
	B_DIRECTORY_NOT_EMPTY,
	B_LINK_LIMIT,
	B_CROSS_DEVICE_LINK,
	B_NO_SPACE,
};

// A short English text for a status, for logs and error messages.
B_EXPORT const char* strerror_status(int32_t status);

// The one place where an errno value from a Linux call becomes a status, for
// the kits' sources and for the programs' own Linux mechanics, so that a
// failure reads the same whichever layer met it. 0 is B_OK; a value with no
// closer status is B_ERROR.
B_EXPORT int32_t status_from_errno(int error);
