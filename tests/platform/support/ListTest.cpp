#include <List.h>

#include <gtest/gtest.h>


namespace {

// Distinct addresses to store; the list never dereferences them.
int gItems[64];

void*
Item(int index)
{
	return &gItems[index];
}

}	// namespace


TEST(ListTest, StorageGrowsAndShrinksInWholeBlocks)
{
	BList list(4);
	EXPECT_EQ(4, list.BlockSize());
	EXPECT_EQ(0, list.PhysicalSize());

	for (int i = 0; i < 9; i++)
		ASSERT_TRUE(list.AddItem(Item(i)));
	EXPECT_EQ(9, list.CountItems());
	EXPECT_EQ(12, list.PhysicalSize());

	list.RemoveItem((int32)0);
	EXPECT_EQ(8, list.PhysicalSize());

	list.MakeEmpty();
	EXPECT_TRUE(list.IsEmpty());
	EXPECT_EQ(0, list.PhysicalSize());
}


TEST(ListTest, NonPositiveBlockSizeStillWorks)
{
	BList list(0);
	EXPECT_GT(list.BlockSize(), 0);
	for (int i = 0; i < 5; i++)
		ASSERT_TRUE(list.AddItem(Item(i)));
	EXPECT_EQ(Item(4), list.LastItem());
}


TEST(ListTest, RemoveByIndexShiftsFollowingItems)
{
	BList list(2);
	for (int i = 0; i < 5; i++)
		list.AddItem(Item(i));

	EXPECT_EQ(Item(1), list.RemoveItem((int32)1));
	ASSERT_EQ(4, list.CountItems());
	EXPECT_EQ(Item(0), list.ItemAt(0));
	EXPECT_EQ(Item(2), list.ItemAt(1));
	EXPECT_EQ(Item(3), list.ItemAt(2));
	EXPECT_EQ(Item(4), list.ItemAt(3));
	EXPECT_EQ(nullptr, list.ItemAt(4));

	EXPECT_EQ(Item(4), list.RemoveItem((int32)3));
	EXPECT_EQ(Item(3), list.LastItem());
}


TEST(ListTest, OutOfRangeIndexesChangeNothing)
{
	BList list;
	list.AddItem(Item(0));
	list.AddItem(Item(1));

	EXPECT_EQ(nullptr, list.RemoveItem((int32)-1));
	EXPECT_EQ(nullptr, list.RemoveItem((int32)2));
	EXPECT_EQ(nullptr, list.ItemAt(-1));
	EXPECT_EQ(nullptr, list.ItemAt(2));
	EXPECT_FALSE(list.AddItem(Item(5), 3));
	EXPECT_FALSE(list.AddItem(Item(5), -1));
	EXPECT_EQ(2, list.CountItems());
	EXPECT_EQ(Item(0), list.FirstItem());
	EXPECT_EQ(Item(1), list.LastItem());
}


TEST(ListTest, EmptyListReadsAsNothing)
{
	BList list;
	EXPECT_TRUE(list.IsEmpty());
	EXPECT_EQ(nullptr, list.FirstItem());
	EXPECT_EQ(nullptr, list.LastItem());
	EXPECT_EQ(nullptr, list.RemoveItem((int32)0));
	EXPECT_FALSE(list.RemoveItem(Item(0)));
}


TEST(ListTest, InsertAtIndexShiftsTheRest)
{
	BList list(3);
	list.AddItem(Item(0));
	list.AddItem(Item(2));
	ASSERT_TRUE(list.AddItem(Item(1), 1));
	ASSERT_TRUE(list.AddItem(Item(3), 3));
	for (int i = 0; i < 4; i++)
		EXPECT_EQ(Item(i), list.ItemAt(i));
}


TEST(ListTest, RemoveByPointerTakesFirstMatchOnly)
{
	BList list;
	list.AddItem(Item(7));
	list.AddItem(Item(8));
	list.AddItem(Item(7));

	EXPECT_TRUE(list.RemoveItem(Item(7)));
	ASSERT_EQ(2, list.CountItems());
	EXPECT_EQ(Item(8), list.ItemAt(0));
	EXPECT_EQ(1, list.IndexOf(Item(7)));
	EXPECT_TRUE(list.HasItem(Item(7)));
	EXPECT_FALSE(list.HasItem(Item(9)));
	EXPECT_EQ(-1, list.IndexOf(Item(9)));
}


TEST(ListTest, CopiesAreIndependent)
{
	BList original(5);
	for (int i = 0; i < 7; i++)
		original.AddItem(Item(i));

	BList copy(original);
	copy.RemoveItem((int32)0);
	EXPECT_EQ(7, original.CountItems());
	EXPECT_EQ(Item(0), original.ItemAt(0));
	EXPECT_EQ(Item(1), copy.ItemAt(0));
	EXPECT_EQ(5, copy.BlockSize());

	BList assigned(2);
	assigned.AddItem(Item(30));
	assigned = original;
	EXPECT_EQ(7, assigned.CountItems());
	EXPECT_EQ(Item(6), assigned.LastItem());
	BList& alias = assigned;
	assigned = alias;
	EXPECT_EQ(7, assigned.CountItems());
}
