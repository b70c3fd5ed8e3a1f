#include "ZenboDoorKit.h"

#include <Message.h>
#include <OS.h>

#include <string.h>

#include "ZenboProtocol.h"


// Users arrive one start message at a time; the list grows in steps of this.
static const int32 kUserListBlockSize = 20;

// After the last user has left, the session that sent the last quit message
// still has to unwind and release itself; this is how long the application
// waits for that before the program may end.
static const bigtime_t kSessionEndTimeout = 10000000;


ZenboDoorKit::ZenboDoorKit(BString signature, BString threadSuffix)
	:
	BApplication(signature.String()),
	fUserList(kUserListBlockSize),
	fThreadSuffix(threadSuffix)
{
}


ZenboDoorKit::~ZenboDoorKit()
{
	// The program returns from its entry once this application is gone, and
	// that ends every thread of the team. A session that was answered its
	// last quit message may still be releasing itself; it is given the time
	// to finish. Sessions of users still in the door (the application was
	// quit from outside) may wait on Zenbo for ever and are not waited for.
	if (fUserList.IsEmpty())
		wait_for_spawned_threads(kSessionEndTimeout);

	// The names of users whose sessions never took leave (the application
	// was quit from outside) are still the list's to delete.
	for (int32 index = 0; index < fUserList.CountItems(); index++)
		delete static_cast<BString*>(fUserList.ItemAt(index));
	fUserList.MakeEmpty();
}


void
ZenboDoorKit::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case kStartDoor:
			StartDoor(message);
			break;
		case kUserQuit:
			// Only the door's own sessions take leave, and they post into
			// this application's queue. A quit that came over the socket
			// would let any program drop a user whose session still runs
			// (and with the last one the door's signature, so that the next
			// caller got a second door); it goes unanswered.
			if (!message->IsSourceRemote())
				UserQuit(message);
			break;
		default:
			BApplication::MessageReceived(message);
			break;
	}
}


void
ZenboDoorKit::StartDoor(BMessage* message)
{
	BString userName;
	if (message->FindString(kUserNameField, 0, &userName) != B_OK)
		userName = "";

	fUserList.AddItem(new BString(userName));

	// A deriving door has started the session thread under this very name
	// before calling here, so Zenbo may hear from the session first.
	BMessage reply(kNone);
	reply.AddString(kThreadNameField, userName + fThreadSuffix);
	message->SendReply(&reply, NULL, B_INFINITE_TIMEOUT);
}


void
ZenboDoorKit::UserQuit(BMessage* message)
{
	BString userName;
	if (message->FindString(kUserNameField, 0, &userName) != B_OK)
		userName = "";

	int32 index = 0;
	BString* entry;
	while ((entry = static_cast<BString*>(fUserList.ItemAt(index))) != NULL) {
		if (strcmp(entry->String(), userName.String()) == 0)
			break;
		index++;
	}

	// Nobody of that name is in the door: the message goes unanswered, and
	// the platform releases a waiting sender when it discards it.
	if (entry == NULL)
		return;

	fUserList.RemoveItem(index);
	delete entry;

	// The session that sent the last quit message waits for this reply, so
	// it must go out before the application quits and drops its queue.
	message->SendReply(kNone);

	if (fUserList.IsEmpty()) {
		// The application is ending: the lock is not given back. Quit on
		// the looper's own thread ends the loop after this message.
		Lock();
		Quit();
	}
}


void
ZenboDoorKit::AddUser(BString userName)
{
	fUserList.AddItem(new BString(userName));
}
