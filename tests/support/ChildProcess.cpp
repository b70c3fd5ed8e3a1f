#include "ChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Messenger.h>

extern char** environ;


namespace {

void
CloseDescriptor(int& descriptor)
{
	if (descriptor >= 0)
		close(descriptor);
	descriptor = -1;
}


// Appends what is there to read; false once the pipe is at its end.
bool
Drain(int descriptor, std::string& into)
{
	char buffer[4096];
	while (true) {
		ssize_t count = read(descriptor, buffer, sizeof(buffer));
		if (count > 0) {
			into.append(buffer, (size_t)count);
			continue;
		}
		if (count < 0 && errno == EINTR)
			continue;
		return count < 0 && errno == EAGAIN;
	}
}

}	// namespace


ChildProcess::~ChildProcess()
{
	if (fPid > 0 && !fExited) {
		kill(fPid, SIGKILL);
		int exitCode;
		WaitForExit(B_INFINITE_TIMEOUT, &exitCode);
	}
	_StopPump();
}


void
ChildProcess::SetInput(const std::string& input)
{
	fInput = input;
	fHasInput = true;
}


void
ChildProcess::CaptureOutput()
{
	fCapture = true;
}


status_t
ChildProcess::Start(const std::string& program,
	const std::vector<std::string>& arguments)
{
	if (fPid > 0)
		return B_NOT_ALLOWED;

	int input[2] = { -1, -1 };
	int output[2] = { -1, -1 };
	int errors[2] = { -1, -1 };
	bool failed = (fHasInput && pipe2(input, O_CLOEXEC) != 0)
		|| (fCapture && (pipe2(output, O_CLOEXEC) != 0
			|| pipe2(errors, O_CLOEXEC) != 0))
		|| pipe2(fWake, O_CLOEXEC) != 0;
	if (failed) {
		status_t status = errno == EMFILE ? B_NO_MEMORY : B_ERROR;
		for (int* pipe : { input, output, errors, fWake }) {
			CloseDescriptor(pipe[0]);
			CloseDescriptor(pipe[1]);
		}
		return status;
	}

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	// Without input of its own, a child must not read the test's terminal.
	if (fHasInput)
		posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
	else
		posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
	if (fCapture) {
		posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
		posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
	}

	std::vector<char*> argv;
	argv.push_back(const_cast<char*>(program.c_str()));
	for (const std::string& argument : arguments)
		argv.push_back(const_cast<char*>(argument.c_str()));
	argv.push_back(nullptr);

	pid_t pid;
	int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(),
		environ);
	posix_spawn_file_actions_destroy(&actions);
	CloseDescriptor(input[0]);
	CloseDescriptor(output[1]);
	CloseDescriptor(errors[1]);
	if (error != 0) {
		CloseDescriptor(input[1]);
		CloseDescriptor(output[0]);
		CloseDescriptor(errors[0]);
		CloseDescriptor(fWake[0]);
		CloseDescriptor(fWake[1]);
		return error == ENOENT ? B_ENTRY_NOT_FOUND : B_LAUNCH_FAILED;
	}
	fPid = pid;
	fExited = false;

	for (int descriptor : { input[1], output[0], errors[0] }) {
		if (descriptor >= 0)
			fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_NONBLOCK);
	}
	fInputPipe = input[1];
	fOutputPipe = output[0];
	fErrorPipe = errors[0];
	if (fInputPipe >= 0 || fOutputPipe >= 0)
		fPump = std::thread(&ChildProcess::_Pump, this);
	else {
		CloseDescriptor(fWake[0]);
		CloseDescriptor(fWake[1]);
	}
	return B_OK;
}


bool
ChildProcess::IsRunning()
{
	if (fPid <= 0 || fExited)
		return false;
	int status;
	pid_t result = waitpid(fPid, &status, WNOHANG);
	if (result == fPid) {
		_Ended(status);
		return false;
	}
	return true;
}


