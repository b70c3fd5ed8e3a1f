// Feeds arbitrary payloads to the decoder of the sysop socket's requests,
// which the host runs on whatever a sysop's command sends. Nothing may
// crash, hang or leak; a request it accepts must encode back to the very
// bytes it came from, and one it refuses must break one of the rules.
#include "SysopProtocol.h"

#include <stdint.h>
#include <stdlib.h>
#include <string>
#include <vector>


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string payload(reinterpret_cast<const char*>(data), size);
	std::vector<std::string> words;
	status_t status = DecodeSysopRequest(payload, &words);
	if (status == B_OK) {
		if (words.empty() || words.size() > kMaxSysopWords
			|| EncodeSysopRequest(words) != payload) {
			abort();
		}
		return 0;
	}
	if (!words.empty())
		abort();
	// Refused: too large, another version, no word, too many words or one
	// without its 0 byte.
	bool wellFormed = !payload.empty() && payload.size() <= kMaxSysopRequest
		&& (uint8)payload[0] == kSysopProtocolVersion && payload.size() > 1
		&& payload.back() == '\0';
	if (wellFormed) {
		size_t count = 0;
		for (size_t i = 1; i < payload.size(); i++)
			count += payload[i] == '\0';
		if (count <= kMaxSysopWords)
			abort();
	}
	return 0;
}
