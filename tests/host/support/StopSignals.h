#pragma once

#include <signal.h>

// A harness runs until SIGTERM or SIGINT. The signals are blocked from
// construction, before any looper's thread starts and inherits the mask,
// so that only Wait() takes them, on the main thread.
class StopSignals {
public:
								StopSignals();
								StopSignals(const StopSignals&) = delete;
			StopSignals&		operator=(const StopSignals&) = delete;

			// Returns once one of them has come.
			void				Wait();

private:
			sigset_t			fSignals;
};
