#pragma once

#include <SupportDefs.h>

#include <array>

// Events per second over the last minute (keys typed, the door's
// exchanges), for zenbo status: a count per second of the minute in a
// ring, so that adding and reading cost the same however busy the board
// is. Times are the board's clock; on the host's looper.
class RateMeter {
public:
			void				Add(bigtime_t now, int64 count = 1);
	// The events of the 60 seconds before now, per second.
	[[nodiscard]] double		PerSecond(bigtime_t now) const;

	static	const int32			kSeconds = 60;

private:
			void				_Forget(int64 second);

			std::array<int64, kSeconds> fCounts = {};
			// The second the newest count is of; the ring holds the
			// kSeconds up to it.
			int64				fNewest = 0;
};
