#include "ZenboDoorThread.h"

#include <Application.h>
#include <Messenger.h>
#include <OS.h>

#include <memory>

#include "ZenboProtocol.h"


namespace {

const char kBackspaceKey = 0x08;
const char kDeleteKey = 0x7f;

}	// namespace


ZenboDoorThread::ZenboDoorThread(BString /*userName*/,
	BString /*threadSuffix*/)
{
	// The deriving session sets fUserName and starts the thread itself.
}


ZenboDoorThread::~ZenboDoorThread()
{
}


void
ZenboDoorThread::RunDoor()
{
}


BString
ZenboDoorThread::GetString()
{
	// Backspace and DEL erase the line's last character on the screen as in
	// the line, and do nothing at its start; every other key is echoed and
	// kept as GetChar does, one exchange for the key and one for the echo.
	BString line;
	for (;;) {
		char character = ReadKey();
		if (character == kBackspaceKey || character == kDeleteKey) {
			if (line.Length() > 0) {
				line.Truncate(line.Length() - 1);
				SendString("\b \b");
			}
			continue;
		}

		SendString(BString(&character, 1));
		if (character == '\n')
			break;
		line += character;
	}
	return line;
}


bool
ZenboDoorThread::SendString(BString text)
{
	BMessage request(kSendString);
	request.AddString(kStringField, text);
	request.AddInt32(kEnumField, 0);
	request.AddString(kUserNameField, fUserName);

	BMessage reply = PostToZenbo(request);
	if (reply.what == B_QUIT_REQUESTED)
		AbnormalTerminate();
	return true;
}


void
ZenboDoorThread::CloseDoor()
{
	BMessage request(kUserQuit);
	request.AddString(kUserNameField, fUserName);

	// The application answers once it has removed the user, or drops the
	// message when the user is unknown; either way the wait ends.
	BMessage reply;
	BMessenger application(be_app);
	application.SendMessage(&request, &reply, B_INFINITE_TIMEOUT,
		B_INFINITE_TIMEOUT);
}


char
ZenboDoorThread::GetChar()
{
	char character = ReadKey();

	// Through the virtual call, so a session that shows texts its own way
	// also shows the echo its own way.
	SendString(BString(&character, 1));
	return character;
}


char
ZenboDoorThread::ReadKey()
{
	BMessage request(kGetChar);
	request.AddString(kUserNameField, fUserName);

	BMessage reply = PostToZenbo(request);
	int32 value;
	if (reply.FindInt32(kCharField, 0, &value) != B_OK)
		value = 0;

	// Only the low byte is the key; bytes above 0x7F are negative chars.
	char character = static_cast<char>(static_cast<int8>(value & 0xFF));
	if (character == 0)
		AbnormalTerminate();
	return character;
}


BMessage
ZenboDoorThread::PostToZenbo(BMessage message)
{
	BMessage reply(kNone);
	status_t status = B_NO_INIT;
	{
		// A new messenger for every message: whichever Zenbo runs now gets
		// it, also one that was started again since the last message.
		BMessenger zenbo(ZENBO_SIGNATURE, -1, &status);
		if (status == B_OK) {
			zenbo.SendMessage(&message, &reply, B_INFINITE_TIMEOUT,
				B_INFINITE_TIMEOUT);
		}
	}

	if (status != B_OK)
		AbnormalTerminate();
	return reply;
}


void
ZenboDoorThread::AbnormalTerminate()
{
	CloseDoor();
	exit_thread(0);
}


int32
ZenboDoorThread::Run(void* data)
{
	// The session is released once its thread's last exchange is over, also
	// when exit_thread ends the thread from deep inside an exchange: the
	// thread's stack is unwound, and with it this guard. Nobody else holds
	// a pointer to the session, so without this it would stay for ever.
	std::unique_ptr<ZenboDoorThread> session(
		static_cast<ZenboDoorThread*>(data));
	session->RunDoor();
	return 0;
}
