#include "DoorLauncher.h"

#include "HostLog.h"

#include <ZenboProtocol.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>


// How long a new door may take to register its signature.
static const bigtime_t kRegistrationTimeout = 10000000;
static const bigtime_t kPollInterval = 20000;
// The door answers the start message as soon as the session thread runs.
static const bigtime_t kDeliveryTimeout = 10000000;
static const bigtime_t kStartReplyTimeout = 60000000;
// A door that quits whenever it is entered would otherwise be launched for
// ever.
static const int kMaxEnterAttempts = 5;
static const size_t kMaxRememberedEnds = 64;
static const bigtime_t kEndingWait = 100000;
static const bigtime_t kEndingPoll = 5000;


static BString
DescribeWaitStatus(int waitStatus)
{
	BString text;
	if (WIFSIGNALED(waitStatus))
		text << "was killed by signal " << (int32)WTERMSIG(waitStatus);
	else
		text << "exited with status " << (int32)WEXITSTATUS(waitStatus);
	return text;
}


DoorLauncher::DoorLauncher(const BString& doorProgram)
	:
	fDoorProgram(doorProgram)
{
}


status_t
DoorLauncher::EnterDoor(const BString& userName, BString* threadName,
	named_thread* session, bool* found, BString* error)
{
	*found = false;
	for (int attempt = 0; attempt < kMaxEnterAttempts; attempt++) {
		BMessenger door;
		status_t status = _FindOrLaunchDoor(&door, error);
		if (status != B_OK)
			return status;

		BMessage start(kStartDoor);
		start.AddString(kUserNameField, userName);
		BMessage reply;
		status = door.SendMessage(&start, &reply, kDeliveryTimeout,
			kStartReplyTimeout);
		if (status == B_TIMED_OUT) {
			error->SetTo("The door does not answer.");
			return status;
		}
		if (status != B_OK || reply.what == B_NO_REPLY) {
			// The door was quitting as the start message came: its last user
			// left. Once it is gone a new door is launched.
			HostLog("the door was quitting as %s came; starting it again",
				userName.String());
			_WaitUntilGone(door.Team());
			continue;
		}

		if (reply.FindString(kThreadNameField, threadName) != B_OK) {
			error->SetTo("The door did not name the session.");
			return B_BAD_REPLY;
		}

		// The newest thread of that name in the door that answered is ours;
		// it is among the newest of all, which are looked at first.
		if (find_newest_named_thread(threadName->String(), door.Team(),
				session) == B_OK) {
			*found = true;
			return B_OK;
		}
		// Else the oldest of that name, wherever it runs.
		named_thread oldest;
		if (find_named_threads(threadName->String(), &oldest, 1) == 1) {
			*session = oldest;
			*found = true;
		}
		return B_OK;
	}

	error->SetTo("The door keeps quitting; try again later.");
	return B_ERROR;
}


void
DoorLauncher::ReapDoors()
{
	std::lock_guard<std::mutex> locker(fProcessLock);
	for (auto iterator = fRunning.begin(); iterator != fRunning.end();) {
		pid_t pid = *iterator;
		int waitStatus = 0;
		if (waitpid(pid, &waitStatus, WNOHANG) != pid) {
			++iterator;
			continue;
		}
		iterator = fRunning.erase(iterator);
		if (fEnded.size() >= kMaxRememberedEnds)
			fEnded.erase(fEnded.begin());
		fEnded[pid] = waitStatus;
		HostLog("the door (pid %d) %s", (int)pid,
			DescribeWaitStatus(waitStatus).String());
	}
}


void
DoorLauncher::WaitWhileEnding(team_id team)
{
	for (bigtime_t waited = 0; waited < kEndingWait; waited += kEndingPoll) {
		char path[64];
		snprintf(path, sizeof(path), "/proc/%d/stat", (int)team);
		int file = open(path, O_RDONLY | O_CLOEXEC);
		if (file < 0)
			return;
		char stat[256];
		ssize_t size = read(file, stat, sizeof(stat) - 1);
		close(file);
		if (size <= 0)
			return;
		stat[size] = '\0';
		// The state follows the command's closing parenthesis.
		const char* end = strrchr(stat, ')');
		if (end == NULL || end[1] == '\0' || end[2] == 'Z' || end[2] == 'X')
			return;
		snooze(kEndingPoll);
	}
}


