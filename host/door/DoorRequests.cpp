#include "DoorRequests.h"

#include "Board.h"

#include <AppDefs.h>
#include <Looper.h>
#include <Message.h>
#include <ZenboProtocol.h>


DoorRequests::DoorRequests(Board& board)
	:
	fBoard(board)
{
}


bool
DoorRequests::Handle(BLooper& looper, BMessage* message)
{
	switch (message->what) {
		case kGetChar:
			_GetChar(looper, message);
			return true;
		case kSendString:
			_SendString(looper, message);
			return true;
	}
	return false;
}


void
DoorRequests::AnswerKey(BMessage* request, int32 key)
{
	BMessage reply(B_REPLY);
	reply.AddInt32(kCharField, key);
	request->SendReply(&reply);
	delete request;
}


void
DoorRequests::AnswerText(BMessage* request, bool gone)
{
	request->SendReply(gone ? B_QUIT_REQUESTED : B_REPLY);
	delete request;
}


void
DoorRequests::_GetChar(BLooper& looper, BMessage* message)
{
	BString userName;
	message->FindString(kUserNameField, &userName);
	if (fBoard.HasSeat(userName)) {
		// Answered as soon as the user types.
		fBoard.GetChar(userName, looper.DetachCurrentMessage());
		return;
	}
	// An unknown user is gone.
	BMessage reply(B_REPLY);
	reply.AddInt32(kCharField, 0);
	message->SendReply(&reply);
}


void
DoorRequests::_SendString(BLooper& looper, BMessage* message)
{
	BString userName;
	message->FindString(kUserNameField, &userName);
	if (!fBoard.HasSeat(userName)) {
		message->SendReply(B_QUIT_REQUESTED);
		return;
	}
	BString text;
	message->FindString(kStringField, &text);
	// Answered once the terminal has taken the text, so a slow terminal
	// slows its own session instead of filling memory.
	fBoard.SendString(userName, text, looper.DetachCurrentMessage());
}
