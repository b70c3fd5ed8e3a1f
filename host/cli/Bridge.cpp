#include "Bridge.h"

#include "BridgeProtocol.h"
#include "HostLog.h"
#include "RawTerminal.h"
#include "TelnetLine.h"
#include "TerminalSocket.h"
#include "WriteAll.h"

#include <BootVolume.h>
#include <Errors.h>
#include <OS.h>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>


// How long a bridge waits for a host it started to listen.
static const bigtime_t kHostStartTimeout = 15000000;
static const bigtime_t kConnectInterval = 20000;
// A host that ends just as a bridge arrives is replaced this many times.
static const int kMaxConnectRounds = 5;


Bridge::Bridge(Mode mode, Passage passage, const BString& userName,
	const BString& doorProgram, int telnetLine)
	:
	fMode(mode),
	fPassage(mode != Mode::kStdio ? Passage::kLineDiscipline : passage),
	fUserName(userName),
	fDoorProgram(doorProgram)
{
	if (mode == Mode::kTelnet)
		fLine = std::make_unique<TelnetLine>(telnetLine);
}


Bridge::~Bridge()
{
}


int
Bridge::Run()
{
	// A reader of standard output that goes away ends the bridge with an
	// error from write, not with a signal.
	signal(SIGPIPE, SIG_IGN);

	if (fLine != NULL) {
		if (fLine->InitCheck() != B_OK) {
			HostLog("the drop file's comm handle %d is no open socket of"
				" this program", fLine->Descriptor());
			return kExitFailure;
		}
		// The offers go out once; the caller's answers wait in the socket
		// until the session reads them.
		if (fLine->Start() != B_OK) {
			HostLog("cannot write to the board's telnet line");
			return kExitFailure;
		}
	}

	RawTerminal rawTerminal;
	bool raw = false;
	for (int round = 0; round < kMaxConnectRounds; round++) {
		int descriptor = -1;
		status_t status = _Connect(&descriptor);
		if (status != B_OK) {
			BString log;
			runtime_folder(&log);
			HostLog("the host did not start (%s); its log is %s/zenbo.log",
				strerror_status(status), log.String());
			return kExitFailure;
		}

		std::string hello(1, (char)kBridgeProtocolVersion);
		hello.append(fUserName.String(), (size_t)fUserName.Length());
		if (fPlace.Length() > 0 || fTimeLeft >= 0) {
			hello += '\0';
			hello.append(fPlace.String(), (size_t)fPlace.Length());
		}
		if (fTimeLeft >= 0) {
			hello += '\0';
			hello += std::to_string(fTimeLeft / 1000000);
		}
		std::string frame;
		AppendFrame(frame, kFrameHello, hello);
		if (WriteAll(descriptor, frame.data(), frame.size()) != B_OK) {
			close(descriptor);
			continue;
		}

		// A caller's terminal on standard input (a board's pseudo-terminal)
		// takes a key at a time and echoes nothing: the door echoes.
		if ((fMode == Mode::kLocal || (fMode == Mode::kStdio
				&& isatty(STDIN_FILENO))) && !raw) {
			raw = true;
			status = rawTerminal.Enter(STDIN_FILENO);
			if (status != B_OK) {
				HostLog("cannot put the terminal in raw mode: %s",
					strerror_status(status));
				close(descriptor);
				return kExitFailure;
			}
		}

		bool retry = false;
		int exitStatus = _Pump(descriptor, &retry);
		close(descriptor);
		if (!retry) {
			_EndScreen();
			rawTerminal.Restore();
			return exitStatus;
		}
	}
	rawTerminal.Restore();
	HostLog("the host keeps ending; try again");
	return kExitFailure;
}


status_t
Bridge::_Connect(int* descriptor)
{
	status_t status = ConnectToTerminalSocket(descriptor);
	if (status != B_ENTRY_NOT_FOUND)
		return status;

	status = _StartHost();
	if (status != B_OK)
		return status;

	bigtime_t deadline = system_time() + kHostStartTimeout;
	while (system_time() < deadline) {
		status = ConnectToTerminalSocket(descriptor);
		if (status != B_ENTRY_NOT_FOUND)
			return status;
		snooze(kConnectInterval);
	}
	return B_TIMED_OUT;
}