status_t
ChildProcess::WaitForExit(bigtime_t timeout, int* exitCode)
{
	if (fPid <= 0)
		return B_NO_INIT;
	if (!fExited) {
		bigtime_t now = system_time();
		bigtime_t deadline = timeout > INT64_MAX - now ? INT64_MAX : now + timeout;
		while (true) {
			int status;
			pid_t result = waitpid(fPid, &status,
				timeout == B_INFINITE_TIMEOUT ? 0 : WNOHANG);
			if (result == fPid) {
				_Ended(status);
				break;
			}
			if (result < 0 && errno != EINTR)
				return B_ERROR;
			if (timeout != B_INFINITE_TIMEOUT && system_time() >= deadline)
				return B_TIMED_OUT;
			if (result == 0)
				snooze(2000);
		}
	}
	// Everything the child wrote is in the pipes by now.
	_StopPump();
	if (exitCode != nullptr)
		*exitCode = fExitCode;
	return B_OK;
}


void
ChildProcess::Kill(int signal)
{
	if (fPid > 0 && !fExited)
		kill(fPid, signal);
}


void
ChildProcess::_Ended(int status)
{
	fExited = true;
	if (WIFEXITED(status))
		fExitCode = WEXITSTATUS(status);
	else if (WIFSIGNALED(status))
		fExitCode = 128 + WTERMSIG(status);
}


void
ChildProcess::_StopPump()
{
	if (fPump.joinable()) {
		char byte = 0;
		while (write(fWake[1], &byte, 1) < 0 && errno == EINTR) {
		}
		fPump.join();
	}
	CloseDescriptor(fWake[0]);
	CloseDescriptor(fWake[1]);
	CloseDescriptor(fInputPipe);
	CloseDescriptor(fOutputPipe);
	CloseDescriptor(fErrorPipe);
}


// Feeds the input and collects both outputs at once, so that a child that
// fills one pipe while the test waits on another cannot stall. Runs until
// the pipes are done or the child has ended and its output was drained.
void
ChildProcess::_Pump()
{
	// A child that ends without reading its input must give an error here,
	// not a signal that ends the test.
	sigset_t pipeSignal;
	sigemptyset(&pipeSignal);
	sigaddset(&pipeSignal, SIGPIPE);
	pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

	size_t written = 0;
	bool outputOpen = fOutputPipe >= 0;
	bool errorsOpen = fErrorPipe >= 0;
	while (true) {
		struct pollfd descriptors[4] = {
			{ fWake[0], POLLIN, 0 },
			{ fInputPipe, POLLOUT, 0 },
			{ outputOpen ? fOutputPipe : -1, POLLIN, 0 },
			{ errorsOpen ? fErrorPipe : -1, POLLIN, 0 },
		};
		if (fInputPipe < 0 && !outputOpen && !errorsOpen)
			return;
		if (poll(descriptors, 4, -1) < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		if (fInputPipe >= 0 && descriptors[1].revents != 0) {
			ssize_t count = write(fInputPipe, fInput.data() + written,
				fInput.size() - written);
			if (count > 0)
				written += (size_t)count;
			if ((count < 0 && errno != EAGAIN && errno != EINTR)
				|| written == fInput.size()) {
				CloseDescriptor(fInputPipe);
			}
		}
		if (outputOpen && descriptors[2].revents != 0)
			outputOpen = Drain(fOutputPipe, fOutput);
		if (errorsOpen && descriptors[3].revents != 0)
			errorsOpen = Drain(fErrorPipe, fErrors);
		if (descriptors[0].revents != 0) {
			if (outputOpen)
				Drain(fOutputPipe, fOutput);
			if (errorsOpen)
				Drain(fErrorPipe, fErrors);
			return;
		}
	}
}


bool
WaitForApplication(const char* signature, bigtime_t timeout)
{
	bigtime_t now = system_time();
	bigtime_t deadline = timeout > INT64_MAX - now ? INT64_MAX : now + timeout;
	while (true) {
		if (BMessenger(signature).IsValid())
			return true;
		if (system_time() >= deadline)
			return false;
		snooze(5000);
	}
}
