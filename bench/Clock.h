#pragma once

#include <stdint.h>
#include <time.h>

// Microseconds on the monotonic clock, for the benchmarks and the load
// generator. The generator and the raw limit measure the board from
// outside and do not link the platform, whose system_time() this is.
inline int64_t
Now()
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return (int64_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}
