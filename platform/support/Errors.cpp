#include <Errors.h>

#include <string.h>


const char*
strerror_status(int32_t status)
{
	switch (status) {
		case B_OK:					return "No error";
		case B_ERROR:				return "General error";
		case B_NO_MEMORY:			return "Out of memory";
		case B_IO_ERROR:			return "I/O error";
		case B_PERMISSION_DENIED:	return "Permission denied";
		case B_BAD_INDEX:			return "Index out of range";
		case B_BAD_TYPE:			return "Bad type";
		case B_BAD_VALUE:			return "Invalid argument";
		case B_MISMATCHED_VALUES:	return "Mismatched values";
		case B_NAME_NOT_FOUND:		return "Name not found";
		case B_NAME_IN_USE:			return "Name in use";
		case B_TIMED_OUT:			return "Operation timed out";
		case B_INTERRUPTED:			return "Interrupted";
		case B_WOULD_BLOCK:			return "Operation would block";
		case B_CANCELED:			return "Operation canceled";
		case B_NO_INIT:				return "Not initialized";
		case B_BUSY:				return "Busy";
		case B_NOT_ALLOWED:			return "Operation not allowed";
		case B_BAD_DATA:			return "Bad data";
		case B_NOT_SUPPORTED:		return "Not supported";
		case B_BUFFER_OVERFLOW:		return "Buffer overflow";
		case B_BAD_THREAD_ID:		return "No such thread";
		case B_BAD_TEAM_ID:			return "No such team";
		case B_BAD_PORT_ID:			return "No such port";
		case B_BAD_HANDLER:			return "Bad handler";
		case B_BAD_REPLY:			return "Bad reply";
		case B_DUPLICATE_REPLY:		return "Message already answered";
		case B_MESSAGE_TO_SELF:		return "Message to self";
		case B_LAUNCH_FAILED:		return "Launch failed";
		case B_FILE_ERROR:			return "File error";
		case B_FILE_EXISTS:			return "File exists";
		case B_ENTRY_NOT_FOUND:		return "No such file or folder";
		case B_NAME_TOO_LONG:		return "Name too long";
		case B_NOT_A_DIRECTORY:		return "Not a folder";
		case B_IS_A_DIRECTORY:		return "Is a folder";
		case B_DIRECTORY_NOT_EMPTY:	return "Folder not empty";
		case B_LINK_LIMIT:			return "Too many links";
		case B_CROSS_DEVICE_LINK:	return "Outside the boot volume";
		case B_NO_SPACE:			return "No space left on the volume";
	}
	return "Unknown error";
}
