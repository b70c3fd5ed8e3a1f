#include "HostSignals.h"

#include <Errors.h>

#include <errno.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>


static void
HostSignalSet(sigset_t* set)
{
	sigemptyset(set);
	sigaddset(set, SIGTERM);
	sigaddset(set, SIGINT);
	sigaddset(set, SIGHUP);
	sigaddset(set, SIGCHLD);
}


status_t
BlockHostSignals()
{
	// Writes to a bridge that hung up fail with EPIPE instead.
	signal(SIGPIPE, SIG_IGN);
	sigset_t set;
	HostSignalSet(&set);
	if (sigprocmask(SIG_BLOCK, &set, NULL) != 0)
		return status_from_errno(errno);
	return B_OK;
}


status_t
OpenSignalDescriptor(int* descriptor)
{
	sigset_t set;
	HostSignalSet(&set);
	int signals = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
	if (signals < 0)
		return status_from_errno(errno);
	*descriptor = signals;
	return B_OK;
}


int
ReadSignal(int descriptor)
{
	signalfd_siginfo info;
	ssize_t bytesRead = read(descriptor, &info, sizeof(info));
	if (bytesRead != (ssize_t)sizeof(info))
		return 0;
	return (int)info.ssi_signo;
}


status_t
OpenTimerDescriptor(bigtime_t delay, int* descriptor)
{
	return OpenRepeatingTimerDescriptor(delay, 0, descriptor);
}


status_t
OpenRepeatingTimerDescriptor(bigtime_t delay, bigtime_t interval,
	int* descriptor)
{
	int timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
	if (timer < 0)
		return status_from_errno(errno);
	itimerspec when = {};
	when.it_value.tv_sec = delay / 1000000;
	when.it_value.tv_nsec = (delay % 1000000) * 1000;
	when.it_interval.tv_sec = interval / 1000000;
	when.it_interval.tv_nsec = (interval % 1000000) * 1000;
	if (timerfd_settime(timer, 0, &when, NULL) != 0) {
		status_t status = status_from_errno(errno);
		close(timer);
		return status;
	}
	*descriptor = timer;
	return B_OK;
}


void
ReadTimer(int descriptor)
{
	uint64_t expirations;
	ssize_t bytesRead = read(descriptor, &expirations, sizeof(expirations));
	(void)bytesRead;
}
