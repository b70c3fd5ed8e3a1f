#pragma once

#include <Message.h>
#include <String.h>

// One user's session in a door program: the session's terminal, by way of
// synchronous exchanges with Zenbo. The object is built on the application
// thread; from then on only its own thread uses it. GetChar, GetString and
// SendString do not return once Zenbo reports the user gone or cannot be
// reached: the session then takes leave of its application (CloseDoor) and
// its thread ends. The object is released when its thread ends.
class ZenboDoorThread {
public:
								ZenboDoorThread(BString userName,
									BString threadSuffix);
								ZenboDoorThread(const ZenboDoorThread&) = delete;
			ZenboDoorThread&	operator=(const ZenboDoorThread&) = delete;
	virtual						~ZenboDoorThread();

	virtual	void				RunDoor();
	virtual	BString				GetString();
	virtual	bool				SendString(BString text);
	virtual	void				CloseDoor();

			char				GetChar();
			BMessage			PostToZenbo(BMessage message);
	[[noreturn]] void			AbnormalTerminate();

	// The thread function for spawn_thread; the argument is the session.
	static	int32				Run(void* data);

protected:
			BString				fUserName;
};
