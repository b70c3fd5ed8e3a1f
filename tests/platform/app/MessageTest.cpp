#include <Message.h>

#include <gtest/gtest.h>

#include <string.h>
#include <vector>


static BMessage
MakeRichMessage()
{
	BMessage message('rich');
	message.AddString("UserName", "Ash");
	message.AddInt32("Char", 0x141);
	message.AddString("UserName", "Birch");
	message.AddInt64("Big", -1234567890123LL);
	message.AddBool("Flag", true);
	const char raw[] = {0, 1, 2, '\n', 0};
	message.AddData("Raw", B_RAW_TYPE, raw, sizeof(raw));
	message.AddString("Empty", "");
	return message;
}


static std::vector<char>
Flat(const BMessage& message)
{
	std::vector<char> buffer(message.FlattenedSize());
	EXPECT_EQ(B_OK, message.Flatten(buffer.data(), buffer.size()));
	return buffer;
}


TEST(MessageTest, FieldsKeepTheirTypesValuesAndOrder)
{
	BMessage message = MakeRichMessage();

	const char* string;
	ASSERT_EQ(B_OK, message.FindString("UserName", 1, &string));
	EXPECT_STREQ("Birch", string);
	BString name;
	ASSERT_EQ(B_OK, message.FindString("UserName", &name));
	EXPECT_EQ(BString("Ash"), name);
	int32 character = 0;
	EXPECT_EQ(B_OK, message.FindInt32("Char", &character));
	EXPECT_EQ(0x141, character);
	int64 big = 0;
	EXPECT_EQ(B_OK, message.FindInt64("Big", 0, &big));
	EXPECT_EQ(-1234567890123LL, big);
	bool flag = false;
	EXPECT_EQ(B_OK, message.FindBool("Flag", 0, &flag));
	EXPECT_TRUE(flag);

	const char* expected[] = {"UserName", "Char", "Big", "Flag", "Raw", "Empty"};
	ASSERT_EQ(6, message.CountNames(B_ANY_TYPE));
	for (int32 i = 0; i < 6; i++) {
		const char* found;
		ASSERT_EQ(B_OK, message.GetInfo(B_ANY_TYPE, i, &found, NULL));
		EXPECT_STREQ(expected[i], found);
	}
	int32 count = 0;
	type_code type = 0;
	EXPECT_EQ(B_OK, message.GetInfo("UserName", &type, &count));
	EXPECT_EQ(B_STRING_TYPE, type);
	EXPECT_EQ(2, count);
	EXPECT_EQ(3, message.CountNames(B_STRING_TYPE) + message.CountNames(B_BOOL_TYPE));
}


TEST(MessageTest, FieldOfAnotherTypeReadsAsMissing)
{
	BMessage message('gcha');
	message.AddString("Char", "A");

	int32 value = 77;
	EXPECT_EQ(B_NAME_NOT_FOUND, message.FindInt32("Char", &value));
	EXPECT_EQ(77, value);
	EXPECT_EQ(B_NAME_NOT_FOUND, message.FindString("char", (const char**)NULL));
	const char* string;
	EXPECT_EQ(B_BAD_INDEX, message.FindString("Char", 1, &string));
	EXPECT_EQ(B_BAD_TYPE, message.AddInt32("Char", 65));
}


TEST(MessageTest, RefusesValuesThatCouldNotTravel)
{
	BMessage message;
	EXPECT_EQ(B_BAD_VALUE, message.AddString("", "no name"));
	EXPECT_EQ(B_BAD_VALUE, message.AddString(std::string(256, 'n').c_str(), "x"));
	EXPECT_EQ(B_BAD_VALUE, message.AddData("s", B_STRING_TYPE, "ab", 2));
	EXPECT_EQ(B_BAD_VALUE, message.AddData("s", B_STRING_TYPE, "a\0b", 4));
	EXPECT_EQ(B_BAD_VALUE, message.AddData("i", B_INT32_TYPE, "abc", 3));
	EXPECT_TRUE(message.IsEmpty());
}


TEST(MessageTest, CopiesAreIndependentValues)
{
	BMessage original = MakeRichMessage();
	BMessage copy(original);
	copy.AddString("UserName", "Cedar");
	copy.what = 'copy';
	BMessage assigned;
	assigned = copy;
	copy.MakeEmpty();

	int32 count = 0;
	original.GetInfo("UserName", NULL, &count);
	EXPECT_EQ(2, count);
	EXPECT_EQ(uint32('rich'), original.what);
	assigned.GetInfo("UserName", NULL, &count);
	EXPECT_EQ(3, count);
	EXPECT_EQ(uint32('copy'), assigned.what);
	EXPECT_TRUE(copy.IsEmpty());
}


