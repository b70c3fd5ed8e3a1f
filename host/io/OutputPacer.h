#pragma once

#include "DescriptorWatch.h"

#include <OS.h>
#include <SupportDefs.h>

#include <deque>
#include <utility>

class StreamConnection;

// Gathers what a caller is shown in quick succession into one send. A door
// shows a screen as many small texts, each answered before the next comes,
// and sending each at once costs a system call on the host and a wake-up
// on the caller's side per piece; on a busy board the pieces of one screen
// come milliseconds apart. What the owner asks to go soon (the middle of a
// screen; never an echo) waits until kHoldBack has passed since the first
// piece kept, until kMostHeld bytes wait, or until the owner flushes (the
// door waits for a key: the caller must see everything). One per looper, on
// the looper's thread; it outlives every connection it paces.
class OutputPacer {
public:
	// What a long screen shows at a time: too short for a caller to see
	// it come in pieces, long enough for a screen's pieces on a busy board.
	static	const bigtime_t		kHoldBack = 50000;
	// Kept output past this goes at once: a long screen flows on.
	static	const size_t		kMostHeld = 16 * 1024;

	explicit					OutputPacer(BLooper& looper);
								OutputPacer(const OutputPacer&) = delete;
			OutputPacer&		operator=(const OutputPacer&) = delete;
								~OutputPacer();

	// For the connections it paces
	// The connection's output is to go by the time due.
			void				Hold(StreamConnection* connection,
									bigtime_t due);
	// The connection is going: it is never flushed after.
			void				Forget(StreamConnection* connection);

private:
			void				_Fired();
			void				_Arm(bigtime_t due);

			int					fTimer = -1;
			DescriptorWatch		fWatch;
			// Soonest first: every hold is due kHoldBack after it is made.
			std::deque<std::pair<bigtime_t, StreamConnection*>> fHeld;
			bigtime_t			fArmedFor = 0;
};
