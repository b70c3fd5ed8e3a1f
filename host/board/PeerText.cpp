#include "PeerText.h"

#include <SupportDefs.h>

#include <stdio.h>


// The length of the well-formed UTF-8 sequence of a printable character
// (U+00A0 and above, no surrogate, shortest form) at the start of data, or
// 0 when there is none: a C1 control (U+0080..U+009F) encoded as UTF-8 is
// as much a control to a UTF-8 terminal as its byte is to an 8-bit one.
static size_t
PrintableSequence(const unsigned char* data, size_t size)
{
	unsigned char lead = data[0];
	size_t length;
	uint32 codePoint;
	if (lead >= 0xc2 && lead <= 0xdf) {
		length = 2;
		codePoint = lead & 0x1f;
	} else if (lead >= 0xe0 && lead <= 0xef) {
		length = 3;
		codePoint = lead & 0x0f;
	} else if (lead >= 0xf0 && lead <= 0xf4) {
		length = 4;
		codePoint = lead & 0x07;
	} else
		return 0;
	if (size < length)
		return 0;
	for (size_t i = 1; i < length; i++) {
		if ((data[i] & 0xc0) != 0x80)
			return 0;
		codePoint = (codePoint << 6) | (data[i] & 0x3f);
	}
	static const uint32 kShortest[] = { 0, 0, 0x80, 0x800, 0x10000 };
	if (codePoint < kShortest[length] || codePoint < 0xa0
		|| (codePoint >= 0xd800 && codePoint <= 0xdfff)
		|| codePoint > 0x10ffff) {
		return 0;
	}
	return length;
}


std::string
PeerText::Escaped(const char* data, size_t size)
{
	const unsigned char* bytes = (const unsigned char*)data;
	std::string escaped;
	escaped.reserve(size);
	for (size_t i = 0; i < size;) {
		unsigned char byte = bytes[i];
		if (byte >= 0x20 && byte < 0x7f) {
			escaped += (char)byte;
			i++;
			continue;
		}
		size_t sequence = byte >= 0x80
			? PrintableSequence(bytes + i, size - i) : 0;
		if (sequence > 0) {
			escaped.append(data + i, sequence);
			i += sequence;
			continue;
		}
		char hex[5];
		snprintf(hex, sizeof(hex), "\\x%02x", (unsigned)byte);
		escaped += hex;
		i++;
	}
	return escaped;
}


BString
PeerText::Escaped(const BString& text)
{
	return BString(Escaped(text.String(), (size_t)text.Length()).c_str());
}


std::string
PeerText::TerminalType(const char* data, size_t size)
{
	std::string type;
	for (size_t i = 0; i < size && type.size() < kMaxTerminalType; i++) {
		if (data[i] > 0x20 && data[i] < 0x7f)
			type += data[i];
	}
	return type;
}
