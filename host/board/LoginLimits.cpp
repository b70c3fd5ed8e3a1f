#include "LoginLimits.h"

#include <algorithm>


LoginLimits::LoginLimits(const BoardSettings& settings)
	:
	fSettings(settings)
{
}


LoginLimits::Admission
LoginLimits::Admit(int32 callers, int32 loggingInFromAddress) const
{
	if (IsFull(callers))
		return Admission::kBoardFull;
	if (loggingInFromAddress >= fSettings.maxUnknownPerAddress)
		return Admission::kTooManyFromAddress;
	return Admission::kAdmitted;
}


// The pause doubles with each wrong password of the call, so a caller
// who guesses waits longer for every guess.
bigtime_t
LoginLimits::PauseAfter(int32 wrongPasswords) const
{
	if (wrongPasswords <= 0)
		return 0;
	return fSettings.failureDelay << (wrongPasswords - 1);
}


bool
LoginLimits::IsLocked(const std::string& nameKey, bigtime_t now)
{
	auto locked = fLockedUntil.find(nameKey);
	if (locked == fLockedUntil.end())
		return false;
	if (now < locked->second)
		return true;
	fLockedUntil.erase(locked);
	return false;
}


bool
LoginLimits::CheckStarting(const std::string& nameKey, bigtime_t now)
{
	if (IsLocked(nameKey, now))
		return false;
	auto checking = fChecking.find(nameKey);
	int32 underWay = checking != fChecking.end() ? checking->second : 0;
	if (_RecentFailures(nameKey, now) + underWay >= fSettings.lockFailures)
		return false;
	fChecking[nameKey] = underWay + 1;
	return true;
}


void
LoginLimits::CheckEnded(const std::string& nameKey)
{
	auto checking = fChecking.find(nameKey);
	if (checking == fChecking.end())
		return;
	if (--checking->second <= 0)
		fChecking.erase(checking);
}


int32
LoginLimits::ChecksUnderWay(const std::string& nameKey) const
{
	auto checking = fChecking.find(nameKey);
	return checking != fChecking.end() ? checking->second : 0;
}


bool
LoginLimits::Failed(const std::string& nameKey, bigtime_t now)
{
	return _CountFailure(nameKey, now) >= fSettings.lockFailures;
}


LoginLimits::Refusal
LoginLimits::CallRefused(const std::string& key, bigtime_t now)
{
	int32 failures = _CountFailure(key, now);
	Refusal refusal;
	refusal.pause = PauseAfter(std::min(failures, fSettings.maxPasswordTries));
	refusal.locked = failures >= fSettings.lockFailures;
	return refusal;
}


void
LoginLimits::Succeeded(const std::string& nameKey)
{
	fFailures.erase(nameKey);
}


int32
LoginLimits::CountLocked(bigtime_t now) const
{
	int32 count = 0;
	for (auto& entry : fLockedUntil) {
		if (now < entry.second)
			count++;
	}
	return count;
}


int32
LoginLimits::_CountFailure(const std::string& key, bigtime_t now)
{
	fFailuresOfDay.Add(DayTally::Today());
	fFailures[key].push_back(now);
	int32 count = _RecentFailures(key, now);
	if (count >= fSettings.lockFailures) {
		fLockedUntil[key] = now + fSettings.lockWindow;
		fFailures.erase(key);
	}
	return count;
}


int32
LoginLimits::_RecentFailures(const std::string& key, bigtime_t now)
{
	auto found = fFailures.find(key);
	if (found == fFailures.end())
		return 0;
	std::deque<bigtime_t>& failures = found->second;
	while (!failures.empty() && now - failures.front() > fSettings.lockWindow)
		failures.pop_front();
	if (failures.empty()) {
		fFailures.erase(found);
		return 0;
	}
	return (int32)failures.size();
}
