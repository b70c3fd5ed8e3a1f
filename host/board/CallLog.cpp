#include "CallLog.h"


static const struct {
	CallEnding		ending;
	const char*		name;
} kEndingNames[] = {
	{ CallEnding::kGoodBye, "good-bye" },
	{ CallEnding::kDropped, "dropped" },
	{ CallEnding::kIdle, "idle" },
	{ CallEnding::kKicked, "kicked" },
	{ CallEnding::kTakenOver, "taken over" },
	{ CallEnding::kTimeUp, "time up" },
	{ CallEnding::kShutDown, "shut down" },
};


const char*
CallEndingName(CallEnding ending)
{
	for (const auto& entry : kEndingNames) {
		if (entry.ending == ending)
			return entry.name;
	}
	return "dropped";
}


bool
CallEndingFromName(const std::string& name, CallEnding* ending)
{
	for (const auto& entry : kEndingNames) {
		if (name == entry.name) {
			*ending = entry.ending;
			return true;
		}
	}
	return false;
}
