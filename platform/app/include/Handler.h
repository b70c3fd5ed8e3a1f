#pragma once

#include <SupportDefs.h>

class BLooper;
class BMessage;

// Something that messages are dispatched to, on its looper's thread.
class B_EXPORT BHandler {
public:
								BHandler(const char* name = NULL);
								BHandler(const BHandler&) = delete;
			BHandler&			operator=(const BHandler&) = delete;
	virtual						~BHandler();

	// The default drops the message; a waiting sender gets B_NO_REPLY.
	virtual	void				MessageReceived(BMessage* message);

			BLooper*			Looper() const;
			const char*			Name() const;

private:
	friend class BLooper;

			BLooper*			fLooper = nullptr;
			char*				fName = nullptr;
};
