#include "ProxyHeader.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>

#include <string>
#include <vector>


static const char kTextStart[] = "PROXY ";
static const size_t kTextStartLength = sizeof(kTextStart) - 1;
// The text form's longest line, its CR LF included.
static const size_t kMaxTextLength = 107;
static const uint8 kBinarySignature[12] = { 0x0d, 0x0a, 0x0d, 0x0a, 0x00,
	0x0d, 0x0a, 0x51, 0x55, 0x49, 0x54, 0x0a };
static const size_t kBinaryFixedLength = 16;
static const uint8 kBinaryVersion = 0x20;
static const uint8 kCommandLocal = 0x00;
static const uint8 kCommandProxy = 0x01;
static const uint8 kFamilyUnspecified = 0x00;
static const uint8 kTcpOverIPv4 = 0x11;
static const uint8 kTcpOverIPv6 = 0x21;


static bool
StartsLike(const uint8* data, size_t size, const uint8* start, size_t length)
{
	return memcmp(data, start, size < length ? size : length) == 0;
}


static BString
AddressText(int family, const void* address)
{
	char text[INET6_ADDRSTRLEN] = "";
	if (family == AF_INET6) {
		const in6_addr* v6 = (const in6_addr*)address;
		if (IN6_IS_ADDR_V4MAPPED(v6))
			return AddressText(AF_INET, &v6->s6_addr[12]);
	}
	if (inet_ntop(family, address, text, sizeof(text)) == NULL)
		return BString();
	return BString(text);
}


// A port as the text form writes it: 1 to 5 digits, no sign, at most 65535.
static bool
IsPort(const std::string& word)
{
	if (word.empty() || word.size() > 5
		|| word.find_first_not_of("0123456789") != std::string::npos) {
		return false;
	}
	return std::stoul(word) <= 65535;
}


ProxyHeader::Verdict
ProxyHeader::Parse(const uint8* data, size_t size)
{
	fLength = 0;
	fAddress = "";
	fProblem = "";
	if (size == 0)
		return Verdict::kNeedMore;
	if (data[0] == kBinarySignature[0]) {
		if (!StartsLike(data, size, kBinarySignature,
				sizeof(kBinarySignature))) {
			return _Invalid("no proxy header");
		}
		return _ParseBinary(data, size);
	}
	if (!StartsLike(data, size, (const uint8*)kTextStart, kTextStartLength))
		return _Invalid("no proxy header");
	return _ParseText(data, size);
}


ProxyHeader::Verdict
ProxyHeader::_ParseText(const uint8* data, size_t size)
{
	const uint8* end = NULL;
	for (size_t i = 0; i < size && i < kMaxTextLength; i++) {
		if (data[i] == '\n') {
			end = data + i;
			break;
		}
	}
	if (end == NULL) {
		return size >= kMaxTextLength ? _Invalid("the header's line is too"
			" long") : Verdict::kNeedMore;
	}
	if (end == data || end[-1] != '\r')
		return _Invalid("the header's line does not end in CR LF");
	std::string line((const char*)data, (size_t)(end - 1 - data));
	for (char c : line) {
		if ((uint8)c < 0x20 || (uint8)c > 0x7e)
			return _Invalid("the header holds a byte that is no text");
	}
	std::vector<std::string> words;
	size_t at = 0;
	while (true) {
		size_t space = line.find(' ', at);
		words.push_back(line.substr(at, space == std::string::npos
			? std::string::npos : space - at));
		if (space == std::string::npos)
			break;
		at = space + 1;
	}
	fLength = (size_t)(end + 1 - data);
	if (words.size() >= 2 && words[1] == "UNKNOWN")
		return Verdict::kComplete;
	if (words.size() != 6 || (words[1] != "TCP4" && words[1] != "TCP6"))
		return _Invalid("the header is not PROXY TCP4 or TCP6 with four"
			" fields");
	int family = words[1] == "TCP4" ? AF_INET : AF_INET6;
	uint8 source[16];
	uint8 destination[16];
	if (inet_pton(family, words[2].c_str(), source) != 1
		|| inet_pton(family, words[3].c_str(), destination) != 1) {
		return _Invalid("an address of the header is not one of its family");
	}
	if (!IsPort(words[4]) || !IsPort(words[5]))
		return _Invalid("a port of the header is not a port");
	fAddress = AddressText(family, source);
	return fAddress.Length() > 0 ? Verdict::kComplete
		: _Invalid("the header's address cannot be written");
}


ProxyHeader::Verdict
ProxyHeader::_ParseBinary(const uint8* data, size_t size)
{
	if (size < kBinaryFixedLength)
		return Verdict::kNeedMore;
	uint8 version = data[12] & 0xf0;
	uint8 command = data[12] & 0x0f;
	uint8 family = data[13];
	size_t length = ((size_t)data[14] << 8) | data[15];
	if (version != kBinaryVersion)
		return _Invalid("the binary header is not of version 2");
	if (command != kCommandLocal && command != kCommandProxy)
		return _Invalid("the binary header's command is unknown");
	if (kBinaryFixedLength + length > kMaxLength)
		return _Invalid("the binary header is too long");
	if (size < kBinaryFixedLength + length)
		return Verdict::kNeedMore;
	fLength = kBinaryFixedLength + length;
	const uint8* addresses = data + kBinaryFixedLength;
	// The proxy's own check of the line names nobody; the connection's
	// address stands, as for an unspecified family.
	if (command == kCommandLocal || family == kFamilyUnspecified)
		return Verdict::kComplete;
	if (family == kTcpOverIPv4 && length >= 12)
		fAddress = AddressText(AF_INET, addresses);
	else if (family == kTcpOverIPv6 && length >= 36)
		fAddress = AddressText(AF_INET6, addresses);
	else
		return _Invalid("the binary header's family is not TCP over IP");
	return fAddress.Length() > 0 ? Verdict::kComplete
		: _Invalid("the header's address cannot be written");
}


ProxyHeader::Verdict
ProxyHeader::_Invalid(const char* problem)
{
	fLength = 0;
	fAddress = "";
	fProblem = problem;
	return Verdict::kInvalid;
}
