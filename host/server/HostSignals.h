#pragma once

#include <SupportDefs.h>

// The signals that the host handles on its looper, as events of a
// descriptor rather than in a handler: SIGTERM, SIGINT and SIGHUP (shut
// down) and SIGCHLD (a door process ended). Block them before the first
// thread starts, so that every thread inherits the mask; programs the host
// starts unblock them again.
status_t BlockHostSignals();
// A descriptor that turns readable when one of them arrives.
status_t OpenSignalDescriptor(int* descriptor);
// The next pending signal's number, or 0 when none is pending.
int ReadSignal(int descriptor);

// A descriptor that turns readable once, after the delay.
status_t OpenTimerDescriptor(bigtime_t delay, int* descriptor);
// The same, again after every interval; read it with ReadTimer each time.
status_t OpenRepeatingTimerDescriptor(bigtime_t delay, bigtime_t interval,
	int* descriptor);
void ReadTimer(int descriptor);
