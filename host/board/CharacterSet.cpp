#include "CharacterSet.h"

#include <string.h>
#include <strings.h>


// CP437's upper half, 0x80 to 0xFF: the letters, line drawing and signs
// of the PC's screen, as every ANSI board's callers know them.
static const uint16 kCp437Upper[128] = {
	0x00c7, 0x00fc, 0x00e9, 0x00e2, 0x00e4, 0x00e0, 0x00e5, 0x00e7,
	0x00ea, 0x00eb, 0x00e8, 0x00ef, 0x00ee, 0x00ec, 0x00c4, 0x00c5,
	0x00c9, 0x00e6, 0x00c6, 0x00f4, 0x00f6, 0x00f2, 0x00fb, 0x00f9,
	0x00ff, 0x00d6, 0x00dc, 0x00a2, 0x00a3, 0x00a5, 0x20a7, 0x0192,
	0x00e1, 0x00ed, 0x00f3, 0x00fa, 0x00f1, 0x00d1, 0x00aa, 0x00ba,
	0x00bf, 0x2310, 0x00ac, 0x00bd, 0x00bc, 0x00a1, 0x00ab, 0x00bb,
	0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
	0x2555, 0x2563, 0x2551, 0x2557, 0x255d, 0x255c, 0x255b, 0x2510,
	0x2514, 0x2534, 0x252c, 0x251c, 0x2500, 0x253c, 0x255e, 0x255f,
	0x255a, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256c, 0x2567,
	0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256b,
	0x256a, 0x2518, 0x250c, 0x2588, 0x2584, 0x258c, 0x2590, 0x2580,
	0x03b1, 0x00df, 0x0393, 0x03c0, 0x03a3, 0x03c3, 0x00b5, 0x03c4,
	0x03a6, 0x0398, 0x03a9, 0x03b4, 0x221e, 0x03c6, 0x03b5, 0x2229,
	0x2261, 0x00b1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00f7, 0x2248,
	0x00b0, 0x2219, 0x00b7, 0x221a, 0x207f, 0x00b2, 0x25a0, 0x00a0,
};

static const uint32 kReplacement = 0xfffd;


bool
CharacterSet::IsControl(uint8 doorByte) const
{
	if (fEdge == TerminalEncoding::kEightBit && doorByte >= 0x80
		&& doorByte <= 0x9f)
		return true;
	uint32 codePoint = CodePoint(fDoor, doorByte);
	return codePoint < 0x20 || (codePoint >= 0x7f && codePoint <= 0x9f);
}


void
CharacterSet::AppendCharacter(uint8 doorByte, std::string& output) const
{
	if (fEdge != TerminalEncoding::kUtf8 || doorByte < 0x80) {
		output += (char)doorByte;
		return;
	}
	AppendUtf8(CodePoint(fDoor, doorByte), output);
}


void
CharacterSet::DecodeKeys(const char* bytes, size_t size,
	std::string& doorBytes)
{
	if (fEdge != TerminalEncoding::kUtf8) {
		doorBytes.append(bytes, size);
		return;
	}
	for (size_t i = 0; i < size; i++)
		_DecodeByte((uint8)bytes[i], doorBytes);
}


void
CharacterSet::_DecodeByte(uint8 byte, std::string& doorBytes)
{
	if (fPendingBytes > 0) {
		if ((byte & 0xc0) == 0x80) {
			fPending = (fPending << 6) | (byte & 0x3f);
			if (--fPendingBytes == 0) {
				int32 doorByte = DoorByte(fDoor, fPending);
				// An ASCII letter written long (an overlong form) is not
				// taken for the letter: no byte slips past the rules for
				// controls dressed up.
				if (doorByte >= 0x80)
					doorBytes += (char)doorByte;
			}
			return;
		}
		// A sequence cut short is dropped; this byte starts afresh.
		fPendingBytes = 0;
	}
	if (byte < 0x80) {
		doorBytes += (char)byte;
	} else if ((byte & 0xe0) == 0xc0) {
		fPending = byte & 0x1f;
		fPendingBytes = 1;
	} else if ((byte & 0xf0) == 0xe0) {
		fPending = byte & 0x0f;
		fPendingBytes = 2;
	} else if ((byte & 0xf8) == 0xf0) {
		fPending = byte & 0x07;
		fPendingBytes = 3;
	}
	// A stray continuation byte or an invalid lead byte is no key.
}


