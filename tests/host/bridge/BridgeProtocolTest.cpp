#include "BridgeProtocol.h"

#include <gtest/gtest.h>


TEST(BridgeProtocolTest, FramesComeOutAsTheyWentIn)
{
	std::string bytes;
	AppendFrame(bytes, kFrameHello, std::string("\x01" "Ash"));
	AppendFrame(bytes, kFrameKeys, std::string("a\0b", 3));
	AppendFrame(bytes, kFrameEndOfInput, std::string());

	FrameReader reader;
	reader.Feed(bytes.data(), bytes.size());
	uint8 type;
	std::string payload;
	ASSERT_EQ(B_OK, reader.Next(&type, &payload));
	EXPECT_EQ(kFrameHello, type);
	EXPECT_EQ("\x01" "Ash", payload);
	ASSERT_EQ(B_OK, reader.Next(&type, &payload));
	EXPECT_EQ(kFrameKeys, type);
	EXPECT_EQ(std::string("a\0b", 3), payload);
	ASSERT_EQ(B_OK, reader.Next(&type, &payload));
	EXPECT_EQ(kFrameEndOfInput, type);
	EXPECT_EQ("", payload);
	EXPECT_EQ(B_WOULD_BLOCK, reader.Next(&type, &payload));
}


TEST(BridgeProtocolTest, FrameFedByteByByteComesOutOnceWhole)
{
	std::string text(300, 'x');
	std::string bytes;
	AppendFrame(bytes, kFrameText, text);
	// The length is big-endian: 300 is 0x0000012C.
	EXPECT_EQ(std::string("t\x00\x00\x01\x2c", 5), bytes.substr(0, 5));

	FrameReader reader;
	uint8 type;
	std::string payload;
	for (size_t i = 0; i + 1 < bytes.size(); i++) {
		reader.Feed(bytes.data() + i, 1);
		ASSERT_EQ(B_WOULD_BLOCK, reader.Next(&type, &payload)) << i;
	}
	reader.Feed(bytes.data() + bytes.size() - 1, 1);
	ASSERT_EQ(B_OK, reader.Next(&type, &payload));
	EXPECT_EQ(text, payload);
}


TEST(BridgeProtocolTest, OversizedFrameBreaksTheReaderForGood)
{
	const char header[] = { 't', 0x7f, 0x00, 0x00, 0x00 };
	FrameReader reader;
	reader.Feed(header, sizeof(header));
	uint8 type;
	std::string payload;
	EXPECT_EQ(B_BAD_DATA, reader.Next(&type, &payload));

	std::string good;
	AppendFrame(good, kFrameKeys, std::string("a"));
	reader.Feed(good.data(), good.size());
	EXPECT_EQ(B_BAD_DATA, reader.Next(&type, &payload));
}
