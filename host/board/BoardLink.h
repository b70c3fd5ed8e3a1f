#pragma once

#include <String.h>
#include <SupportDefs.h>

#include <string>

class BMessage;

// What the board asks of the host around it: the clock, the door, its
// characters, and the slow work of passwords. The host answers the door's
// requests and reports back to the board by its events (Entered,
// SessionEnded, PasswordHashed, PasswordChecked).
class BoardLink {
public:
	virtual						~BoardLink() = default;

	virtual	bigtime_t			Now() = 0;
	virtual	int32				NewSeatID() = 0;
	virtual	void				EnterDoor(int32 seat, const BString& name) = 0;
	// Whether the door keeps a character of the name (in any case): a
	// board's node caller plays one with no account of this board's.
	virtual	bool				HasCharacter(const BString& name) = 0;
	// Both reply to the door's request and delete it.
	virtual	void				AnswerKey(BMessage* request, int32 key) = 0;
	virtual	void				AnswerText(BMessage* request, bool gone) = 0;
	virtual	void				HashPassword(int32 caller,
									const std::string& password) = 0;
	virtual	void				CheckPassword(int32 caller,
									const std::string& hash,
									const std::string& password) = 0;
};