status_t
Bridge::_StartHost()
{
	char program[PATH_MAX];
	ssize_t length = readlink("/proc/self/exe", program, sizeof(program) - 1);
	if (length <= 0)
		return status_from_errno(errno);
	program[length] = '\0';

	BString logPath;
	status_t status = runtime_folder(&logPath);
	if (status != B_OK)
		return status;
	logPath << "/zenbo.log";

	char* const arguments[] = { program, (char*)"--host",
		(char*)"--while-terminals", (char*)"--door",
		(char*)fDoorProgram.String(), NULL };

	// Started through a child that ends at once, so that the host belongs
	// to no terminal and to no bridge: it outlives this one and serves the
	// next.
	pid_t child = fork();
	if (child < 0)
		return status_from_errno(errno);
	if (child == 0) {
		setsid();
		pid_t host = fork();
		if (host == 0) {
			sigset_t none;
			sigemptyset(&none);
			sigprocmask(SIG_SETMASK, &none, NULL);
			signal(SIGPIPE, SIG_DFL);
			int null = open("/dev/null", O_RDWR);
			int log = open(logPath.String(),
				O_WRONLY | O_CREAT | O_APPEND, 0644);
			if (null >= 0) {
				dup2(null, STDIN_FILENO);
				dup2(null, STDOUT_FILENO);
			}
			if (log >= 0)
				dup2(log, STDERR_FILENO);
			else if (null >= 0)
				dup2(null, STDERR_FILENO);
			close_range(3, ~0U, 0);
			execv(program, arguments);
			_exit(127);
		}
		_exit(host < 0 ? 1 : 0);
	}
	int waitStatus = 0;
	while (waitpid(child, &waitStatus, 0) < 0 && errno == EINTR) {
	}
	return B_OK;
}


