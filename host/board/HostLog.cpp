#include "HostLog.h"

#include "PeerText.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>


// Set before any other thread runs, read only after.
static int sLogDescriptor = -1;
static HostLogEcho sEcho = HostLogEcho::kStandardError;

// What one line holds at most, escaped, besides its stamp.
static const size_t kMaxLine = 1024;


void
SendHostLogTo(int logDescriptor, HostLogEcho echo)
{
	sLogDescriptor = logDescriptor;
	sEcho = echo;
}


// systemd names the journal's stream in JOURNAL_STREAM ("device:inode");
// when standard error is that stream, the journal stamps each line itself
// and a second time would only crowd it.
static bool
StandardErrorIsJournal()
{
	const char* stream = getenv("JOURNAL_STREAM");
	if (stream == NULL)
		return false;
	unsigned long long device = 0;
	unsigned long long inode = 0;
	if (sscanf(stream, "%llu:%llu", &device, &inode) != 2)
		return false;
	struct stat info;
	if (fstat(STDERR_FILENO, &info) != 0)
		return false;
	return (unsigned long long)info.st_dev == device
		&& (unsigned long long)info.st_ino == inode;
}


// The local time in RFC 3339 form, "2026-12-09T05:30:12+00:00 ".
static std::string
TimeStamp()
{
	time_t now = time(NULL);
	struct tm local;
	if (localtime_r(&now, &local) == NULL)
		return std::string();
	char text[40];
	size_t length = strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S%z ",
		&local);
	// strftime gives the offset as +hhmm; the form wants +hh:mm.
	if (length < 7)
		return std::string();
	std::string stamp(text, length);
	stamp.insert(length - 3, ":");
	return stamp;
}


void
HostLog(const char* format, ...)
{
	char message[kMaxLine];
	va_list arguments;
	va_start(arguments, format);
	int length = vsnprintf(message, sizeof(message), format, arguments);
	va_end(arguments);
	if (length < 0)
		return;
	size_t size = std::min((size_t)length, sizeof(message) - 1);
	// A message that ends its own line (a notice passed on) gets no second
	// end, shown escaped.
	while (size > 0
		&& (message[size - 1] == '\n' || message[size - 1] == '\r')) {
		size--;
	}

	// Whatever a peer's bytes a caller of HostLog forgot to escape, the
	// sysop's terminal never gets a control byte from the log: the line is
	// escaped whole (text escaped before has none left to escape).
	std::string line = "zenbo: " + PeerText::Escaped(message, size);
	if (line.size() > kMaxLine)
		line.resize(kMaxLine);
	line += '\n';

	static const bool sJournal = StandardErrorIsJournal();
	std::string stamped = TimeStamp() + line;
	// A full pipe, a full disk or a closed standard error must not stop the
	// host.
	if (sLogDescriptor >= 0) {
		ssize_t written = write(sLogDescriptor, stamped.data(),
			stamped.size());
		(void)written;
	}
	if (sEcho == HostLogEcho::kStandardError) {
		const std::string& out = sJournal ? line : stamped;
		ssize_t written = write(STDERR_FILENO, out.data(), out.size());
		(void)written;
	}
}
