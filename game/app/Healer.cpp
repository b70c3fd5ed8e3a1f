#include "VraskThread.h"

#include "HealersHut.h"


// The screen of the healer's hut: the rule sells the hit points, and the
// texts tell the player what it came to.
void
VraskThread::Heal(int32 count)
{
	HealersHut::Outcome outcome = HealersHut::Heal(fPlayer, count);
	switch (outcome.verdict) {
		case HealersHut::Verdict::kNotNeeded:
			SendString("\n You are not in need of healing currently.");
			return;
		case HealersHut::Verdict::kHealed:
			SendString("\nHealed ");
			SendNumber(outcome.count);
			SendString(" HP for ");
			SendNumber((int32)outcome.price);
			SendString(" gold.");
			return;
		case HealersHut::Verdict::kCannotPay:
		{
			BString priceText;
			priceText << outcome.price;
			SendString("\nYou don't appear to have ");
			SendString(priceText);
			SendString(" gold right now.");
			return;
		}
	}
}
