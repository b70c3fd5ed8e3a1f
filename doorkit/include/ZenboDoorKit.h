#pragma once

#include <Application.h>
#include <List.h>
#include <String.h>

// The application of a door program. It answers Zenbo's start message for
// each user who enters the door with the name of the session thread that
// serves the user, keeps the list of users in the door, and quits when the
// session of the last user has sent its quit message. It runs no session
// itself: a door program overrides StartDoor to create and start its
// session (a ZenboDoorThread) and then calls this class's StartDoor.
// A quit message is honoured only from this process (the sessions post it
// into the application's queue), never from another program over the
// application's socket. Everything here runs on the application's looper
// thread. Once the last
// user has left, the destructor gives the session that sent the last quit
// message a bounded time to release itself before the program may end.
class B_EXPORT ZenboDoorKit : public BApplication {
public:
								ZenboDoorKit(BString signature,
									BString threadSuffix);
	virtual						~ZenboDoorKit();

	virtual	void				MessageReceived(BMessage* message) override;
	virtual	void				StartDoor(BMessage* message);

			void				UserQuit(BMessage* message);
			void				AddUser(BString userName);

protected:
			// Owns its items: heap BStrings, one per start message.
			BList				fUserList;
			BString				fThreadSuffix;
};
