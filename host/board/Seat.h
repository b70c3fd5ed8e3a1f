#pragma once

#include "DoorScreen.h"

#include <String.h>
#include <SupportDefs.h>

#include <deque>
#include <string>

class BMessage;
class BoardLink;
class Terminal;

// A name's place in the door: the door's session for it, with the keys
// typed ahead and the door's requests that wait for them. A request for a
// key waits for the next key; the door's texts wait while the caller's
// terminal has too much still to send, so a caller who stops reading holds
// up only their own session. The seat outlives the caller's connection:
// while the caller is away (a dropped line, a takeover under way) the texts
// since the last key are kept, and whoever sits down next is shown them
// again, the door's prompt last. Owned by the board, on the host's looper;
// the requests are the seat's until it answers them through the link, and
// those still waiting when it is deleted (its session has ended) are
// deleted with it.
class Seat {
public:
								Seat(BoardLink& link, int32 id,
									const BString& name);
								Seat(const Seat&) = delete;
			Seat&				operator=(const Seat&) = delete;
								~Seat();

			int32				ID() const { return fID; }
			const BString&		Name() const { return fName; }
	// The caller at the seat; 0 while the caller is away.
			int32				CallerID() const { return fCaller; }
			bigtime_t			AwayUntil() const { return fAwayUntil; }
			bool				IsGone() const { return fGone; }
			bool				HasRequests() const;
	// A request for a key waits and no key is typed ahead: the caller
	// stands at the door's prompt.
			bool				WaitsAtPrompt() const
									{ return fKeyRequest != nullptr
										&& fKeys.empty(); }
	// The line of the door's screen that the caller's cursor stands on:
	// the prompt with what the caller typed to it, shown again after a
	// notice.
			std::string			PromptLine() const;

	// The caller
			void				SitDown(int32 caller, Terminal* terminal);
			void				Attach(int32 caller, Terminal* terminal);
			void				Detach(bigtime_t awayUntil);
	// The caller left for another connection of the same name, which
	// sits down at once.
			void				Vacate();
			void				KeysTyped(const std::string& keys);
	// The terminal's input has ended: once the door has taken every key
	// typed before, the user is gone.
			void				InputEnded();
			void				Drained() { _AnswerTexts(); }
	// The sysop chats with the caller: the session waits as it does for a
	// caller who is away (its request for a key unanswered, its texts kept
	// for the screen), and Release shows the door's screen again, its
	// prompt's line whole, and goes on. Sitting down again releases too.
			void				Hold() { fHeld = true; }
			void				Release();
			bool				IsHeld() const { return fHeld; }

	// The door
	// False when the request was answered at once that the user is gone.
			bool				KeyRequested(BMessage* request);
			void				DeliverKeys();
			void				TextSent(const BString& text,
									BMessage* request);
			void				Entered();
			void				SetGone();

private:
			void				_AnswerTexts();

			BoardLink&			fLink;
			int32				fID;
			BString				fName;
			int32				fCaller = 0;
			Terminal*			fTerminal = nullptr;
			bool				fInputEnded = false;
			bool				fHeld = false;
			// A key went to the door and no text has come since.
			bool				fKeyGiven = false;
			bigtime_t			fAwayUntil = 0;
			bool				fEntered = false;
			bool				fGone = false;
			std::deque<char>	fKeys;
			BMessage*			fKeyRequest = nullptr;
			std::deque<BMessage*> fTextRequests;
			// What a caller who sits down here again is shown.
			DoorScreen			fScreen;
			// What the session showed before the door's report of its
			// entrance reached the host: shown after the line that says it
			// entered, so a bridge's caller never sees that line in the
			// middle of the screen.
			std::string			fEarly;
};
