#include "LoginLimits.h"


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
	std::deque<bigtime_t>& failures = fFailures[nameKey];
	failures.push_back(now);
	while (!failures.empty() && now - failures.front() > fSettings.lockWindow)
		failures.pop_front();
	if ((int32)failures.size() < fSettings.lockFailures)
		return false;
	fLockedUntil[nameKey] = now + fSettings.lockWindow;
	fFailures.erase(nameKey);
	return true;
}


void
LoginLimits::Succeeded(const std::string& nameKey)
{
	fFailures.erase(nameKey);
}
