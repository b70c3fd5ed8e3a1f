#include "FuzzHost.h"

#include <Message.h>
#include <OS.h>
#include <String.h>
#include <ZenboProtocol.h>

#include "VraskThread.h"

#include <chrono>
#include <stdio.h>
#include <stdlib.h>
#include <thread>


static const char* const kThreadSuffix = ".Fuzz";
static const auto kSessionPatience = std::chrono::seconds(20);


FuzzHost::FuzzHost(const char* fuzzer)
	:
	BApplication(ZENBO_SIGNATURE),
	fFuzzer(fuzzer)
{
}


/*static*/ FuzzHost*
FuzzHost::Start(const char* fuzzer)
{
	FuzzHost* host = new FuzzHost(fuzzer);
	if (host->InitCheck() != B_OK) {
		fprintf(stderr, "%s: the host cannot register\n", fuzzer);
		abort();
	}
	std::thread([host] { host->Run(); }).detach();
	return host;
}


void
FuzzHost::PlayGame(const char* user, const std::string& keys)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		fKeys = keys;
		fNextKey = 0;
		fKeysAsked = 0;
		fTextsSent = 0;
		fLeft = false;
	}

	status_t status;
	new VraskThread(user, kThreadSuffix, &status);
	if (status != B_OK) {
		fprintf(stderr, "%s: the session did not start\n", fFuzzer);
		abort();
	}
	{
		std::unique_lock<std::mutex> lock(fLock);
		if (!fChanged.wait_for(lock, kSessionPatience,
				[this] { return fLeft; })) {
			fprintf(stderr, "%s: the session did not end\n", fFuzzer);
			abort();
		}
	}
	// The session's thread ends right after it has taken leave. (A thread
	// that never ends is caught by libFuzzer's -timeout.)
	BString threadName(user);
	threadName << kThreadSuffix;
	named_thread thread;
	if (find_named_threads(threadName.String(), &thread, 1) == 1
		&& wait_for_named_thread(thread, B_INFINITE_TIMEOUT) != B_OK) {
		fprintf(stderr, "%s: the session's thread did not end\n", fFuzzer);
		abort();
	}
}


size_t
FuzzHost::KeysAsked() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fKeysAsked;
}


size_t
FuzzHost::TextsSent() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fTextsSent;
}


void
FuzzHost::MessageReceived(BMessage* message)
{
	std::unique_lock<std::mutex> lock(fLock);
	switch (message->what) {
		case kGetChar:
		{
			fKeysAsked++;
			BMessage reply(kNone);
			int32 key = fNextKey < fKeys.size()
				? uint8(fKeys[fNextKey++]) : 0;
			reply.AddInt32(kCharField, key);
			lock.unlock();
			message->SendReply(&reply);
			break;
		}
		case kSendString:
			fTextsSent++;
			lock.unlock();
			message->SendReply(B_REPLY);
			break;
		case kUserQuit:
			fLeft = true;
			fChanged.notify_all();
			lock.unlock();
			message->SendReply(kNone);
			break;
		default:
			lock.unlock();
			BApplication::MessageReceived(message);
	}
}
