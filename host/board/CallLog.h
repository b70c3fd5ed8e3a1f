#pragma once

#include <String.h>
#include <SupportDefs.h>

#include <time.h>

#include <string>
#include <vector>

// How a call ended, as the call log keeps it.
enum class CallEnding {
	kGoodBye,			// the caller said good-bye, or left the door for good
	kDropped,			// the line dropped, or the host died under the call
	kIdle,				// idle too long
	kKicked,			// the sysop disconnected the caller
	kTakenOver,			// the same name logged in from another connection
	kTimeUp,			// the time the caller's own board left them ran out
	kShutDown,			// the host stopped
};

// The word the log and the lists show for an ending, and back; false for a
// word that names no ending.
const char* CallEndingName(CallEnding ending);
bool CallEndingFromName(const std::string& name, CallEnding* ending);

// One call as the log keeps it. Times are the wall clock's seconds; a call
// that has not ended has no end and no ending; one the host died under
// has an ending (dropped) but no end.
struct CallRecord {
	int64			id = 0;
	BString			name;
	BString			way;
	BString			address;
	time_t			start = 0;
	time_t			end = 0;		// 0 when unknown
	bool			ended = false;
	CallEnding		ending = CallEnding::kDropped;
};

// The board's calls: one begins when a caller has a name on the board (a
// login, a bridge's terminal, another board's vouched call) and ends with
// how it ended. A log that cannot keep a call says so in the host's log and
// the board goes on: a call unrecorded never stops one.
class CallLog {
public:
	virtual						~CallLog() = default;

	// The call's number for CallEnded; 0 when it could not be kept.
	virtual	int64				CallStarted(const BString& name,
									const char* way,
									const BString& address) = 0;
	virtual	void				CallEnded(int64 call, CallEnding ending) = 0;
	// The last calls, the newest first; of one name (in any case) when
	// the name is not empty.
	virtual	std::vector<CallRecord> LastCalls(int32 count,
									const BString& name) const = 0;
};
