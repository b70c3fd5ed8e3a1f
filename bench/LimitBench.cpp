// limit_bench: the raw limit of a synchronous request and reply on this
// machine (see RawLimit.h), which the load generator measures beside every
// load; alone, for a look at how it moves with the number of threads.

#include "RawLimit.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>


int
main(int argumentCount, char** arguments)
{
	int threads = 100;
	double seconds = 2;
	for (int i = 1; i < argumentCount; i++) {
		if (strcmp(arguments[i], "--help") == 0) {
			printf("Usage: limit_bench [--threads N] [--seconds S]\n"
				"Measures N threads' Unix-socket requests and replies against"
				" one serving\nloop (default 100 threads, 2 s), and one"
				" thread's round trip.\n");
			return 0;
		}
		if (strcmp(arguments[i], "--threads") == 0 && i + 1 < argumentCount)
			threads = atoi(arguments[++i]);
		else if (strcmp(arguments[i], "--seconds") == 0
			&& i + 1 < argumentCount) {
			seconds = atof(arguments[++i]);
		} else {
			fprintf(stderr, "limit_bench: unknown argument %s (see --help)\n",
				arguments[i]);
			return 2;
		}
	}
	if (threads < 1 || seconds <= 0) {
		fprintf(stderr, "limit_bench: threads and seconds must be positive\n");
		return 2;
	}
	printf("raw limit: %.0f exchanges/s with %d threads; one thread's round"
		" trip %.1f us\n", RawLimit::ExchangesPerSecond(threads, seconds),
		threads, RawLimit::RoundTripMicroseconds(20000));
	return 0;
}
