#include "VraskApp.h"

#include <Message.h>

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
	if (message->FindString("UserName", 0, &userName) != B_OK)
		userName = "";

	// The session starts its own thread and is released when that thread
	// ends; the application keeps no pointer to it.
	new VraskThread(userName, fThreadSuffix);

	ZenboDoorKit::StartDoor(message);
}
