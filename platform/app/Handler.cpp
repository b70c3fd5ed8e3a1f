#include <Handler.h>

#include <stdlib.h>
#include <string.h>


BHandler::BHandler(const char* name)
	:
	fName(name != NULL ? strdup(name) : NULL)
{
}


BHandler::~BHandler()
{
	free(fName);
}


void
BHandler::MessageReceived(BMessage* message)
{
	// Nobody here knows the message: it is deleted after dispatch, which
	// releases a waiting sender with B_NO_REPLY.
	(void)message;
}


BLooper*
BHandler::Looper() const
{
	return fLooper;
}


const char*
BHandler::Name() const
{
	return fName;
}
