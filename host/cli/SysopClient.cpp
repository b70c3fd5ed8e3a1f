#include "SysopClient.h"

#include "BridgeProtocol.h"
#include "HostLog.h"
#include "LineDiscipline.h"
#include "RawTerminal.h"
#include "SysopProtocol.h"
#include "SysopSocket.h"
#include "WriteAll.h"

#include <BootVolume.h>
#include <Errors.h>

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>


// The host answers at once; a host that does not is stuck, and the sysop
// should hear so rather than wait.
static const int kAnswerTimeout = 10000;


static const char kEscape = 0x1b;
static const char kEndOfText = 0x04;		// Ctrl-D
static const char kInterrupt = 0x03;		// Ctrl-C as a raw terminal sends it

static volatile sig_atomic_t sInterrupted = 0;


static void
Interrupted(int)
{
	sInterrupted = 1;
}


// -1 (the problem said) or the connected socket.
static int
Connect(const char* command)
{
	int descriptor = -1;
	status_t status = ConnectToSysopSocket(&descriptor);
	if (status == B_ENTRY_NOT_FOUND) {
		HostLog("%s: no host runs on the boot volume %s (start one with"
			" zenbo --host, or the drelmoor service)", command,
			boot_volume_folder().String());
		return -1;
	}
	if (status != B_OK) {
		HostLog("%s: cannot reach the host: %s", command,
			strerror_status(status));
		return -1;
	}
	return descriptor;
}


static void
WriteOut(const std::string& text)
{
	if (!text.empty())
		WriteAll(STDOUT_FILENO, text.data(), text.size());
}


int
AskHost(const char* command, const std::vector<std::string>& words,
	std::string* text)
{
	int descriptor = Connect(command);
	if (descriptor < 0)
		return 1;
	status_t status;

	std::string frame;
	AppendFrame(frame, kFrameSysopRequest, EncodeSysopRequest(words));
	status = WriteAll(descriptor, frame.data(), frame.size());

	FrameReader reader;
	uint8 type = 0;
	std::string payload;
	while (status == B_OK) {
		status = reader.Next(&type, &payload);
		if (status != B_WOULD_BLOCK)
			break;
		pollfd readable = { descriptor, POLLIN, 0 };
		int ready = poll(&readable, 1, kAnswerTimeout);
		if (ready < 0 && errno == EINTR) {
			status = B_OK;
			continue;
		}
		if (ready == 0) {
			status = B_TIMED_OUT;
			break;
		}
		char buffer[4096];
		ssize_t bytesRead = recv(descriptor, buffer, sizeof(buffer), 0);
		if (bytesRead < 0 && errno == EINTR) {
			status = B_OK;
			continue;
		}
		if (bytesRead <= 0) {
			status = B_ERROR;
			break;
		}
		reader.Feed(buffer, (size_t)bytesRead);
		status = B_OK;
	}
	close(descriptor);

	if (status == B_TIMED_OUT) {
		HostLog("%s: the host did not answer", command);
		return 1;
	}
	if (status != B_OK) {
		HostLog("%s: the host closed the connection without an answer (is it"
			" stopping?)", command);
		return 1;
	}
	if (type == kFrameSysopDone) {
		*text = payload;
		return 0;
	}
	if (type == kFrameSysopFailed && !payload.empty()) {
		HostLog("%s: %s", command, payload.c_str() + 1);
		return (uint8)payload[0] != 0 ? (uint8)payload[0] : 1;
	}
	HostLog("%s: the host sent something this command cannot read", command);
	return 1;
}


// What the sysop typed in a chat, for the host: Esc alone, Ctrl-D or
// Ctrl-C end the chat; an escape sequence (an arrow key, a function key)
// is dropped whole rather than taken for Esc.
static std::string
ChatKeys(const char* bytes, size_t size, bool* end)
{
	std::string keys;
	if (size == 1 && bytes[0] == kEscape) {
		*end = true;
		return keys;
	}
	for (size_t i = 0; i < size; i++) {
		if (bytes[i] == kEndOfText || bytes[i] == kInterrupt) {
			*end = true;
			break;
		}
		if (bytes[i] == kEscape)
			break;
		keys += bytes[i];
	}
	return keys;
}


