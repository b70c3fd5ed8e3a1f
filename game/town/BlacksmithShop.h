#pragma once

#include <SupportDefs.h>

// The blacksmith's rules for one visit: which items of the item file the
// shop reads and shows, what each costs, and what a chosen number leads to.
// It knows nothing of files or of the host; the session's BuyItem reads the
// item file and shows the text, and asks this object every question of
// the trade. A visit builds one on the session's thread and drops it when
// the visit ends.
class BlacksmithShop {
public:
	enum class Kind {
		kWeapons,
		kArmor
	};

	// What a chosen item number leads to, in the order the shop checks it.
	enum class Verdict {
		kNoSuchItem,		// below 1, above the limit, or not a number
		kNotBetter,			// the player has this one or a better one
		kBeyondAnyPurse,	// dearer than the most gold a character can carry
		kOffer				// worth asking for the gold
	};

	// The shop never reads more items than this from a file. Prices up to
	// here are exact in 64 bits, and no character can afford even item 27
	// (gold is an int32), so a longer file only holds items nobody could
	// buy or be shown.
	static constexpr int32	kMostItems = 50;

								BlacksmithShop(Kind kind, int32 strength,
									long itemCount);

	// The window
			// The last item number the visit reads: the file's count, at most
			// four steps above the player's item, never below 0.
			int32				Limit() const { return fLimit; }
			// The first item number listed; the window ends at Limit().
			int32				FirstShown() const { return fFirstShown; }
			bool				IsShown(int32 number) const;
			bool				IsCurrent(int32 number) const;
			// The item file ended after this many items, before the limit:
			// the shop sells only what it has read.
			void				ItemsEndedAt(int32 itemsRead);

	// Prices
			// The price in the listing of the item at zero-based index.
			int64				ListingPrice(int32 index) const;
			// The price charged for item number `number`.
			int64				Price(int32 number) const;
	static	bool				FitsInPurse(int64 price);

	// The choice
			Verdict				Judge(long choice) const;

private:
			Kind				fKind;
			int32				fStrength;
			int32				fLimit = 0;
			int32				fFirstShown = 1;
};