bool
DoorLauncher::DiedAbnormally(team_id team)
{
	int waitStatus = 0;
	if (!_HasEnded((pid_t)team, &waitStatus))
		return false;
	return WIFSIGNALED(waitStatus) || WEXITSTATUS(waitStatus) != 0;
}


bool
DoorLauncher::HasRunningDoors()
{
	std::lock_guard<std::mutex> locker(fProcessLock);
	return !fRunning.empty();
}


void
DoorLauncher::SignalDoors(int signalNumber)
{
	std::lock_guard<std::mutex> locker(fProcessLock);
	for (pid_t pid : fRunning) {
		HostLog("sending signal %d to the door (pid %d)", signalNumber,
			(int)pid);
		kill(pid, signalNumber);
	}
}


status_t
DoorLauncher::_FindOrLaunchDoor(BMessenger* door, BString* error)
{
	std::lock_guard<std::mutex> locker(fLaunchLock);

	BMessenger running(kDoorSignature);
	if (running.IsValid()) {
		*door = running;
		return B_OK;
	}

	pid_t pid = -1;
	status_t status = _Launch(&pid, error);
	if (status != B_OK)
		return status;

	bigtime_t deadline = system_time() + kRegistrationTimeout;
	while (system_time() < deadline) {
		BMessenger launched(kDoorSignature);
		if (launched.IsValid()) {
			*door = launched;
			return B_OK;
		}
		int waitStatus = 0;
		if (_HasEnded(pid, &waitStatus)) {
			error->SetTo("The door could not start (it ");
			*error << DescribeWaitStatus(waitStatus) << ").";
			return B_LAUNCH_FAILED;
		}
		snooze(kPollInterval);
	}
	error->SetTo("The door did not start in time.");
	return B_TIMED_OUT;
}


status_t
DoorLauncher::_Launch(pid_t* pid, BString* error)
{
	if (access(fDoorProgram.String(), X_OK) != 0) {
		error->SetTo("There is no door program at ");
		*error << fDoorProgram << ".";
		return B_ENTRY_NOT_FOUND;
	}

	// Everything the child needs is prepared before the fork: after it only
	// async-signal-safe calls are allowed.
	char* const arguments[] = { (char*)fDoorProgram.String(), NULL };
	std::lock_guard<std::mutex> locker(fProcessLock);
	pid_t child = fork();
	if (child < 0) {
		error->SetTo("The door could not be started: ");
		*error << strerror(errno) << ".";
		return B_LAUNCH_FAILED;
	}
	if (child == 0) {
		// The door outlives no terminal's signals and keeps none of the
		// host's sockets: a bridge must see the host's end when it dies.
		sigset_t none;
		sigemptyset(&none);
		sigprocmask(SIG_SETMASK, &none, NULL);
		signal(SIGPIPE, SIG_DFL);
		setsid();
		int null = open("/dev/null", O_RDWR);
		if (null >= 0)
			dup2(null, STDIN_FILENO);
		dup2(STDERR_FILENO, STDOUT_FILENO);
		close_range(3, ~0U, 0);
		execv(arguments[0], arguments);
		_exit(127);
	}
	fRunning.insert(child);
	*pid = child;
	HostLog("launched the door %s (pid %d)", fDoorProgram.String(),
		(int)child);
	return B_OK;
}


bool
DoorLauncher::_HasEnded(pid_t pid, int* waitStatus)
{
	std::lock_guard<std::mutex> locker(fProcessLock);
	auto ended = fEnded.find(pid);
	if (ended != fEnded.end()) {
		*waitStatus = ended->second;
		return true;
	}
	if (fRunning.count(pid) == 0)
		return false;
	if (waitpid(pid, waitStatus, WNOHANG) != pid)
		return false;

	fRunning.erase(pid);
	if (fEnded.size() >= kMaxRememberedEnds)
		fEnded.erase(fEnded.begin());
	fEnded[pid] = *waitStatus;
	HostLog("the door (pid %d) %s", (int)pid,
		DescribeWaitStatus(*waitStatus).String());
	return true;
}


void
DoorLauncher::_WaitUntilGone(team_id team)
{
	bigtime_t deadline = system_time() + kRegistrationTimeout;
	while (system_time() < deadline) {
		BMessenger door(kDoorSignature);
		if (!door.IsValid() || door.Team() != team)
			return;
		snooze(kPollInterval);
	}
}
