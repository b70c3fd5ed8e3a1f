#include "VraskThread.h"

#include "CaveEvent.h"


// The screen of a special event: the rule has drawn and applied it, and the
// texts tell the player what happened.
void
VraskThread::SpecialEvent()
{
	CaveEvent::Outcome outcome = CaveEvent::Happen(fPlayer);
	_SaveBeforeShowing();
	SendString("\n\n***Special Event!***\n\n");

	switch (outcome.kind) {
		case CaveEvent::Kind::kFinalMonster:
			Fight(true);
			return;
		case CaveEvent::Kind::kPool:
		{
			SendString("You find a sparkling pool deep in the caverns.  "
				"Its subtle beauty refreshes you.");
			SendString("\n\nYou heal ");
			SendNumber(outcome.amount);
			SendString(" HP.");
			break;
		}
		case CaveEvent::Kind::kAppleTree:
		{
			SendString("You find a luscious-looking cave-apple tree.  After "
				"eating all the apples on the tree, you feel like you could "
				"take on the world!\n\nYou gain 3 cave fights!");
			break;
		}
		case CaveEvent::Kind::kMonk:
		{
			BString text("You happen upon a lonely monk who offers to train "
				"you in the fighting arts.  After several hours of moving "
				"rocks and standing on your head you feel more than just a "
				"little silly.  When you get done with your last exercise of "
				"covering your eyes, you find that the monk has left."
				"\n\nYou gain ");
			text << outcome.amount << " Strength!";
			SendString(text);
			break;
		}
		case CaveEvent::Kind::kCorpse:
		{
			BString text("You find the rotting corpse of a "
				"not-as-lucky-as-you-are warrior.  Pilfering through its "
				"pockets, you find ");
			text << outcome.amount << " gold that the others somehow missed!";
			SendString(text);
			break;
		}
		case CaveEvent::Kind::kBramblePatch:
		{
			BString text("As you stumble blindly about in the dark caves, "
				"you accidentally walk through a giant wild bramble patch.  "
				"When you finally make your way out of the thicket, you turn "
				"to discover that the patch has mysteriously vanished.  Your "
				"scratches have healed, hardening your skin.\n\nYou gain ");
			text << outcome.amount << " Defense!";
			SendString(text);
			break;
		}
	}
	SendString("\n");
}