uint32
CharacterSet::CodePoint(DoorCharset door, uint8 doorByte)
{
	if (doorByte < 0x80 || door == DoorCharset::kLatin1)
		return doorByte;
	return kCp437Upper[doorByte - 0x80];
}


int32
CharacterSet::DoorByte(DoorCharset door, uint32 codePoint)
{
	if (codePoint < 0x80)
		return (int32)codePoint;
	if (codePoint == kReplacement)
		return -1;
	if (door == DoorCharset::kLatin1) {
		// Latin-1's C1 controls are no characters one can type.
		return codePoint >= 0xa0 && codePoint <= 0xff ? (int32)codePoint : -1;
	}
	for (int32 i = 0; i < 128; i++) {
		if (kCp437Upper[i] == codePoint)
			return 0x80 + i;
	}
	return -1;
}


void
CharacterSet::AppendUtf8(uint32 codePoint, std::string& output)
{
	if (codePoint < 0x80) {
		output += (char)codePoint;
	} else if (codePoint < 0x800) {
		output += (char)(0xc0 | (codePoint >> 6));
		output += (char)(0x80 | (codePoint & 0x3f));
	} else if (codePoint < 0x10000) {
		output += (char)(0xe0 | (codePoint >> 12));
		output += (char)(0x80 | ((codePoint >> 6) & 0x3f));
		output += (char)(0x80 | (codePoint & 0x3f));
	} else {
		output += (char)(0xf0 | (codePoint >> 18));
		output += (char)(0x80 | ((codePoint >> 12) & 0x3f));
		output += (char)(0x80 | ((codePoint >> 6) & 0x3f));
		output += (char)(0x80 | (codePoint & 0x3f));
	}
}


std::string
CharacterSet::Utf8Text(DoorCharset door, const char* text)
{
	CharacterSet set(door, TerminalEncoding::kUtf8);
	std::string output;
	for (const char* c = text; *c != '\0'; c++) {
		uint8 byte = (uint8)*c;
		if (byte < 0x20 || set.IsControl(byte))
			continue;
		set.AppendCharacter(byte, output);
	}
	return output;
}


bool
CharacterSet::ParseName(const char* name, DoorCharset* door)
{
	if (strcasecmp(name, "cp437") == 0) {
		*door = DoorCharset::kCp437;
		return true;
	}
	if (strcasecmp(name, "latin1") == 0) {
		*door = DoorCharset::kLatin1;
		return true;
	}
	return false;
}


const char*
CharacterSet::Name(DoorCharset door)
{
	return door == DoorCharset::kLatin1 ? "latin1" : "cp437";
}


static bool
StartsWith(const char* text, const char* prefix)
{
	return strncasecmp(text, prefix, strlen(prefix)) == 0;
}


static bool
EndsWith(const char* text, const char* suffix)
{
	size_t length = strlen(text);
	size_t suffixLength = strlen(suffix);
	return length >= suffixLength
		&& strcasecmp(text + length - suffixLength, suffix) == 0;
}


// A terminal type says little about the characters, but some names do:
// a BBS terminal (SyncTERM, "ansi", "pcansi") draws the board's 8-bit
// characters (CP437) as they are, and the
// emulators of today's desktops (the xterm family, the multiplexers, the
// Linux console) speak UTF-8 unless their user changed it. A name ending in
// "utf8" or "utf-8" says so itself.
TerminalEncoding
CharacterSet::EncodingForTerminalType(const char* type,
	TerminalEncoding unknown)
{
	if (type == NULL || type[0] == '\0')
		return unknown;
	if (EndsWith(type, "utf8") || EndsWith(type, "utf-8"))
		return TerminalEncoding::kUtf8;
	static const char* const kEightBitTypes[] = {
		"ansi", "pcansi", "scoansi", "syncterm", "cp437", "netrunner",
		"qodem", "cterm",
	};
	for (const char* prefix : kEightBitTypes) {
		if (StartsWith(type, prefix))
			return TerminalEncoding::kDoorCharset;
	}
	static const char* const kUtf8Types[] = {
		"xterm", "screen", "tmux", "rxvt-unicode", "alacritty", "kitty",
		"foot", "wezterm", "vte", "gnome", "konsole", "linux", "st-",
		"iterm", "putty", "contour",
	};
	for (const char* prefix : kUtf8Types) {
		if (StartsWith(type, prefix))
			return TerminalEncoding::kUtf8;
	}
	return unknown;
}
