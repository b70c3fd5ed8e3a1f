#pragma once

#include <SupportDefs.h>

#include <string>

// The time a caller's own board left them for the door (a drop file's
// minutes), counted down on the host's clock: a warning when 5, 2 and 1
// minutes are left, each at most once, and the end once no time is left.
// A caller who arrives with less time than a warning's hears none of it.
// It holds no caller and shows nothing: the board asks it what is due on
// each tick and tells the caller itself, beside the caller's IdleClock.
class TimeLimit {
public:
	enum class Due {
		kNothing,
		kWarning,
		kEnd,
	};

	// From now, with this much time left; a negative time is no limit.
			void				Start(bigtime_t now, bigtime_t timeLeft);
			bool				IsLimited() const { return fDeadline >= 0; }
	// 0 once the time is up; -1 without a limit.
			bigtime_t			TimeLeft(bigtime_t now) const;
	// What the caller is to be told now, with the warning's text; each
	// warning and the end are due once.
	[[nodiscard]] Due			Check(bigtime_t now, std::string* warning);

private:
			bigtime_t			fDeadline = -1;
	// The warnings already given (or passed over), from the first.
			int32				fWarned = 0;
			bool				fEnded = false;
};