int
FollowHost(const char* command, const std::vector<std::string>& words,
	SysopWatch watch)
{
	int descriptor = Connect(command);
	if (descriptor < 0)
		return 1;

	// Ctrl-C ends a watch as the sysop's own end does, so that the host
	// says so and the terminal is left on a fresh line.
	// Set after the raw terminal's own handlers, which would end the
	// command at once.
	RawTerminal raw;
	bool typing = watch == SysopWatch::kChat;
	if (typing && isatty(STDIN_FILENO))
		raw.Enter(STDIN_FILENO);
	struct sigaction interrupt = {};
	interrupt.sa_handler = Interrupted;
	sigemptyset(&interrupt.sa_mask);
	struct sigaction previous = {};
	sigaction(SIGINT, &interrupt, &previous);
	signal(SIGPIPE, SIG_IGN);

	std::string frame;
	AppendFrame(frame, kFrameSysopRequest, EncodeSysopRequest(words));
	status_t status = WriteAll(descriptor, frame.data(), frame.size());

	FrameReader reader;
	LineDiscipline discipline;
	bool endSent = false;
	bool inputOpen = typing;
	int exitStatus = -1;
	while (status == B_OK && exitStatus < 0) {
		uint8 type = 0;
		std::string payload;
		status = reader.Next(&type, &payload);
		if (status == B_OK) {
			if (type == kFrameSysopShown) {
				std::string shown;
				discipline.TranslateText(payload, shown);
				WriteOut(shown);
			} else if (type == kFrameSysopDone) {
				std::string last;
				discipline.EndLine(last);
				WriteOut(last + payload);
				exitStatus = 0;
			} else if (type == kFrameSysopFailed && !payload.empty()) {
				std::string last;
				discipline.EndLine(last);
				WriteOut(last);
				raw.Restore();
				HostLog("%s: %s", command, payload.c_str() + 1);
				exitStatus = (uint8)payload[0] != 0 ? (uint8)payload[0] : 1;
			} else {
				HostLog("%s: the host sent something this command cannot"
					" read", command);
				exitStatus = 1;
			}
			continue;
		}
		if (status != B_WOULD_BLOCK)
			break;
		status = B_OK;

		bool end = sInterrupted != 0;
		pollfd ready[2] = {
			{ descriptor, POLLIN, 0 },
			{ STDIN_FILENO, POLLIN, 0 },
		};
		int count = end && !endSent ? 0
			: poll(ready, inputOpen ? 2 : 1, -1);
		if (count < 0 && errno != EINTR) {
			status = B_ERROR;
			break;
		}
		if (count > 0 && (ready[0].revents & (POLLIN | POLLHUP | POLLERR))) {
			char buffer[4096];
			ssize_t bytesRead = recv(descriptor, buffer, sizeof(buffer), 0);
			if (bytesRead < 0 && errno == EINTR)
				continue;
			if (bytesRead <= 0) {
				status = B_ERROR;
				break;
			}
			reader.Feed(buffer, (size_t)bytesRead);
		}
		if (count > 0 && inputOpen
			&& (ready[1].revents & (POLLIN | POLLHUP | POLLERR))) {
			char buffer[512];
			ssize_t bytesRead = read(STDIN_FILENO, buffer, sizeof(buffer));
			if (bytesRead < 0 && errno == EINTR)
				continue;
			if (bytesRead <= 0) {
				// Standard input has ended: so has the sysop's side.
				inputOpen = false;
				end = true;
			} else {
				std::string keys = ChatKeys(buffer, (size_t)bytesRead, &end);
				if (!keys.empty() && !endSent) {
					std::string keysFrame;
					AppendFrame(keysFrame, kFrameSysopKeys, keys);
					// A host that has answered already may have closed its
					// end: its answer is still to be read.
					WriteAll(descriptor, keysFrame.data(), keysFrame.size());
				}
			}
		}
		if (end && !endSent) {
			endSent = true;
			inputOpen = false;
			std::string endFrame;
			AppendFrame(endFrame, kFrameSysopEnd, "");
			WriteAll(descriptor, endFrame.data(), endFrame.size());
		}
	}
	close(descriptor);
	raw.Restore();
	sigaction(SIGINT, &previous, NULL);
	if (exitStatus >= 0)
		return exitStatus;
	HostLog("%s: the host closed the connection (is it stopping?)", command);
	return 1;
}
