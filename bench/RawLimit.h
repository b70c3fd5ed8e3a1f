#pragma once

#include <stdint.h>

// The limit the door's exchanges are measured against: threads that each
// send a request of the size of a door's text and wait for a reply of the
// size of the host's answer, over Unix stream sockets, against one thread
// that serves them all from one epoll loop. Nothing else is done on either
// side, so it is what the two cores of this machine give a synchronous
// request and reply, the best the whole path could do.
struct RawLimit {
	// Exchanges a second with threads clients at once, over seconds.
	static	double			ExchangesPerSecond(int threads, double seconds);
	// The mean time of one request and reply when one thread makes them
	// one after the other, in microseconds.
	static	double			RoundTripMicroseconds(int exchanges);
};
