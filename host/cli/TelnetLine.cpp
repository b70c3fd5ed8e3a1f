#include "TelnetLine.h"

#include "HostLog.h"

#include <Errors.h>

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>


TelnetLine::TelnetLine(int descriptor)
	:
	fDescriptor(descriptor),
	fProtocol(*this)
{
}


status_t
TelnetLine::InitCheck() const
{
	struct stat info;
	if (fDescriptor < 0 || fstat(fDescriptor, &info) != 0
		|| !S_ISSOCK(info.st_mode) || fProtocol.HasFailed()) {
		return B_BAD_VALUE;
	}
	return B_OK;
}


status_t
TelnetLine::Start()
{
	fProtocol.Start();
	return _Send();
}


status_t
TelnetLine::Receive(std::string* keys, bool* ended)
{
	*ended = false;
	char buffer[4096];
	ssize_t bytesRead = recv(fDescriptor, buffer, sizeof(buffer), 0);
	if (bytesRead < 0 && (errno == EINTR || errno == EAGAIN))
		return B_OK;
	if (bytesRead <= 0) {
		*ended = true;
		return B_OK;
	}
	fProtocol.Receive(buffer, (size_t)bytesRead);
	keys->swap(fKeys);
	fKeys.clear();
	*ended = fFailed;
	return _Send();
}


status_t
TelnetLine::Show(const std::string& text)
{
	if (text.empty())
		return B_OK;
	fProtocol.SendText(text);
	fAtLineStart = text.back() == '\n';
	return _Send();
}


status_t
TelnetLine::EndLine()
{
	if (fAtLineStart)
		return B_OK;
	return Show("\n");
}


void
TelnetLine::KeysReceived(const std::string& keys)
{
	fKeys += keys;
}


void
TelnetLine::BytesToSend(const char* bytes, size_t size)
{
	fOutput.append(bytes, size);
}


void
TelnetLine::ProtocolFailed(const char* reason)
{
	HostLog("the board's telnet line broke: %s", reason != NULL ? reason
		: "protocol error");
	fFailed = true;
}


status_t
TelnetLine::_Send()
{
	// The socket's blocking mode is the board's to choose: one that does
	// not block is waited for here rather than changed.
	size_t done = 0;
	status_t status = B_OK;
	while (done < fOutput.size()) {
		ssize_t written = send(fDescriptor, fOutput.data() + done,
			fOutput.size() - done, MSG_NOSIGNAL);
		if (written < 0 && errno == EINTR)
			continue;
		if (written < 0 && errno == EAGAIN) {
			pollfd writable = { fDescriptor, POLLOUT, 0 };
			poll(&writable, 1, -1);
			continue;
		}
		if (written < 0) {
			status = status_from_errno(errno);
			break;
		}
		done += (size_t)written;
	}
	fOutput.clear();
	return status;
}
