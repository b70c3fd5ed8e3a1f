#pragma once

#include <SupportDefs.h>

#include <string>
#include <vector>

// The terminal socket: how a bridge (one terminal of stdio or local play)
// and the one host of the boot volume talk. The bridge owns the terminal,
// the host owns the door protocol; between them travel frames of one type
// byte, a payload length as four bytes (most significant first) and the
// payload.
//
//   bridge -> host
//     'h' hello          protocol version (one byte), then the user name
//                        and, where the bridge knows it, a 0 byte and where
//                        the terminal is ("node 3", "/dev/pts/4"), which
//                        the sysop sees in zenbo who; then, when the
//                        caller's board limits their time, a 0 byte and
//                        the seconds left in decimal digits
//     'k' keys           the bytes the user typed, in order
//     'e' end of input   the user's input has ended (stdin reached its end);
//                        the keys sent before it are still delivered
//   host -> bridge
//     'w' welcome        the host took the terminal and enters the door
//     't' text           a text the door showed, byte for byte
//     'n' notice         a message of the host itself for the user
//     'l' log            the host's log line about this user (entry, exit);
//                        a stdio bridge writes it to standard error
//     'a' announcement   a notice of the sysop while the door waits for a
//                        key: shown on a line of its own, then the line the
//                        cursor stood on again; a raw stdio bridge writes
//                        it to standard error only
//     'x' goodbye        the session is over; one byte, the bridge's exit
//                        status; the host closes the socket after it
//
// A bridge that closes its socket has hung up: the user is gone at once.
// A host that closes the socket before its welcome was quitting; the bridge
// tries again with a new host.

enum {
	kFrameHello = 'h',
	kFrameKeys = 'k',
	kFrameEndOfInput = 'e',
	kFrameWelcome = 'w',
	kFrameText = 't',
	kFrameNotice = 'n',
	kFrameLog = 'l',
	kFrameAnnouncement = 'a',
	kFrameGoodbye = 'x',
};

const uint8 kBridgeProtocolVersion = 1;
const size_t kFrameHeaderSize = 5;
// A longer place in a hello is passed over.
const size_t kMaxBridgePlace = 40;
// A longer time in a hello is no time (a day has 5 digits of seconds).
const size_t kMaxBridgeTimeDigits = 9;
// Larger frames are refused: nothing either side sends comes near it.
const uint32 kMaxFramePayload = 1024 * 1024;

// Exit statuses that a goodbye carries.
enum {
	kExitSessionEnded = 0,
	kExitFailure = 1,
	kExitDoorClosed = 3,
};

void AppendFrame(std::string& buffer, uint8 type, const void* payload,
	size_t size);
void AppendFrame(std::string& buffer, uint8 type, const std::string& payload);

// Cuts the bytes of one socket into frames. Once the input was malformed the
// reader stays broken, since nothing after a bad frame is aligned.
class FrameReader {
public:
			void				Feed(const char* bytes, size_t size);
			// B_OK with a frame, B_WOULD_BLOCK when more bytes are needed,
			// B_BAD_DATA when the input is malformed.
			status_t			Next(uint8* type, std::string* payload);

private:
			std::string			fBuffer;
			size_t				fStart = 0;
			bool				fBroken = false;
};
