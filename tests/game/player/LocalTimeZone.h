#pragma once

#include <stdlib.h>
#include <string>
#include <time.h>

// Sets the local time zone of this process (TZ) while it lives, so that the
// day number of a frozen clock is the same on every machine.
class LocalTimeZone {
public:
	explicit LocalTimeZone(const char* zone)
	{
		const char* previous = getenv("TZ");
		fHadPrevious = previous != nullptr;
		if (fHadPrevious)
			fPrevious = previous;
		setenv("TZ", zone, 1);
		tzset();
	}

	~LocalTimeZone()
	{
		if (fHadPrevious)
			setenv("TZ", fPrevious.c_str(), 1);
		else
			unsetenv("TZ");
		tzset();
	}

	LocalTimeZone(const LocalTimeZone&) = delete;
	LocalTimeZone& operator=(const LocalTimeZone&) = delete;

private:
	std::string fPrevious;
	bool fHadPrevious = false;
};
