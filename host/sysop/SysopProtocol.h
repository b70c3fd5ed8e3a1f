#pragma once

#include <SupportDefs.h>

#include <string>
#include <vector>

// The sysop socket: how the sysop's commands (zenbo who, kick, say, player
// and account) reach the running host. It is a socket of its own beside the
// terminal socket, in the same owner-only runtime folder and likewise only
// the host's user's, so that a bridge's frames never reach the sysop's
// actions and each side has one role. The frames are those of the terminal
// socket (BridgeProtocol.h): one type byte, a four-byte big-endian length,
// the payload. One request per connection:
//
//   command -> host
//     'q' request    protocol version (one byte), then words, each ended by
//                    a 0 byte: the request's name and its arguments
//   host -> command
//     'o' done       the text for the command's standard output
//     'f' failed     the command's exit status (one byte), then a message
//                    for its standard error
//     's' shown      a text the watched caller's terminal was shown, as the
//                    board sent it (before the terminal's line discipline)
//   command -> host, after a request that stays open
//     'k' keys       what the sysop typed in a chat, as a terminal sends it
//     'x' end        the sysop ends the spy, the chat or the wait
//
// The requests:
//
//   who                          callers on the board, as a table
//   kick NAME [REASON]           tell the caller (and why) and disconnect them
//   status [json]                the board's figures, as lines or JSON
//   spy NAME                     's' frames of the caller's screen until
//                                'x', the sysop's hang-up or the caller's
//                                leaving ('o' says which)
//   chat NAME                    the same while the sysop chats with the
//                                caller through 'k' frames
//   chat-wait                    a chat with the next caller who pages
//   say TEXT                     a notice for every caller's next prompt
//   delete-player NAME           the character's player file
//   set-password NAME HASH       a new password's Argon2id hash
//   lock NAME, unlock NAME       the account
//
// After its answer the host closes the connection. A spy, a chat and a
// wait stay open until their 'o' or 'f' frame.

enum {
	kFrameSysopRequest = 'q',
	kFrameSysopDone = 'o',
	kFrameSysopFailed = 'f',
	kFrameSysopShown = 's',
	kFrameSysopKeys = 'k',
	kFrameSysopEnd = 'x',
};

const uint8 kSysopProtocolVersion = 1;
// A request holds a few names and one line: nothing comes near this.
const size_t kMaxSysopRequest = 4096;
const size_t kMaxSysopWords = 4;

std::string EncodeSysopRequest(const std::vector<std::string>& words);
// B_BAD_DATA when the payload is no request of this version: too large, a
// word without its 0 byte, no word, or too many.
status_t DecodeSysopRequest(const std::string& payload,
	std::vector<std::string>* words);
