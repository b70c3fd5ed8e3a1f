#include "BridgeProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>

extern char** environ;


std::string
ZenboProgram()
{
	return DRELMOOR_BINARY_DIR "/bin/zenbo";
}


BridgeProcess::~BridgeProcess()
{
	if (fPid > 0 && !fExited)
		kill(fPid, SIGKILL);
	int exitCode;
	if (fPid > 0)
		WaitForExit(B_INFINITE_TIMEOUT, &exitCode);
	CloseInput();
	if (fCollector.joinable())
		fCollector.join();
	if (fTerminal >= 0)
		close(fTerminal);
}


status_t
BridgeProcess::Start(const std::vector<std::string>& arguments)
{
	int input[2];
	int output[2];
	int errors[2];
	if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0
		|| pipe2(errors, O_CLOEXEC) != 0) {
		return B_ERROR;
	}

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
	posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
	posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);

	std::vector<char*> argv = _Arguments(arguments);
	int error = posix_spawn(&fPid, fProgram.c_str(), &actions, nullptr,
		argv.data(), environ);
	posix_spawn_file_actions_destroy(&actions);
	close(input[0]);
	close(output[1]);
	close(errors[1]);
	fInput = input[1];
	fOutputPipe = output[0];
	fErrorPipe = errors[0];
	if (error != 0) {
		fPid = -1;
		return B_LAUNCH_FAILED;
	}
	fCollector = std::thread(&BridgeProcess::_Collect, this);
	return B_OK;
}


status_t
BridgeProcess::StartOnTerminal(const std::vector<std::string>& arguments)
{
	int terminal = -1;
	if (openpty(&fTerminal, &terminal, NULL, NULL, NULL) != 0)
		return B_ERROR;
	fcntl(fTerminal, F_SETFD, FD_CLOEXEC);
	if (tcgetattr(fTerminal, &fInitialMode) != 0) {
		close(terminal);
		return B_ERROR;
	}

	std::vector<char*> argv = _Arguments(arguments);
	fPid = fork();
	if (fPid == 0) {
		login_tty(terminal);
		execv(argv[0], argv.data());
		_exit(127);
	}
	close(terminal);
	if (fPid < 0)
		return B_LAUNCH_FAILED;

	// The same descriptor is the bridge's keyboard and screen; the copies
	// let CloseInput and the collector close theirs independently.
	fInput = dup(fTerminal);
	fOutputPipe = dup(fTerminal);
	fCollector = std::thread(&BridgeProcess::_Collect, this);
	return B_OK;
}


status_t
BridgeProcess::GetTerminalMode(struct termios* mode) const
{
	return fTerminal >= 0 && tcgetattr(fTerminal, mode) == 0 ? B_OK : B_ERROR;
}


status_t
BridgeProcess::GetInitialTerminalMode(struct termios* mode) const
{
	if (fTerminal < 0)
		return B_ERROR;
	*mode = fInitialMode;
	return B_OK;
}


std::vector<char*>
BridgeProcess::_Arguments(const std::vector<std::string>& arguments)
{
	fProgram = ZenboProgram();
	std::vector<char*> argv;
	argv.push_back(fProgram.data());
	for (const std::string& argument : arguments)
		argv.push_back(const_cast<char*>(argument.c_str()));
	argv.push_back(nullptr);
	return argv;
}


void
BridgeProcess::Type(const std::string& keys)
{
	size_t offset = 0;
	while (fInput >= 0 && offset < keys.size()) {
		ssize_t written = write(fInput, keys.data() + offset,
			keys.size() - offset);
		if (written < 0 && errno == EINTR)
			continue;
		if (written < 0)
			return;
		offset += (size_t)written;
	}
}


void
BridgeProcess::CloseInput()
{
	if (fInput >= 0)
		close(fInput);
	fInput = -1;
}


bool
BridgeProcess::WaitForOutput(const std::string& text, bigtime_t timeout)
{
	std::unique_lock<std::mutex> locker(fLock);
	return fChanged.wait_for(locker, std::chrono::microseconds(timeout),
		[&] { return fOutput.find(text) != std::string::npos; });
}


status_t
BridgeProcess::WaitForExit(bigtime_t timeout, int* exitCode)
{
	if (fPid <= 0)
		return B_NO_INIT;
	bigtime_t deadline = timeout == B_INFINITE_TIMEOUT
		? B_INFINITE_TIMEOUT : system_time() + timeout;
	while (!fExited) {
		int status;
		pid_t result = waitpid(fPid, &status,
			timeout == B_INFINITE_TIMEOUT ? 0 : WNOHANG);
		if (result == fPid) {
			fExited = true;
			fExitCode = WIFSIGNALED(status) ? 128 + WTERMSIG(status)
				: WEXITSTATUS(status);
			break;
		}
		if (result < 0 && errno != EINTR)
			return B_ERROR;
		if (system_time() >= deadline)
			return B_TIMED_OUT;
		snooze(10000);
	}
	// Whatever the bridge wrote before it ended is collected too.
	if (fCollector.joinable())
		fCollector.join();
	*exitCode = fExitCode;
	return B_OK;
}


std::string
BridgeProcess::Output()
{
	std::lock_guard<std::mutex> locker(fLock);
	return fOutput;
}


std::string
BridgeProcess::Errors()
{
	std::lock_guard<std::mutex> locker(fLock);
	return fErrors;
}


void
BridgeProcess::_Collect()
{
	pollfd descriptors[2] = {
		{ fOutputPipe, POLLIN, 0 },
		{ fErrorPipe, POLLIN, 0 },
	};
	int open = fErrorPipe >= 0 ? 2 : 1;
	while (open > 0) {
		if (poll(descriptors, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			break;
		}
		for (pollfd& descriptor : descriptors) {
			if (descriptor.fd < 0 || descriptor.revents == 0)
				continue;
			char buffer[4096];
			ssize_t count = read(descriptor.fd, buffer, sizeof(buffer));
			if (count < 0 && errno == EINTR)
				continue;
			if (count <= 0) {
				close(descriptor.fd);
				descriptor.fd = -1;
				open--;
				continue;
			}
			std::lock_guard<std::mutex> locker(fLock);
			(&descriptor == &descriptors[0] ? fOutput : fErrors)
				.append(buffer, (size_t)count);
			fChanged.notify_all();
		}
	}
}
