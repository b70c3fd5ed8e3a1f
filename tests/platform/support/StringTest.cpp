#include <String.h>

#include <gtest/gtest.h>

#include <string.h>


TEST(StringTest, CopiesAreIndependent)
{
	BString original("Rook");
	BString copy(original);
	copy << " the Bold";
	original += '!';

	EXPECT_STREQ("Rook!", original.String());
	EXPECT_STREQ("Rook the Bold", copy.String());

	BString assigned;
	assigned = copy;
	assigned.Truncate(2);
	EXPECT_STREQ("Rook the Bold", copy.String());
	EXPECT_STREQ("Ro", assigned.String());
}


TEST(StringTest, MovedFromStringIsEmptyAndUsable)
{
	BString source("gold");
	BString target(std::move(source));
	EXPECT_STREQ("gold", target.String());
	EXPECT_EQ(0, source.Length());
	source << "again";
	EXPECT_STREQ("again", source.String());
}


TEST(StringTest, SelfAssignmentAndSelfAppendKeepTheBytes)
{
	BString text("echo");
	BString& alias = text;
	text = alias;
	EXPECT_STREQ("echo", text.String());

	text += alias;
	EXPECT_STREQ("echoecho", text.String());

	// Appending a part of its own buffer, which growing may move.
	text.Append(text.String() + 4, 4);
	EXPECT_STREQ("echoechoecho", text.String());
}


TEST(StringTest, AppendsInt32InPlainDecimal)
{
	BString text;
	text << (int32)0 << "," << (int32)7 << "," << (int32)-42 << "," << (int32)INT32_MAX
		<< "," << (int32)INT32_MIN;
	EXPECT_STREQ("0,7,-42,2147483647,-2147483648", text.String());
	EXPECT_EQ((int32)strlen(text.String()), text.Length());
}


TEST(StringTest, AppendsUnsignedAndInt64WithoutWrapping)
{
	BString text;
	text << (uint32)UINT32_MAX << " " << (int64)INT64_MIN << " " << (int64)INT64_MAX;
	EXPECT_STREQ("4294967295 -9223372036854775808 9223372036854775807", text.String());
}


TEST(StringTest, AppendsCharAsOneByte)
{
	BString text("a");
	text << 'b';
	text += (char)0x8f;
	ASSERT_EQ(3, text.Length());
	EXPECT_EQ('b', text[1]);
	EXPECT_EQ((char)0x8f, text.ByteAt(2));
}


TEST(StringTest, EndsAtFirstNul)
{
	const char bytes[] = { 'a', 'b', '\0', 'c' };
	BString text(bytes, 4);
	EXPECT_EQ(2, text.Length());

	text.Append(bytes, 4);
	EXPECT_STREQ("abab", text.String());

	text += '\0';
	EXPECT_EQ(4, text.Length());
}


TEST(StringTest, MaxLengthLimitsTheCopy)
{
	EXPECT_STREQ("Dre", BString("Drelmoor", 3).String());
	EXPECT_STREQ("", BString("Drelmoor", 0).String());
	EXPECT_STREQ("", BString("Drelmoor", -5).String());
	EXPECT_STREQ("ok", BString("ok", 50).String());
}


TEST(StringTest, NullSourcesGiveEmptyString)
{
	BString text((const char*)nullptr);
	EXPECT_STREQ("", text.String());
	text << (const char*)nullptr;
	text.SetTo(nullptr, 5);
	EXPECT_EQ(0, text.Length());
	EXPECT_TRUE(text == "");
	EXPECT_TRUE(text == (const char*)nullptr);
}


TEST(StringTest, ByteAtOutOfRangeReadsNul)
{
	BString text("ab");
	EXPECT_EQ('\0', text.ByteAt(-1));
	EXPECT_EQ('\0', text.ByteAt(2));
	EXPECT_EQ('\0', text[100]);
}


TEST(StringTest, ComparesBytesLikeStrcmp)
{
	BString upper("Ash");
	BString lower("ash");
	EXPECT_NE(upper, lower);
	EXPECT_TRUE(upper < lower);
	EXPECT_FALSE(lower < upper);
	EXPECT_EQ(0, upper.Compare("Ash"));
	EXPECT_LT(BString("Ash").Compare("Ashen"), 0);
	EXPECT_GT(BString("b").Compare(BString("a")), 0);

	// Bytes above 0x7f sort after ASCII, as unsigned bytes do in strcmp.
	BString high;
	high << (char)0xe9;
	EXPECT_TRUE(BString("z") < high);

	EXPECT_TRUE(upper == "Ash");
	EXPECT_TRUE(upper != "Ash ");
}


TEST(StringTest, ConcatenationLeavesOperandsUnchanged)
{
	BString name("Zenbo");
	BString suffix(".Drelmoor");
	BString whole = name + suffix;
	EXPECT_STREQ("Zenbo.Drelmoor", whole.String());
	EXPECT_STREQ("Zenbo", name.String());
	EXPECT_STREQ(".Drelmoor", suffix.String());
}


TEST(StringTest, AssignCharReplacesContent)
{
	BString text("long text");
	text = 'x';
	EXPECT_STREQ("x", text.String());
	text = '\0';
	EXPECT_EQ(0, text.Length());
}
