#pragma once

#include <Message.h>
#include <String.h>

// One user's session in a door program: the session's terminal, by way of
// synchronous exchanges with Zenbo. The object is built on the application
// thread; once its thread is resumed it belongs to that thread alone, and
// nobody else may touch or delete it. GetChar, GetString and SendString do
// not return once Zenbo reports the user gone or cannot be reached: the
// session then takes leave of its application (CloseDoor) and its thread
// ends. Run releases the object when the thread ends, however it ends.
class B_EXPORT ZenboDoorThread {
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

	// The thread function for spawn_thread; the argument is the session,
	// which Run deletes once RunDoor has returned or exit_thread has ended
	// the thread (its stack is unwound), after the last exchange. So the
	// session must be made with new, and code on the session thread must
	// let that unwinding pass: no catch (...) that does not rethrow, and no
	// noexcept function around an exchange.
	static	int32				Run(void* data);

protected:
			BString				fUserName;

private:
			// One key from Zenbo, without its echo.
			char				ReadKey();
};
