#include "VraskApp.h"

#include <Message.h>
#include <ZenboProtocol.h>

#include "VraskThread.h"


VraskApp::VraskApp(BString signature, BString threadSuffix)
	:
	ZenboDoorKit(signature, threadSuffix)
{
}


VraskApp::~VraskApp()
{
}


void
VraskApp::MessageReceived(BMessage* message)
{
	ZenboDoorKit::MessageReceived(message);
}


void
VraskApp::StartDoor(BMessage* message)
{
	BString userName;
	if (message->FindString(kUserNameField, 0, &userName) != B_OK)
		userName = "";

	// The session starts its own thread and is released when that thread
	// ends; the application keeps no pointer to it.
	status_t status;
	VraskThread* session = new VraskThread(userName, fThreadSuffix, &status);

	ZenboDoorKit::StartDoor(message);

	if (status != B_OK) {
		// No thread will ever take leave for this user, so the application
		// does it in the session's stead; otherwise the user would stay in
		// the door and the door would never quit. The quit message comes
		// after this start message, so the user is in the list by then.
		delete session;
		BMessage quit(kUserQuit);
		quit.AddString(kUserNameField, userName);
		PostMessage(&quit);
	}
}
