#include "ScreenFit.h"

#include <gtest/gtest.h>


TEST(ScreenFitTest, LongLineBreaksAtTheLastSpaceThatFits)
{
	EXPECT_EQ("Give your board name to\nlog in, or a new name to\nregister.\n",
		ScreenFit::Wrapped("Give your board name to log in, or a new name to"
			" register.\n", 25));
	// The prompt's line stays open, and short lines stay as they are.
	EXPECT_EQ("Choose a password\n(at least 8): ",
		ScreenFit::Wrapped("Choose a password (at least 8): ", 20));
	EXPECT_EQ("\nok\n\n", ScreenFit::Wrapped("\nok\n\n", 40));
}


TEST(ScreenFitTest, UnknownWidthLeavesTheTextAndAWordWiderThanTheWindowIsCut)
{
	std::string text(120, 'x');
	EXPECT_EQ(text, ScreenFit::Wrapped(text, 0));
	EXPECT_EQ(std::string(50, 'x') + "\n" + std::string(50, 'x') + "\n"
		+ std::string(20, 'x'), ScreenFit::Wrapped(text, 50));
	EXPECT_EQ(80, ScreenFit::ColumnsFor(0));
	EXPECT_EQ(40, ScreenFit::ColumnsFor(12));
	EXPECT_EQ(132, ScreenFit::ColumnsFor(132));
}
