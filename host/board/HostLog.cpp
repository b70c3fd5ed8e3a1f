#include "HostLog.h"

#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>


// Set before any other thread runs, read only after.
static int sLogDescriptor = -1;
static HostLogEcho sEcho = HostLogEcho::kStandardError;


void
SendHostLogTo(int logDescriptor, HostLogEcho echo)
{
	sLogDescriptor = logDescriptor;
	sEcho = echo;
}


void
HostLog(const char* format, ...)
{
	char line[1024] = "zenbo: ";
	size_t prefix = 7;

	va_list arguments;
	va_start(arguments, format);
	int length = vsnprintf(line + prefix, sizeof(line) - prefix - 1, format,
		arguments);
	va_end(arguments);
	if (length < 0)
		return;

	size_t size = prefix + (size_t)length;
	if (size > sizeof(line) - 2)
		size = sizeof(line) - 2;
	line[size++] = '\n';
	// A full pipe, a full disk or a closed standard error must not stop the
	// host.
	if (sLogDescriptor >= 0) {
		ssize_t written = write(sLogDescriptor, line, size);
		(void)written;
	}
	if (sEcho == HostLogEcho::kStandardError) {
		ssize_t written = write(STDERR_FILENO, line, size);
		(void)written;
	}
}
