#pragma once

#include <ZenboDoorKit.h>

#define kVraskSignature		"application/x-vnd.Zenbo.VraskApp"
#define kVraskThreadSuffix	".Drelmoor"

// The door application of Drelmoor. For every start message from Zenbo it
// creates a VraskThread, whose thread serves that user, before the kit
// registers the user and answers with the thread's name. It keeps no
// pointer to any session and runs no game itself; everything here runs on
// the application's looper thread, which the program's entry runs.
class VraskApp : public ZenboDoorKit {
public:
								VraskApp(BString signature, BString threadSuffix);
	virtual						~VraskApp();

	virtual	void				MessageReceived(BMessage* message) override;
	virtual	void				StartDoor(BMessage* message) override;
};
