#pragma once

#include <SupportDefs.h>

class BLooper;
class BMessage;
class Board;

// The door's requests to the host ("gcha" for the user's next key, "sstr"
// to show a text), answered for the board's seats. A request for a seat
// the board knows is taken out of the looper's hands and answered when the
// board says (a key typed, the terminal drained); one for a user the board
// does not know is answered at once: that user is gone. Runs on the
// host's looper.
class DoorRequests {
public:
	explicit					DoorRequests(Board& board);
								DoorRequests(const DoorRequests&) = delete;
			DoorRequests&		operator=(const DoorRequests&) = delete;

	// With the message current on the looper; false when it is none of
	// the door's requests.
	[[nodiscard]] bool			Handle(BLooper& looper, BMessage* message);

	// Answer a request the board kept, and delete it.
	static	void				AnswerKey(BMessage* request, int32 key);
	static	void				AnswerText(BMessage* request, bool gone);

private:
			void				_GetChar(BLooper& looper, BMessage* message);
			void				_SendString(BLooper& looper,
									BMessage* message);

			Board&				fBoard;
};
