#include "Wire.h"

#include <Message.h>

#include <string.h>

namespace BPrivate {


namespace wire {


static void
PutUint32(char* out, uint32 value)
{
	for (int i = 0; i < 4; i++)
		out[i] = char((value >> (8 * i)) & 0xff);
}


static uint32
GetUint32(const char* in)
{
	uint32 value = 0;
	for (int i = 0; i < 4; i++)
		value |= uint32(uint8(in[i])) << (8 * i);
	return value;
}


status_t
AppendFrame(std::string& buffer, FrameKind kind, uint8 flags, uint32 serial,
	const BMessage& message)
{
	ssize_t payloadSize = message.FlattenedSize();
	if (payloadSize < 0 || payloadSize > ssize_t(kMaxPayloadSize))
		return B_BAD_VALUE;

	size_t start = buffer.size();
	buffer.resize(start + kHeaderSize + payloadSize);
	char* header = buffer.data() + start;
	PutUint32(header, kMagic);
	header[4] = char(kVersion & 0xff);
	header[5] = char(kVersion >> 8);
	header[6] = char(kind);
	header[7] = char(flags);
	PutUint32(header + 8, serial);
	PutUint32(header + 12, uint32(payloadSize));
	status_t status = message.Flatten(header + kHeaderSize, payloadSize);
	if (status != B_OK)
		buffer.resize(start);
	return status;
}


status_t
ParseHeader(const char* bytes, FrameHeader* header)
{
	if (GetUint32(bytes) != kMagic)
		return B_BAD_DATA;
	uint16 version = uint16(uint8(bytes[4]) | (uint8(bytes[5]) << 8));
	if (version != kVersion)
		return B_BAD_DATA;
	uint8 kind = uint8(bytes[6]);
	if (kind != uint8(FrameKind::kRequest) && kind != uint8(FrameKind::kReply))
		return B_BAD_DATA;
	uint8 flags = uint8(bytes[7]);
	if ((flags & ~kFlagWantsReply) != 0)
		return B_BAD_DATA;
	uint32 payloadSize = GetUint32(bytes + 12);
	if (payloadSize > kMaxPayloadSize)
		return B_BAD_DATA;

	header->kind = FrameKind(kind);
	header->flags = flags;
	header->serial = GetUint32(bytes + 8);
	header->payloadSize = payloadSize;
	return B_OK;
}


void
FrameReader::Feed(const char* bytes, size_t size)
{
	memcpy(ReserveInput(size), bytes, size);
	CommitInput(size);
}


char*
FrameReader::ReserveInput(size_t size)
{
	if (fStart == fEnd) {
		fStart = fEnd = 0;
		if (fBuffer.size() > kKeptCapacity && size <= kKeptCapacity)
			std::vector<char>().swap(fBuffer);
	} else if (fStart > 0 && fEnd + size > fBuffer.size()) {
		memmove(fBuffer.data(), fBuffer.data() + fStart, fEnd - fStart);
		fEnd -= fStart;
		fStart = 0;
	}
	if (fEnd + size > fBuffer.size())
		fBuffer.resize(fEnd + size);
	return fBuffer.data() + fEnd;
}


void
FrameReader::CommitInput(size_t size)
{
	fEnd += size;
}


size_t
FrameReader::InputWanted() const
{
	size_t available = fEnd - fStart;
	if (available < kHeaderSize)
		return kHeaderSize - available;
	FrameHeader header;
	if (ParseHeader(fBuffer.data() + fStart, &header) != B_OK)
		return 1;
	size_t frame = kHeaderSize + header.payloadSize;
	return frame > available ? frame - available : 1;
}


status_t
FrameReader::Next(FrameHeader* header, BMessage* message)
{
	if (fBroken)
		return B_BAD_DATA;
	size_t available = fEnd - fStart;
	if (available < kHeaderSize)
		return B_WOULD_BLOCK;

	const char* bytes = fBuffer.data() + fStart;
	FrameHeader parsed;
	if (ParseHeader(bytes, &parsed) != B_OK) {
		fBroken = true;
		return B_BAD_DATA;
	}
	if (available < kHeaderSize + parsed.payloadSize)
		return B_WOULD_BLOCK;

	if (message->Unflatten(bytes + kHeaderSize, parsed.payloadSize) != B_OK) {
		fBroken = true;
		return B_BAD_DATA;
	}
	fStart += kHeaderSize + parsed.payloadSize;
	*header = parsed;
	return B_OK;
}


}	// namespace wire


}	// namespace BPrivate
