#include "OutputPacer.h"

#include "StreamConnection.h"

#include <AppDefs.h>

#include <errno.h>
#include <stdint.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>


OutputPacer::OutputPacer(BLooper& looper)
	:
	fTimer(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)),
	fWatch(looper, fTimer, [this](int, uint32) { _Fired(); })
{
}


OutputPacer::~OutputPacer()
{
	fWatch.Stop();
	if (fTimer >= 0)
		close(fTimer);
}


void
OutputPacer::Hold(StreamConnection* connection, bigtime_t due)
{
	fHeld.emplace_back(due, connection);
	if (fArmedFor == 0)
		_Arm(due);
}


void
OutputPacer::Forget(StreamConnection* connection)
{
	fHeld.erase(std::remove_if(fHeld.begin(), fHeld.end(),
			[connection](const std::pair<bigtime_t, StreamConnection*>& held)
				{ return held.second == connection; }),
		fHeld.end());
}


void
OutputPacer::_Fired()
{
	uint64_t expirations;
	while (read(fTimer, &expirations, sizeof(expirations)) < 0
		&& errno == EINTR) {
	}
	fArmedFor = 0;
	bigtime_t now = system_time();
	while (!fHeld.empty() && fHeld.front().first <= now) {
		StreamConnection* connection = fHeld.front().second;
		fHeld.pop_front();
		connection->HoldEnded();
	}
	if (!fHeld.empty())
		_Arm(fHeld.front().first);
}


void
OutputPacer::_Arm(bigtime_t due)
{
	// Without a timer (none could be made, or its watch failed) nothing is
	// held: the connection sends at once.
	itimerspec when = {};
	bigtime_t wait = std::max<bigtime_t>(due - system_time(), 1);
	when.it_value.tv_sec = wait / 1000000;
	when.it_value.tv_nsec = (wait % 1000000) * 1000;
	if (fTimer < 0 || fWatch.Set(B_DESCRIPTOR_READABLE) != B_OK
		|| timerfd_settime(fTimer, 0, &when, NULL) != 0) {
		while (!fHeld.empty()) {
			StreamConnection* connection = fHeld.front().second;
			fHeld.pop_front();
			connection->HoldEnded();
		}
		return;
	}
	fArmedFor = due;
}