int
Bridge::_Pump(int descriptor, bool* retry)
{
	bool welcomed = false;
	bool inputOpen = true;
	FrameReader reader;
	int terminal = fLine != NULL ? fLine->Descriptor() : STDIN_FILENO;

	while (true) {
		pollfd descriptors[2] = {
			{ descriptor, POLLIN, 0 },
			{ inputOpen && welcomed ? terminal : -1, POLLIN, 0 },
		};
		if (poll(descriptors, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			return kExitFailure;
		}

		if (descriptors[1].revents != 0 && !_ReadTerminal(descriptor)) {
			inputOpen = false;
			std::string frame;
			AppendFrame(frame, kFrameEndOfInput, std::string());
			WriteAll(descriptor, frame.data(), frame.size());
		}

		if (descriptors[0].revents == 0)
			continue;
		char buffer[8192];
		ssize_t bytesRead = recv(descriptor, buffer, sizeof(buffer), 0);
		if (bytesRead < 0 && errno == EINTR)
			continue;
		if (bytesRead <= 0) {
			if (!welcomed) {
				// The host was ending as this bridge came: start another.
				*retry = true;
				return kExitFailure;
			}
			_ShowNotice("The host has gone.", true);
			return kExitFailure;
		}

		reader.Feed(buffer, (size_t)bytesRead);
		uint8 type;
		std::string payload;
		status_t status;
		while ((status = reader.Next(&type, &payload)) == B_OK) {
			switch (type) {
				case kFrameWelcome:
					welcomed = true;
					break;
				case kFrameText:
					if (_ShowText(payload) != B_OK) {
						// Nobody reads the texts any more: the user has
						// gone, and closing the socket tells the host.
						return kExitFailure;
					}
					break;
				case kFrameNotice:
					_ShowNotice(payload, welcomed);
					break;
				case kFrameAnnouncement:
					_ShowAnnouncement(payload);
					break;
				case kFrameLog:
					// The game's screen is no place for the host's log.
					if (fMode != Mode::kLocal)
						HostLog("%s", payload.c_str());
					break;
				case kFrameGoodbye:
					return payload.empty() ? (int)kExitFailure
						: (int)(uint8)payload[0];
			}
		}
		if (status == B_BAD_DATA) {
			_ShowNotice("The host sent something this bridge cannot read.",
				welcomed);
			return kExitFailure;
		}
	}
}


bool
Bridge::_ReadTerminal(int descriptor)
{
	if (fLine != NULL) {
		// The telnet protocol has applied the caller's discipline.
		std::string keys;
		bool ended = false;
		if (fLine->Receive(&keys, &ended) != B_OK)
			ended = true;
		if (!keys.empty()) {
			std::string frame;
			AppendFrame(frame, kFrameKeys, keys);
			WriteAll(descriptor, frame.data(), frame.size());
		}
		return !ended;
	}

	char keys[4096];
	ssize_t bytesRead;
	do {
		bytesRead = read(STDIN_FILENO, keys, sizeof(keys));
	} while (bytesRead < 0 && errno == EINTR);
	if (bytesRead <= 0)
		return false;
	_SendKeys(descriptor, keys, (size_t)bytesRead);
	return true;
}


void
Bridge::_SendKeys(int descriptor, const char* keys, size_t size)
{
	std::string translated;
	if (fPassage == Passage::kRaw)
		translated.assign(keys, size);
	else
		fDiscipline.TranslateKeys(keys, size, translated);

	std::string frame;
	AppendFrame(frame, kFrameKeys, translated);
	WriteAll(descriptor, frame.data(), frame.size());
}


status_t
Bridge::_ShowText(const std::string& text)
{
	if (fPassage == Passage::kRaw)
		return WriteAll(STDOUT_FILENO, text.data(), text.size());

	size_t lineFeed = text.rfind('\n');
	if (lineFeed == std::string::npos)
		fScreenLine += text;
	else
		fScreenLine = text.substr(lineFeed + 1);
	if (fLine != NULL)
		return fLine->Show(text);
	std::string translated;
	fDiscipline.TranslateText(text, translated);
	return WriteAll(STDOUT_FILENO, translated.data(), translated.size());
}


void
Bridge::_ShowAnnouncement(const std::string& notice)
{
	if (fMode != Mode::kLocal) {
		HostLog("%s", notice.c_str());
		if (fPassage == Passage::kRaw)
			return;
	}
	if (fLine != NULL) {
		fLine->EndLine();
		fLine->Show(notice + "\n" + fScreenLine);
		return;
	}
	std::string line;
	fDiscipline.EndLine(line);
	fDiscipline.TranslateText(notice + "\n" + fScreenLine, line);
	WriteAll(STDOUT_FILENO, line.data(), line.size());
}


void
Bridge::_ShowNotice(const std::string& notice, bool inSession)
{
	// Raw passage keeps standard output to the door's own bytes.
	if (fMode != Mode::kLocal) {
		HostLog("%s", notice.c_str());
		// A telnet caller sees nothing but the line: a refusal too.
		if ((!inSession && fLine == NULL) || fPassage == Passage::kRaw)
			return;
	}
	if (fLine != NULL) {
		fLine->EndLine();
		fLine->Show(notice + "\n");
		return;
	}
	std::string line;
	fDiscipline.EndLine(line);
	fDiscipline.TranslateText(notice + "\n", line);
	WriteAll(STDOUT_FILENO, line.data(), line.size());
}


void
Bridge::_EndScreen()
{
	// The shell's prompt, or the board's next screen, starts on a line of
	// its own, whatever the game's last text left.
	if (fPassage == Passage::kRaw)
		return;
	if (fLine != NULL) {
		fLine->EndLine();
		return;
	}
	std::string line;
	fDiscipline.EndLine(line);
	if (!line.empty())
		WriteAll(STDOUT_FILENO, line.data(), line.size());
}
