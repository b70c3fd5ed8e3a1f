#include "ConnectionRegistry.h"


bool
ConnectionRegistry::End(const void* connection)
{
	auto found = fLive.find(connection);
	if (found == fLive.end())
		return false;
	fEnded.push_back(std::move(found->second.connection));
	fLive.erase(found);
	return true;
}


void
ConnectionRegistry::Clear()
{
	// Moved out first: a connection that goes may still end another.
	std::map<const void*, Entry> live;
	live.swap(fLive);
	live.clear();
	fEnded.clear();
}


bool
ConnectionRegistry::HasTerminals() const
{
	for (const auto& entry : fLive) {
		if (entry.second.role == Role::kTerminal)
			return true;
	}
	return false;
}
