#include "SysopClient.h"

#include "BridgeProtocol.h"
#include "HostLog.h"
#include "SysopProtocol.h"
#include "SysopSocket.h"
#include "WriteAll.h"

#include <BootVolume.h>
#include <Errors.h>

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>


// The host answers at once; a host that does not is stuck, and the sysop
// should hear so rather than wait.
static const int kAnswerTimeout = 10000;


int
AskHost(const char* command, const std::vector<std::string>& words,
	std::string* text)
{
	int descriptor = -1;
	status_t status = ConnectToSysopSocket(&descriptor);
	if (status == B_ENTRY_NOT_FOUND) {
		HostLog("%s: no host runs on the boot volume %s (start one with"
			" zenbo --host, or the drelmoor service)", command,
			boot_volume_folder().String());
		return 1;
	}
	if (status != B_OK) {
		HostLog("%s: cannot reach the host: %s", command,
			strerror_status(status));
		return 1;
	}

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
