#include "StopSignals.h"

#include <pthread.h>


StopSignals::StopSignals()
{
	sigemptyset(&fSignals);
	sigaddset(&fSignals, SIGTERM);
	sigaddset(&fSignals, SIGINT);
	pthread_sigmask(SIG_BLOCK, &fSignals, nullptr);
}


void
StopSignals::Wait()
{
	int received = 0;
	sigwait(&fSignals, &received);
}
