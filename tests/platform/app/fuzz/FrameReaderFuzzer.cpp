// Feeds arbitrary bytes to the frame reader that every looper runs on its
// connections, cut into pieces as a socket might deliver them, and to the
// message's own Unflatten. Nothing may crash, hang or leak; every frame that
// is accepted must flatten back to the very bytes it came from.
#include "Wire.h"

#include <Message.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

// The kit's private parts, which this test looks at.
using namespace BPrivate;


static void
CheckRoundTrip(const BMessage& message, const char* payload, size_t size)
{
	std::vector<char> flat(message.FlattenedSize());
	if (flat.size() != size || message.Flatten(flat.data(), flat.size()) != B_OK
		|| memcmp(flat.data(), payload, size) != 0)
		abort();
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const char* bytes = reinterpret_cast<const char*>(data);

	BMessage direct;
	if (direct.Unflatten(bytes, size) == B_OK)
		CheckRoundTrip(direct, bytes, size);

	// The first byte chooses how the rest arrives: in pieces of 1 to 256.
	if (size == 0)
		return 0;
	size_t piece = size_t(data[0]) + 1;
	bytes++;
	size--;

	wire::FrameReader reader;
	size_t offset = 0;
	while (offset < size) {
		size_t length = size - offset < piece ? size - offset : piece;
		reader.Feed(bytes + offset, length);
		size_t frameStart = offset + length - reader.BufferedSize();
		offset += length;
		while (true) {
			BMessage message;
			wire::FrameHeader header;
			status_t status = reader.Next(&header, &message);
			if (status != B_OK)
				break;
			CheckRoundTrip(message, bytes + frameStart + wire::kHeaderSize,
				header.payloadSize);
			frameStart += wire::kHeaderSize + header.payloadSize;
		}
		if (reader.IsBroken())
			break;
	}
	return 0;
}