TEST(MessageTest, FlatFormGivesBackTheSameMessage)
{
	BMessage original = MakeRichMessage();
	std::vector<char> flat = Flat(original);

	BMessage restored;
	ASSERT_EQ(B_OK, restored.Unflatten(flat.data(), flat.size()));
	EXPECT_EQ(original.what, restored.what);
	EXPECT_EQ(flat, Flat(restored));
	const void* data;
	ssize_t size;
	ASSERT_EQ(B_OK, restored.FindData("Raw", B_RAW_TYPE, 0, &data, &size));
	ASSERT_EQ(5, size);
	EXPECT_EQ('\n', static_cast<const char*>(data)[3]);
}


TEST(MessageTest, EmptyValueTravelsAsEmpty)
{
	// Found by the frame reader's fuzzer: flattening an empty value copied
	// from a null pointer.
	BMessage original('empt');
	ASSERT_EQ(B_OK, original.AddData("Raw", B_RAW_TYPE, "", 0));
	ASSERT_EQ(B_OK, original.AddData("Raw", B_RAW_TYPE, "x", 1));
	std::vector<char> flat = Flat(original);

	BMessage restored;
	ASSERT_EQ(B_OK, restored.Unflatten(flat.data(), flat.size()));
	EXPECT_EQ(flat, Flat(restored));
	const void* data;
	ssize_t size = -1;
	ASSERT_EQ(B_OK, restored.FindData("Raw", B_RAW_TYPE, 0, &data, &size));
	EXPECT_EQ(0, size);
	ASSERT_EQ(B_OK, restored.FindData("Raw", B_RAW_TYPE, 1, &data, &size));
	EXPECT_EQ(1, size);
}


TEST(MessageTest, FlatFormIsLittleEndianAsDocumented)
{
	BMessage message('sstr');
	message.AddInt32("Enum", 0x01020304);
	std::vector<char> flat = Flat(message);

	const unsigned char expected[] = {
		'r', 't', 's', 's',  1, 0, 0, 0,		// what, one field
		4, 0, 'E', 'n', 'u', 'm',			// name
		'G', 'N', 'O', 'L',  1, 0, 0, 0,		// 'LONG', one value
		4, 0, 0, 0,  4, 3, 2, 1,			// length and value
	};
	ASSERT_EQ(sizeof(expected), flat.size());
	EXPECT_EQ(0, memcmp(expected, flat.data(), flat.size()));
}


TEST(MessageTest, UnflattenRefusesEveryCutAndLeavesTheMessageAlone)
{
	std::vector<char> flat = Flat(MakeRichMessage());
	for (size_t length = 0; length < flat.size(); length++) {
		BMessage message('keep');
		message.AddInt32("mine", 1);
		EXPECT_EQ(B_BAD_DATA, message.Unflatten(flat.data(), length))
			<< "cut at " << length;
		EXPECT_EQ(uint32('keep'), message.what);
		EXPECT_EQ(1, message.CountNames(B_ANY_TYPE));
	}
	flat.push_back(0);
	BMessage message;
	EXPECT_EQ(B_BAD_DATA, message.Unflatten(flat.data(), flat.size()));
}


TEST(MessageTest, UnflattenRefusesInconsistentFields)
{
	BMessage message('sstr');
	message.AddString("String", "hi");
	std::vector<char> good = Flat(message);
	// what(4) count(4) nameLength(2) "String"(6) type(4) count(4) length(4) "hi\0"
	const size_t valueAt = 4 + 4 + 2 + 6 + 4 + 4 + 4;
	const size_t typeAt = 4 + 4 + 2 + 6;

	std::vector<char> noNul = good;
	noNul[valueAt + 2] = '!';
	std::vector<char> innerNul = good;
	innerNul[valueAt + 1] = '\0';
	std::vector<char> manyFields = good;
	manyFields[4] = char(0xff);
	manyFields[7] = char(0x7f);
	std::vector<char> badBool = good;
	memcpy(badBool.data() + typeAt, "LOOB", 4);

	BMessage twice('sstr');
	twice.AddString("String", "hi");
	twice.AddInt32("Other", 5);
	std::vector<char> duplicate = Flat(twice);
	memcpy(duplicate.data() + valueAt + 3 + 2, "String", 5);	// "Other" -> "Strin"
	duplicate[valueAt + 3] = 6;
	duplicate.insert(duplicate.begin() + valueAt + 3 + 2 + 5, 'g');

	for (const std::vector<char>* bad : {&noNul, &innerNul, &manyFields,
			&badBool, &duplicate}) {
		BMessage target;
		EXPECT_EQ(B_BAD_DATA, target.Unflatten(bad->data(), bad->size()));
	}
}


TEST(MessageTest, UndeliveredMessageCannotBeAnswered)
{
	BMessage message('gcha');
	EXPECT_FALSE(message.WasDelivered());
	EXPECT_FALSE(message.IsSourceWaiting());
	EXPECT_EQ(B_BAD_REPLY, message.SendReply('NONE'));
}
