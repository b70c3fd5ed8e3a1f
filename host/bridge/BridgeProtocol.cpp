#include "BridgeProtocol.h"


void
AppendFrame(std::string& buffer, uint8 type, const void* payload, size_t size)
{
	char header[kFrameHeaderSize] = {
		(char)type,
		(char)((size >> 24) & 0xff),
		(char)((size >> 16) & 0xff),
		(char)((size >> 8) & 0xff),
		(char)(size & 0xff),
	};
	buffer.append(header, sizeof(header));
	buffer.append((const char*)payload, size);
}


void
AppendFrame(std::string& buffer, uint8 type, const std::string& payload)
{
	AppendFrame(buffer, type, payload.data(), payload.size());
}


void
FrameReader::Feed(const char* bytes, size_t size)
{
	if (fBroken)
		return;
	// Drop what was consumed before growing, so a long session does not
	// keep every byte it ever read.
	if (fStart > 0 && fStart == fBuffer.size()) {
		fBuffer.clear();
		fStart = 0;
	} else if (fStart > 64 * 1024) {
		fBuffer.erase(0, fStart);
		fStart = 0;
	}
	fBuffer.append(bytes, size);
}


status_t
FrameReader::Next(uint8* type, std::string* payload)
{
	if (fBroken)
		return B_BAD_DATA;
	size_t available = fBuffer.size() - fStart;
	if (available < kFrameHeaderSize)
		return B_WOULD_BLOCK;

	const uint8* header = (const uint8*)fBuffer.data() + fStart;
	uint32 size = ((uint32)header[1] << 24) | ((uint32)header[2] << 16)
		| ((uint32)header[3] << 8) | (uint32)header[4];
	if (size > kMaxFramePayload) {
		fBroken = true;
		return B_BAD_DATA;
	}
	if (available < kFrameHeaderSize + size)
		return B_WOULD_BLOCK;

	*type = header[0];
	payload->assign(fBuffer, fStart + kFrameHeaderSize, size);
	fStart += kFrameHeaderSize + size;
	return B_OK;
}
