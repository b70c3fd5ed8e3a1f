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
	std::deque<bigtime_t>& failures = fFailures[key];
	failures.push_back(now);
	while (!failures.empty() && now - failures.front() > fSettings.lockWindow)
		failures.pop_front();
	int32 count = (int32)failures.size();
	if (count >= fSettings.lockFailures) {
		fLockedUntil[key] = now + fSettings.lockWindow;
		fFailures.erase(key);
	}
	return count;
}
