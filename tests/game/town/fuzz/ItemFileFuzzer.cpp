// Feeds arbitrary bytes to the door as its weapons and armor files, through
// a whole visit to the blacksmith: a real session of the game, in this
// process, against a host that types the keys of the visit. The first four
// bytes choose the items asked for and the strength of the player's own
// weapon and armor; the rest is both item files. Nothing may crash, hang or
// leak, and the visit ends as the player quits.
#include "VraskPaths.h"
#include "VraskThread.h"

#include <Application.h>
#include <Message.h>
#include <OS.h>
#include <ZenboProtocol.h>

#include <FuzzVolume.h>

#include <condition_variable>
#include <mutex>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <thread>


static const char* const kUser = "Fuzz";
static const char* const kThreadSuffix = ".Fuzz";
static const auto kVisitPatience = std::chrono::seconds(20);


// Zenbo for one session at a time: it answers every key request with the
// next key of the visit (0, the user gone, once they run out), takes every
// text, and notes when the session has taken leave.
class FuzzHost : public BApplication {
public:
	FuzzHost() : BApplication(ZENBO_SIGNATURE) {}

	void Play(const std::string& keys)
	{
		std::lock_guard<std::mutex> lock(fLock);
		fKeys = keys;
		fNextKey = 0;
		fLeft = false;
	}

	bool WaitUntilLeft()
	{
		std::unique_lock<std::mutex> lock(fLock);
		return fChanged.wait_for(lock, kVisitPatience, [this] { return fLeft; });
	}

	void MessageReceived(BMessage* message) override
	{
		std::unique_lock<std::mutex> lock(fLock);
		switch (message->what) {
			case kGetChar:
			{
				BMessage reply(kNone);
				int32 key = fNextKey < fKeys.size()
					? uint8(fKeys[fNextKey++]) : 0;
				reply.AddInt32(kCharField, key);
				lock.unlock();
				message->SendReply(&reply);
				break;
			}
			case kSendString:
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

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::string fKeys;
	size_t fNextKey = 0;
	bool fLeft = false;
};


static FuzzHost* sHost = nullptr;


static std::string
PlayerFile(int32 weaponStrength, int32 armorStrength)
{
	// Rich, and stored "today" far ahead, so that no daily reset happens.
	std::string file = "Fuzz\nOld Sword\nOld Mail\n";
	file += std::to_string(weaponStrength) + "\n";
	file += std::to_string(armorStrength) + "\n";
	file += "2000000000\n10\n10\n1\n0\n7\n7\n15\n99991231\n";
	return file;
}


extern "C" int
LLVMFuzzerInitialize(int*, char***)
{
	FuzzVolume::Prepare();
	FuzzVolume::MakeFolder(kUsersFolder);
	sHost = new FuzzHost;
	if (sHost->InitCheck() != B_OK) {
		fprintf(stderr, "ItemFileFuzzer: the host cannot register\n");
		abort();
	}
	// The host runs for as long as the fuzzer does.
	std::thread([] { sHost->Run(); }).detach();
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 4)
		return 0;
	std::string player = PlayerFile(data[2] % 32, data[3] % 32);
	FuzzVolume::WriteFile(kUsersFolder "Fuzz", player.data(), player.size());
	FuzzVolume::WriteFile(kWeaponsFile, data + 4, size - 4);
	FuzzVolume::WriteFile(kArmorFile, data + 4, size - 4);

	// To the smithy; a weapon, yes; an armor, yes; and home.
	std::string keys = "bw" + std::to_string(int(data[0] % 32) - 1) + "\ny"
		+ "a" + std::to_string(int(data[1] % 32) - 1) + "\nyq";
	sHost->Play(keys);

	status_t status;
	new VraskThread(kUser, kThreadSuffix, &status);
	if (status != B_OK) {
		fprintf(stderr, "ItemFileFuzzer: the session did not start\n");
		abort();
	}
	if (!sHost->WaitUntilLeft()) {
		fprintf(stderr, "ItemFileFuzzer: the visit did not end\n");
		abort();
	}
	// The session's thread ends right after it has taken leave; the next
	// visit waits for it, so that only one session uses the player file.
	// (A thread that never ends is caught by libFuzzer's -timeout.)
	BString threadName(kUser);
	threadName << kThreadSuffix;
	named_thread thread;
	if (find_named_threads(threadName.String(), &thread, 1) == 1
		&& wait_for_named_thread(thread, B_INFINITE_TIMEOUT) != B_OK) {
		fprintf(stderr, "ItemFileFuzzer: the session's thread did not end\n");
		abort();
	}
	return 0;
}
