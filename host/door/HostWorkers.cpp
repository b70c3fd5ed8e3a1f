#include "HostWorkers.h"

#include "DoorLauncher.h"
#include "PasswordHash.h"

#include "HostLog.h"

#include <Errors.h>
#include <Message.h>

#include <algorithm>
#include <chrono>
#include <unistd.h>


// How often the entrance looks whether running sessions have ended. A
// session that ends takes its entry out of the listing of threads, which
// the entrance is told of; only a door that dies leaves its sessions'
// entries behind, and those are found by looking at a few sessions each
// time in turn (every look opens and locks a session's entry), and then at
// every other session of that door at once. Without word of the entries
// that go, every session is looked at in turn, more of them each time.
static const bigtime_t kWatchInterval = 50000;
static const size_t kWatchedPerLook = 16;
static const size_t kWatchedPerLookUntold = 256;


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
	fEnds = open_named_thread_ends();
	if (fEnds < 0) {
		HostLog("cannot watch the door's sessions end (%s); they are looked"
			" at in turn", strerror_status(fEnds));
	}
	while (true) {
		std::pair<int32, BString> entry;
		{
			std::unique_lock<std::mutex> locker(fLock);
			fChanged.wait_for(locker, std::chrono::microseconds(
				fWatched.empty() ? 1000000 : kWatchInterval),
				[this]() { return fStopping || !fEntries.empty(); });
			if (fStopping)
				break;
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
		_LookAtSessions();
	}
	if (fEnds >= 0) {
		close(fEnds);
		fEnds = -1;
	}
}


void
HostWorkers::_LookAtSessions()
{
	size_t looks = kWatchedPerLook;
	if (fEnds < 0)
		looks = kWatchedPerLookUntold;
	else {
		named_thread ended[256];
		int32 count;
		while ((count = read_named_thread_ends(fEnds, ended, 256)) > 0) {
			for (int32 i = 0; i < count; i++) {
				for (size_t index = 0; index < fWatched.size(); index++) {
					const named_thread& session = fWatched[index].session;
					if (session.team == ended[i].team
						&& session.thread == ended[i].thread
						&& session.started == ended[i].started) {
						_SessionEnded(index, true);
						break;
					}
				}
			}
		}
		// Too many went at once to be told: every session is looked at.
		if (count == B_BUFFER_OVERFLOW)
			looks = fWatched.size();
	}

	looks = std::min(looks, fWatched.size());
	for (size_t look = 0; look < looks && !fWatched.empty(); look++) {
		if (fNextWatched >= fWatched.size())
			fNextWatched = 0;
		size_t i = fNextWatched;
		if (wait_for_named_thread(fWatched[i].session, 0) != B_OK) {
			fNextWatched++;
			continue;
		}
		team_id team = fWatched[i].session.team;
		_SessionEnded(i, false);
		if (fEnds < 0)
			continue;
		// A session that left its entry behind went with its door: the
		// door's other sessions are looked at now.
		for (size_t other = 0; other < fWatched.size();) {
			if (fWatched[other].session.team == team
				&& wait_for_named_thread(fWatched[other].session, 0)
					== B_OK) {
				_SessionEnded(other, false);
			} else
				other++;
		}
	}
}


void
HostWorkers::_SessionEnded(size_t index, bool withdrew)
{
	team_id team = fWatched[index].session.team;
	if (!withdrew)
		DoorLauncher::WaitWhileEnding(team);
	BMessage ended(kMsgSeatEnded);
	ended.AddInt32("seat", fWatched[index].seat);
	ended.AddInt32("team", team);
	fLooper->PostMessage(&ended);
	fWatched.erase(fWatched.begin() + (long)index);
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
