#include "HostWorkers.h"

#include "DoorLauncher.h"
#include "PasswordHash.h"

#include <Message.h>

#include <algorithm>
#include <chrono>


// How often the entrance looks whether running sessions have ended, and at
// how many sessions at most each time: every look opens and locks the
// session's entry in the listing of threads, and with thousands of sessions
// looking at all of them after every entry made each new entry slower than
// the last. The sessions take turns; with 5,000 of them an end is seen
// within a second.
static const bigtime_t kWatchInterval = 50000;
static const size_t kWatchedPerLook = 256;


HostWorkers::HostWorkers(BLooper* looper, DoorLauncher& launcher)
	:
	fLooper(looper),
	fLauncher(launcher)
{
	fEntrance = std::thread([this]() { _RunEntrance(); });
	fPasswords = std::thread([this]() { _RunPasswords(); });
}


HostWorkers::~HostWorkers()
{
	Stop();
}


void
HostWorkers::EnterDoor(int32 seat, const BString& userName)
{
	std::lock_guard<std::mutex> locker(fLock);
	fEntries.emplace_back(seat, userName);
	fChanged.notify_all();
}


void
HostWorkers::HashPassword(int32 caller, const std::string& password)
{
	std::lock_guard<std::mutex> locker(fLock);
	fPasswordJobs.push_back([this, caller, password]() {
		std::string hash;
		if (::HashPassword(password, &hash) != B_OK)
			hash.clear();
		BMessage hashed(kMsgPasswordHashed);
		hashed.AddInt32("caller", caller);
		hashed.AddString("hash", hash.c_str());
		fLooper->PostMessage(&hashed);
	});
	fChanged.notify_all();
}


void
HostWorkers::CheckPassword(int32 caller, const std::string& hash,
	const std::string& password)
{
	std::lock_guard<std::mutex> locker(fLock);
	fPasswordJobs.push_back([this, caller, hash, password]() {
		BMessage checked(kMsgPasswordChecked);
		checked.AddInt32("caller", caller);
		checked.AddBool("matches", ::CheckPassword(hash, password));
		fLooper->PostMessage(&checked);
	});
	fChanged.notify_all();
}


void
HostWorkers::Stop()
{
	{
		std::lock_guard<std::mutex> locker(fLock);
		fStopping = true;
		fChanged.notify_all();
	}
	if (fEntrance.joinable())
		fEntrance.join();
	if (fPasswords.joinable())
		fPasswords.join();
}


void
HostWorkers::_RunEntrance()
{
	while (true) {
		std::pair<int32, BString> entry;
		{
			std::unique_lock<std::mutex> locker(fLock);
			fChanged.wait_for(locker, std::chrono::microseconds(
				fWatched.empty() ? 1000000 : kWatchInterval),
				[this]() { return fStopping || !fEntries.empty(); });
			if (fStopping)
				return;
			if (!fEntries.empty()) {
				entry = fEntries.front();
				fEntries.pop_front();
			}
		}

		if (entry.first != 0) {
			BString threadName;
			BString error;
			named_thread session = {};
			bool found = false;
			status_t status = fLauncher.EnterDoor(entry.second, &threadName,
				&session, &found, &error);
			BMessage entered(kMsgSeatEntered);
			entered.AddInt32("seat", entry.first);
			entered.AddInt32("status", status);
			entered.AddString("error", error);
			entered.AddString("thread", threadName);
			entered.AddInt32("team", found ? session.team : -1);
			fLooper->PostMessage(&entered);
			if (status == B_OK) {
				if (found)
					fWatched.push_back({ entry.first, session });
				else {
					// Over before it could be looked up.
					BMessage ended(kMsgSeatEnded);
					ended.AddInt32("seat", entry.first);
					ended.AddInt32("team", -1);
					fLooper->PostMessage(&ended);
				}
			}
		}

		bigtime_t now = system_time();
		if (now - fLastLook < kWatchInterval)
			continue;
		fLastLook = now;
		size_t looks = std::min(kWatchedPerLook, fWatched.size());
		for (size_t look = 0; look < looks; look++) {
			if (fNextWatched >= fWatched.size())
				fNextWatched = 0;
			size_t i = fNextWatched;
			if (wait_for_named_thread(fWatched[i].session, 0) != B_OK) {
				fNextWatched++;
				continue;
			}
			DoorLauncher::WaitWhileEnding(fWatched[i].session.team);
			BMessage ended(kMsgSeatEnded);
			ended.AddInt32("seat", fWatched[i].seat);
			ended.AddInt32("team", fWatched[i].session.team);
			fLooper->PostMessage(&ended);
			fWatched.erase(fWatched.begin() + (long)i);
		}
	}
}


void
HostWorkers::_RunPasswords()
{
	while (true) {
		std::function<void()> job;
		{
			std::unique_lock<std::mutex> locker(fLock);
			fChanged.wait(locker, [this]() {
				return fStopping || !fPasswordJobs.empty();
			});
			if (fStopping)
				return;
			job = std::move(fPasswordJobs.front());
			fPasswordJobs.pop_front();
		}
		job();
	}
}
