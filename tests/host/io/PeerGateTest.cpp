#include "PeerGate.h"

#include <gtest/gtest.h>

#include <vector>


TEST(PeerGateTest, PlacesAreCountedOverallAndByAddress)
{
	PeerGate gate(3, 2);
	std::vector<PeerGate::Pass> passes(4);
	EXPECT_EQ(PeerGate::Verdict::kAdmitted, gate.Admit("10.0.0.1", &passes[0]));
	EXPECT_EQ(PeerGate::Verdict::kAdmitted, gate.Admit("10.0.0.1", &passes[1]));
	EXPECT_EQ(PeerGate::Verdict::kTooManyFromAddress,
		gate.Admit("10.0.0.1", &passes[2]));
	EXPECT_FALSE(passes[2].IsHeld());
	EXPECT_EQ(PeerGate::Verdict::kAdmitted, gate.Admit("10.0.0.2", &passes[2]));
	// Full, and nobody may be dropped for the newcomer.
	EXPECT_EQ(PeerGate::Verdict::kTooMany, gate.Admit("10.0.0.3", &passes[3]));
	EXPECT_EQ(3, gate.Pending());
	EXPECT_EQ(2, gate.PendingFrom("10.0.0.1"));
}


TEST(PeerGateTest, LoginOrTheEndGivesThePlaceBackOnce)
{
	PeerGate gate(2, 2);
	PeerGate::Pass first;
	ASSERT_EQ(PeerGate::Verdict::kAdmitted, gate.Admit("10.0.0.1", &first));
	{
		PeerGate::Pass second;
		ASSERT_EQ(PeerGate::Verdict::kAdmitted,
			gate.Admit("10.0.0.1", &second));
		PeerGate::Pass copy = second;
		second.Release();
		copy.Release();
		EXPECT_EQ(1, gate.Pending());
	}
	EXPECT_EQ(1, gate.Pending());
	first = PeerGate::Pass();
	EXPECT_EQ(0, gate.Pending());
	EXPECT_EQ(0, gate.PendingFrom("10.0.0.1"));
}


TEST(PeerGateTest, NewcomerTakesThePlaceOfTheBusiestAddressesOldest)
{
	PeerGate gate(3, 3);
	std::vector<PeerGate::Pass> flood(3);
	std::vector<int> dropped;
	for (int i = 0; i < 2; i++) {
		ASSERT_EQ(PeerGate::Verdict::kAdmitted,
			gate.Admit("10.0.0.9", &flood[i]));
		flood[i].SetDrop([&dropped, &flood, i] {
			dropped.push_back(i);
			flood[i].Release();
		});
	}
	ASSERT_EQ(PeerGate::Verdict::kAdmitted, gate.Admit("10.0.0.1", &flood[2]));

	PeerGate::Pass newcomer;
	EXPECT_EQ(PeerGate::Verdict::kAdmittedInPlaceOfAnother,
		gate.Admit("10.0.0.2", &newcomer));
	EXPECT_EQ(std::vector<int>{0}, dropped);
	EXPECT_EQ(3, gate.Pending());
	// Now every address has one: nobody is busier than a newcomer's.
	PeerGate::Pass another;
	EXPECT_EQ(PeerGate::Verdict::kTooMany, gate.Admit("10.0.0.9", &another));
}


TEST(PeerGateTest, ShortOfDescriptorsOnlyADroppedPlaceMakesRoom)
{
	PeerGate gate(100, 100);
	PeerGate::Pass waiting;
	ASSERT_EQ(PeerGate::Verdict::kAdmitted, gate.Admit("10.0.0.9", &waiting));
	PeerGate::Pass newcomer;
	// A place without a way to drop it is kept, and the drop need not
	// release the place itself.
	EXPECT_EQ(PeerGate::Verdict::kTooMany, gate.Admit("10.0.0.1", &newcomer,
		PeerGate::Room::kOnlyInPlaceOfAnother));
	bool dropped = false;
	waiting.SetDrop([&dropped] { dropped = true; });
	EXPECT_EQ(PeerGate::Verdict::kAdmittedInPlaceOfAnother,
		gate.Admit("10.0.0.1", &newcomer,
			PeerGate::Room::kOnlyInPlaceOfAnother));
	EXPECT_TRUE(dropped);
	EXPECT_FALSE(waiting.IsHeld());
	EXPECT_EQ(1, gate.Pending());
}


// A reverse proxy the host trusts speaks for many callers: its address is
// held only to the overall count.
TEST(PeerGateTest, SharedAddressIsHeldOnlyToTheOverallCount)
{
	PeerGate gate(6, 2);
	gate.SetSharedAddresses({ BString("10.0.0.1") });
	std::vector<PeerGate::Pass> passes(6);
	for (int i = 0; i < 5; i++) {
		EXPECT_EQ(PeerGate::Verdict::kAdmitted,
			gate.Admit(BString("10.0.0.1"), &passes[i]));
	}
	EXPECT_EQ(PeerGate::Verdict::kAdmitted,
		gate.Admit(BString("192.0.2.7"), &passes[5]));
	PeerGate::Pass more;
	EXPECT_EQ(PeerGate::Verdict::kTooMany,
		gate.Admit(BString("10.0.0.1"), &more));
	EXPECT_EQ(6, gate.Pending());
}
