#pragma once

#include <stddef.h>

#include <string>

// The door's screen as a caller who sits down at a seat again is shown it:
// the texts the door sent since the caller's last key, which end in its
// prompt, and before them the start of the line that key was typed on. So
// the line the cursor stands on is always shown whole: a question with the
// answer typed so far, where the texts since the last key alone are only
// the answer's echo. What it keeps is bounded, however long a line the door
// shows or the caller types. One per seat, on the host's looper.
class DoorScreen {
public:
	// The door showed a text (an echo of a key among them).
			void				Add(const char* text, size_t size);
	// The door took a key: what it shows next answers it.
			void				KeyTaken();

	// What a caller who sits down again is shown: the texts since the last
	// key, from the start of the line they began on.
			std::string			Replay() const;
	// The line the cursor stands on, shown again after a notice.
			std::string			CurrentLine() const;

private:
			size_t				_CurrentLineStart() const;

			std::string			fText;
			// Where in fText the texts since the last key begin.
			size_t				fSinceKey = 0;
};
