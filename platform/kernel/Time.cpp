#include <OS.h>

#include <errno.h>
#include <stdlib.h>
#include <time.h>


// The frozen second from BOOT_CLOCK, when it holds a whole number of seconds
// that fits the clock; anything else leaves the clock running.
static bool
frozen_clock(uint32* seconds)
{
	const char* text = getenv("BOOT_CLOCK");
	if (text == nullptr || text[0] < '0' || text[0] > '9')
		return false;
	char* end = nullptr;
	errno = 0;
	unsigned long long value = strtoull(text, &end, 10);
	if (errno != 0 || *end != '\0' || value > UINT32_MAX)
		return false;
	*seconds = (uint32)value;
	return true;
}


uint32
real_time_clock()
{
	uint32 seconds;
	if (frozen_clock(&seconds))
		return seconds;
	return (uint32)time(nullptr);
}


bigtime_t
real_time_clock_usecs()
{
	uint32 seconds;
	if (frozen_clock(&seconds))
		return (bigtime_t)seconds * 1000000;
	struct timespec now;
	clock_gettime(CLOCK_REALTIME, &now);
	return (bigtime_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}


bigtime_t
system_time()
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return (bigtime_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}


// Sleeps until a deadline on the monotonic clock, so that a signal that
// interrupts the sleep does not lengthen or shorten it.
status_t
snooze(bigtime_t microseconds)
{
	if (microseconds < 0)
		return B_BAD_VALUE;
	struct timespec deadline;
	clock_gettime(CLOCK_MONOTONIC, &deadline);
	bigtime_t seconds = microseconds / 1000000;
	if (seconds > (bigtime_t)INT32_MAX * 64)
		seconds = (bigtime_t)INT32_MAX * 64;
	deadline.tv_sec += (time_t)seconds;
	deadline.tv_nsec += (long)(microseconds % 1000000) * 1000;
	if (deadline.tv_nsec >= 1000000000) {
		deadline.tv_sec++;
		deadline.tv_nsec -= 1000000000;
	}
	while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr)
			== EINTR) {
	}
	return B_OK;
}
