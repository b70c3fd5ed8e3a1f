#include "Wire.h"

#include <Message.h>

#include <gtest/gtest.h>

#include <string.h>

#include <string>

// The kit's private parts, which this test looks at.
using namespace BPrivate;


static std::string
Frame(const BMessage& message, uint32 serial,
	wire::FrameKind kind = wire::FrameKind::kRequest)
{
	std::string frame;
	EXPECT_EQ(B_OK, wire::AppendFrame(frame, kind, wire::kFlagWantsReply,
		serial, message));
	return frame;
}


TEST(WireTest, FramesArrivingByteByByteComeOutWhole)
{
	BMessage first('gcha');
	first.AddString("UserName", "Ash");
	BMessage second('sstr');
	second.AddString("String", "\nHello");
	std::string bytes = Frame(first, 7) + Frame(second, 8);

	wire::FrameReader reader;
	std::vector<uint32> serials;
	for (char byte : bytes) {
		reader.Feed(&byte, 1);
		BMessage message;
		wire::FrameHeader header;
		status_t status;
		while ((status = reader.Next(&header, &message)) == B_OK)
			serials.push_back(header.serial);
		ASSERT_EQ(B_WOULD_BLOCK, status);
	}
	EXPECT_EQ((std::vector<uint32>{7, 8}), serials);
	EXPECT_EQ(0u, reader.BufferedSize());
}


TEST(WireTest, HeaderFieldsAreChecked)
{
	std::string good = Frame(BMessage('echo'), 1);
	wire::FrameHeader header;
	ASSERT_EQ(B_OK, wire::ParseHeader(good.data(), &header));
	EXPECT_EQ(wire::FrameKind::kRequest, header.kind);
	EXPECT_EQ(wire::kFlagWantsReply, header.flags);

	for (size_t offset : {0, 4, 6, 7}) {
		std::string bad = good;
		bad[offset] = char(0x5a);
		EXPECT_EQ(B_BAD_DATA, wire::ParseHeader(bad.data(), &header))
			<< "byte " << offset;
	}
}


TEST(WireTest, OversizedFrameBreaksTheReaderBeforeItsPayloadComes)
{
	std::string frame = Frame(BMessage('echo'), 1);
	uint32 huge = wire::kMaxPayloadSize + 1;
	for (int i = 0; i < 4; i++)
		frame[12 + i] = char((huge >> (8 * i)) & 0xff);

	wire::FrameReader reader;
	reader.Feed(frame.data(), wire::kHeaderSize);
	BMessage message;
	wire::FrameHeader header;
	EXPECT_EQ(B_BAD_DATA, reader.Next(&header, &message));
	EXPECT_TRUE(reader.IsBroken());
	reader.Feed(frame.data(), frame.size());
	EXPECT_EQ(B_BAD_DATA, reader.Next(&header, &message));
}


TEST(WireTest, BadPayloadBreaksTheReader)
{
	BMessage message('sstr');
	message.AddString("String", "hi");
	std::string frame = Frame(message, 3);
	frame.back() = '!';		// the string loses its NUL

	wire::FrameReader reader;
	reader.Feed(frame.data(), frame.size());
	BMessage read;
	wire::FrameHeader header;
	EXPECT_EQ(B_BAD_DATA, reader.Next(&header, &read));
	EXPECT_TRUE(reader.IsBroken());
}


TEST(WireTest, ReaderAsksForExactlyTheRestOfAFrame)
{
	BMessage message('sstr');
	message.AddString("String", std::string(3000, 'x').c_str());
	std::string frame = Frame(message, 3);

	wire::FrameReader reader;
	EXPECT_EQ(wire::kHeaderSize, reader.InputWanted());
	reader.Feed(frame.data(), 5);
	EXPECT_EQ(wire::kHeaderSize - 5, reader.InputWanted());
	reader.Feed(frame.data() + 5, wire::kHeaderSize);
	EXPECT_EQ(frame.size() - wire::kHeaderSize - 5, reader.InputWanted());

	// Filling exactly what was asked for gives the frame, and nothing of a
	// next one was asked for.
	size_t wanted = reader.InputWanted();
	memcpy(reader.ReserveInput(wanted), frame.data() + wire::kHeaderSize + 5,
		wanted);
	reader.CommitInput(wanted);
	BMessage received;
	wire::FrameHeader header;
	ASSERT_EQ(B_OK, reader.Next(&header, &received));
	EXPECT_EQ(3u, header.serial);
	EXPECT_EQ(0u, reader.BufferedSize());
	EXPECT_EQ(wire::kHeaderSize, reader.InputWanted());
}
