#include "Terminal.h"

#include <unistd.h>


Terminal::Terminal(int32 id, int descriptor)
	:
	fID(id),
	fDescriptor(descriptor)
{
}


Terminal::~Terminal()
{
	delete fKeyRequest;
	for (BMessage* request : fTextRequests)
		delete request;
	Disconnect();
}


void
Terminal::AddKeys(const char* keys, size_t size)
{
	for (size_t i = 0; i < size; i++) {
		if (keys[i] != '\0')
			fKeys.push_back(keys[i]);
	}
}


char
Terminal::TakeKey()
{
	char key = fKeys.front();
	fKeys.pop_front();
	return key;
}


void
Terminal::QueueFrame(uint8 type, const std::string& payload)
{
	if (fDescriptor >= 0)
		AppendFrame(fOutput, type, payload);
}


void
Terminal::Disconnect()
{
	if (fDescriptor >= 0)
		close(fDescriptor);
	fDescriptor = -1;
	fOutput.clear();
	fGone = true;
}

