#pragma once

#include <String.h>
#include <SupportDefs.h>

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The host's count of network connections that have not logged in, from
// the moment each is accepted, whatever its way in and however far it got
// (an HTTP request not yet upgraded, an SSH handshake, a login prompt):
// a stranger who opens connections and never finishes them holds only so
// many of the host's descriptors, overall and from one address. Each
// admitted connection holds a Pass, given back when it logs in or ends.
//
// When every place is taken, a newcomer from an address with fewer
// connections waiting than the busiest address takes the place of that
// address's oldest connection, which is dropped: a flood from a few
// addresses cannot keep everyone else out. It lives on the looper's
// thread; a Pass may outlive the gate.
class PeerGate {
public:
	static constexpr int32		kDefaultMaxPending = 128;
	static constexpr int32		kDefaultMaxPendingPerAddress = 16;

	// A connection's place among those not logged in. Copies share the
	// place; it is given back once, by Release or when the last copy goes.
	class Pass {
	public:
								Pass() = default;
			void				Release();
			bool				IsHeld() const;
	// How the connection is dropped to make room for a newcomer; it must
	// end the connection (and may release the pass) at once. A connection
	// that sets none keeps its place until it ends.
			void				SetDrop(std::function<void()> drop);

	private:
		friend class PeerGate;
		struct Hold;
			std::shared_ptr<Hold> fHold;
	};

	enum class Verdict {
		kAdmitted,
		kAdmittedInPlaceOfAnother,	// the busiest address lost its oldest
		kTooMany,					// the overall limit
		kTooManyFromAddress,
	};

	enum class Room {
		kAsCounted,
		// The host is short of descriptors: a newcomer gets in only in
		// place of another, whatever the count.
		kOnlyInPlaceOfAnother,
	};

								PeerGate(int32 maxPending = kDefaultMaxPending,
									int32 maxPendingPerAddress
										= kDefaultMaxPendingPerAddress);
								PeerGate(const PeerGate&) = delete;
			PeerGate&			operator=(const PeerGate&) = delete;

			void				SetLimits(int32 maxPending,
									int32 maxPendingPerAddress);
	// A reverse proxy the host trusts brings the connections of many
	// callers from its one address: only the overall limit holds for it,
	// and the board counts its callers by the addresses it names.
			void				SetSharedAddresses(
									const std::vector<BString>& addresses);
	// The pass is set only when the verdict is one of the admissions.
	[[nodiscard]] Verdict		Admit(const BString& address, Pass* pass,
									Room room = Room::kAsCounted);

			int32				Pending() const;
			int32				PendingFrom(const BString& address) const;

private:
	struct Counts;
			std::shared_ptr<Counts> fCounts;
};
