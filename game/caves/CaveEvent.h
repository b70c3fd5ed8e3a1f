#pragma once

#include <SupportDefs.h>

class CPlayer;

// The rules of a special event, without a host: what a cave fight turns
// into when the monster catalogue draws the event's marker. On the deepest
// cave level it may bring on the final monster; otherwise it is one of five
// strokes of luck, which changes the player record at once. The session's
// SpecialEvent shows the outcome; the balance tool plays it the same way.
// The draws come from the program-wide rand(), in the caves' order.
class CaveEvent {
public:
	enum class Kind {
		kFinalMonster,		// the fight against the final monster follows
		kPool,				// healed to the full; amount: hit points healed
		kAppleTree,			// amount: the cave fights gained
		kMonk,				// amount: the strength gained
		kCorpse,			// amount: the gold found
		kBramblePatch		// amount: the defense gained
	};

	struct Outcome {
			Kind				kind = Kind::kFinalMonster;
			int32				amount = 0;
	};

	// Gives back the cave fight that the draw of the marker spent (a lucky
	// event costs none; the final monster spends it again), then draws and
	// applies the event.
	static	Outcome				Happen(CPlayer& player);
};
