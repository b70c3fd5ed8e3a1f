#pragma once

#include <SupportDefs.h>

#include <string>
#include <vector>

class BMessage;

namespace BPrivate {

// The flat form of messages between applications, as docs/wire-format.md
// describes it. Nothing here touches a socket: the reader takes bytes in and
// gives whole, validated frames out, so that the same code serves the
// looper's connections, the messengers and the fuzzer.
namespace wire {

enum class FrameKind : uint8 {
	kRequest = 1,
	kReply = 2,
};

enum : uint8 {
	kFlagWantsReply = 0x01,
};

constexpr uint32 kMagic = 0x474d5244;		// "DRMG" in byte order
constexpr uint16 kVersion = 1;
constexpr size_t kHeaderSize = 16;
constexpr uint32 kMaxPayloadSize = 1024 * 1024;
constexpr size_t kMaxNameLength = 255;

struct FrameHeader {
	FrameKind			kind = FrameKind::kRequest;
	uint8				flags = 0;
	uint32				serial = 0;
	uint32				payloadSize = 0;
};

// Appends a whole frame (header and flattened message) to the buffer.
// Exported for the kit's own tests, as are the few others marked so.
B_EXPORT status_t AppendFrame(std::string& buffer, FrameKind kind, uint8 flags,
	uint32 serial, const BMessage& message);

// Checks a header's bytes; B_BAD_DATA for a wrong magic, version, kind,
// unknown flags or an oversized payload.
B_EXPORT status_t ParseHeader(const char* bytes, FrameHeader* header);

// Collects the bytes of one connection and cuts them into frames. Once a
// frame was malformed the reader stays broken: the connection is to be
// closed, since nothing after a bad frame can be trusted to be aligned.
class B_EXPORT FrameReader {
public:
			// Copies the bytes into the input buffer.
			void				Feed(const char* bytes, size_t size);
			// Space for the next read straight into the buffer; Commit says
			// how much of it was filled.
			char*				ReserveInput(size_t size);
			void				CommitInput(size_t size);
			// How many more bytes the frame that has begun needs (at least
			// its header's), so that a reader that waits for one reply asks
			// for no more room than it will fill.
			size_t				InputWanted() const;

			// B_OK with a frame, B_WOULD_BLOCK when more bytes are needed,
			// B_BAD_DATA when the input is malformed.
			status_t			Next(FrameHeader* header, BMessage* message);
			bool				IsBroken() const { return fBroken; }
			size_t				BufferedSize() const
									{ return fEnd - fStart; }

private:
			// Room kept while nothing is buffered; a reader that once held
			// a large frame gives the rest back, since a looper may keep
			// thousands of readers that mostly wait.
	static	const size_t		kKeptCapacity = 4096;

			std::vector<char>	fBuffer;
			size_t				fStart = 0;
			size_t				fEnd = 0;
			bool				fBroken = false;
};

}	// namespace wire

}	// namespace BPrivate
