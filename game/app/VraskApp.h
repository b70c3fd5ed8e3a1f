#pragma once

#include <ZenboDoorKit.h>

#define kVraskSignature		"application/x-vnd.Zenbo.VraskApp"
#define kVraskThreadSuffix	".Drelmoor"

// The door application of Drelmoor: a session for every user who enters.
class VraskApp : public ZenboDoorKit {
public:
								VraskApp(BString signature, BString threadSuffix);
	virtual						~VraskApp();

	virtual	void				MessageReceived(BMessage* message) override;
	virtual	void				StartDoor(BMessage* message) override;
};
