#include "PeerGate.h"


struct PeerGate::Counts {
	int32				maxPending = 0;
	int32				maxPendingPerAddress = 0;
	int32				pending = 0;
	// Each address's places, oldest first.
	std::map<std::string, std::list<Pass::Hold*>> byAddress;
	std::set<std::string> shared;
};


// The counts are shared with every pass, so that a connection the host
// deletes after its gate (at the end of the host) gives back nothing
// twice and touches nothing gone.
struct PeerGate::Pass::Hold {
	std::shared_ptr<PeerGate::Counts> counts;
	std::string			address;
	std::function<void()> drop;
	bool				released = false;

	void Release()
	{
		if (released)
			return;
		released = true;
		drop = nullptr;
		counts->pending--;
		auto found = counts->byAddress.find(address);
		if (found == counts->byAddress.end())
			return;
		found->second.remove(this);
		if (found->second.empty())
			counts->byAddress.erase(found);
	}

	~Hold() { Release(); }
};


void
PeerGate::Pass::Release()
{
	if (fHold != NULL)
		fHold->Release();
}


bool
PeerGate::Pass::IsHeld() const
{
	return fHold != NULL && !fHold->released;
}


void
PeerGate::Pass::SetDrop(std::function<void()> drop)
{
	if (IsHeld())
		fHold->drop = std::move(drop);
}


PeerGate::PeerGate(int32 maxPending, int32 maxPendingPerAddress)
	:
	fCounts(std::make_shared<Counts>())
{
	SetLimits(maxPending, maxPendingPerAddress);
}


void
PeerGate::SetLimits(int32 maxPending, int32 maxPendingPerAddress)
{
	fCounts->maxPending = maxPending;
	fCounts->maxPendingPerAddress = maxPendingPerAddress;
}


void
PeerGate::SetSharedAddresses(const std::vector<BString>& addresses)
{
	fCounts->shared.clear();
	for (const BString& address : addresses)
		fCounts->shared.insert(address.String());
}


PeerGate::Verdict
PeerGate::Admit(const BString& address, Pass* pass, Room room)
{
	std::string key(address.String());
	int32 fromAddress = PendingFrom(address);
	if (fromAddress >= fCounts->maxPendingPerAddress
		&& fCounts->shared.count(key) == 0) {
		return Verdict::kTooManyFromAddress;
	}

	Verdict verdict = Verdict::kAdmitted;
	if (room == Room::kOnlyInPlaceOfAnother
		|| fCounts->pending >= fCounts->maxPending) {
		// The oldest droppable place of the busiest address, if that
		// address has more waiting than the newcomer's.
		Pass::Hold* oldest = NULL;
		size_t busiest = (size_t)fromAddress;
		for (const auto& [other, holds] : fCounts->byAddress) {
			if (holds.size() <= busiest || other == key)
				continue;
			for (Pass::Hold* hold : holds) {
				if (hold->drop) {
					oldest = hold;
					busiest = holds.size();
					break;
				}
			}
		}
		if (oldest == NULL)
			return Verdict::kTooMany;
		std::function<void()> drop = std::move(oldest->drop);
		oldest->drop = nullptr;
		// The connection may go at once, and its place with it; the hold
		// may be gone after the call, so it is released through the pass
		// that the connection keeps, or here if it still is listed.
		std::shared_ptr<Counts> counts = fCounts;
		int32 before = counts->pending;
		drop();
		if (counts->pending == before) {
			auto found = counts->byAddress.find(oldest->address);
			if (found != counts->byAddress.end()) {
				for (Pass::Hold* hold : found->second) {
					if (hold == oldest) {
						hold->Release();
						break;
					}
				}
			}
		}
		verdict = Verdict::kAdmittedInPlaceOfAnother;
	}

	fCounts->pending++;
	pass->fHold = std::make_shared<Pass::Hold>();
	pass->fHold->counts = fCounts;
	pass->fHold->address = key;
	fCounts->byAddress[key].push_back(pass->fHold.get());
	return verdict;
}


int32
PeerGate::Pending() const
{
	return fCounts->pending;
}


int32
PeerGate::PendingFrom(const BString& address) const
{
	auto found = fCounts->byAddress.find(address.String());
	return found != fCounts->byAddress.end()
		? (int32)found->second.size() : 0;
}
