#include "SysopProtocol.h"

#include <Errors.h>


std::string
EncodeSysopRequest(const std::vector<std::string>& words)
{
	std::string payload(1, (char)kSysopProtocolVersion);
	for (const std::string& word : words) {
		payload += word;
		payload += '\0';
	}
	return payload;
}


status_t
DecodeSysopRequest(const std::string& payload, std::vector<std::string>* words)
{
	words->clear();
	if (payload.empty() || payload.size() > kMaxSysopRequest
		|| (uint8)payload[0] != kSysopProtocolVersion) {
		return B_BAD_DATA;
	}
	size_t start = 1;
	while (start < payload.size()) {
		size_t end = payload.find('\0', start);
		if (end == std::string::npos || words->size() >= kMaxSysopWords) {
			words->clear();
			return B_BAD_DATA;
		}
		words->push_back(payload.substr(start, end - start));
		start = end + 1;
	}
	return words->empty() ? B_BAD_DATA : B_OK;
}
