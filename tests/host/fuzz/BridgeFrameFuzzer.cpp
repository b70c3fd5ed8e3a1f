// Feeds arbitrary bytes to the frame reader of the terminal socket, which
// the host runs on every bridge's connection and every bridge on its host's,
// cut into pieces as a socket might deliver them. Nothing may crash, hang
// or leak; every frame it gives must be the very bytes it came from.
#include "BridgeProtocol.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	// The first byte chooses how the rest arrives: in pieces of 1 to 256.
	if (size == 0)
		return 0;
	size_t piece = size_t(data[0]) + 1;
	const char* bytes = reinterpret_cast<const char*>(data + 1);
	size--;

	FrameReader reader;
	size_t offset = 0;
	size_t consumed = 0;
	bool broken = false;
	while (offset < size && !broken) {
		size_t length = size - offset < piece ? size - offset : piece;
		reader.Feed(bytes + offset, length);
		offset += length;
		while (true) {
			uint8 type;
			std::string payload;
			status_t status = reader.Next(&type, &payload);
			if (status == B_BAD_DATA)
				broken = true;
			if (status != B_OK)
				break;
			std::string frame;
			AppendFrame(frame, type, payload);
			if (consumed + frame.size() > offset
				|| memcmp(frame.data(), bytes + consumed, frame.size()) != 0)
				abort();
			consumed += frame.size();
		}
	}
	// A reader refuses only a frame that claims more than the limit.
	if (broken) {
		const uint8* header = reinterpret_cast<const uint8*>(bytes + consumed);
		uint32 length = (uint32(header[1]) << 24) | (uint32(header[2]) << 16)
			| (uint32(header[3]) << 8) | uint32(header[4]);
		if (length <= kMaxFramePayload)
			abort();
	}
	return 0;
}
