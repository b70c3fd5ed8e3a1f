#pragma once

#include <SupportDefs.h>

#include <string>

// The one 8-bit character set of the door's texts and keys: a whole board
// speaks one, whatever its callers' terminals speak (--charset).
enum class DoorCharset {
	kCp437,
	kLatin1,
};

// What a caller's terminal speaks at the board's edge.
enum class TerminalEncoding {
	// Some 8-bit set nobody named: the door's bytes as they are, save 0x80
	// to 0x9F, which a VT220 or a Latin-1 xterm takes as C1 controls.
	kEightBit,
	// The door's own set, as a BBS terminal draws CP437: every character's
	// byte as it is, 0x80 to 0x9F the letters they are.
	kDoorCharset,
	// UTF-8 (the web terminal, and nearly every SSH client and terminal of
	// today).
	kUtf8,
};

// How one caller's terminal and the door's 8-bit character set meet: the
// door's characters turned into what the terminal shows, and the keys the
// terminal sends turned into the door's one-byte keys. Every way in uses it
// through its LineDiscipline, so a character means the same on every line.
// A UTF-8 character typed becomes the one door byte that stands for it, or
// nothing when the door's set has none: the door reads a key per byte, and
// two keys for one letter would be two wrong answers. A sequence split
// across two reads is held until its end arrives (never more than one
// character's bytes). One object per terminal, on the looper's thread.
class CharacterSet {
public:
								CharacterSet(
									DoorCharset door = DoorCharset::kCp437,
									TerminalEncoding edge
										= TerminalEncoding::kEightBit)
									: fDoor(door), fEdge(edge) {}

			DoorCharset			Door() const { return fDoor; }
			TerminalEncoding	Edge() const { return fEdge; }

	// Whether the door's byte must not reach the terminal: judged as the
	// character it stands for, so Latin-1's C1 controls (0x80 to 0x9F, the
	// 8-bit CSI among them) never reach one, while CP437's letters there
	// reach a terminal that draws them as letters, never one that may take
	// them for controls. Controls below 0x80 are the LineDiscipline's.
	[[nodiscard]] bool			IsControl(uint8 doorByte) const;
	// The door's byte as the terminal receives it.
			void				AppendCharacter(uint8 doorByte,
									std::string& output) const;
	// Keys typed, in the door's bytes; a partial UTF-8 sequence at the end
	// waits for the next keys.
			void				DecodeKeys(const char* bytes, size_t size,
									std::string& doorBytes);

	// The character a door byte stands for, as a Unicode code point.
	static	uint32				CodePoint(DoorCharset door, uint8 doorByte);
	// The door byte that stands for a code point, or -1 for none.
	static	int32				DoorByte(DoorCharset door, uint32 codePoint);
	static	void				AppendUtf8(uint32 codePoint,
									std::string& output);
	// A door's text in UTF-8, its controls left out (for a web page).
	static	std::string			Utf8Text(DoorCharset door,
									const char* text);

	// "cp437" or "latin1", as the command line and the config name them.
	static	bool				ParseName(const char* name,
									DoorCharset* door);
	static	const char*			Name(DoorCharset door);
	// What a terminal of this type speaks, as far as its name tells; the
	// way in's own guess when the name tells nothing.
	static	TerminalEncoding	EncodingForTerminalType(const char* type,
									TerminalEncoding unknown);

private:
			void				_DecodeByte(uint8 byte,
									std::string& doorBytes);

			DoorCharset			fDoor;
			TerminalEncoding	fEdge;
			// The UTF-8 character being typed: its code point so far and
			// the continuation bytes it still needs.
			uint32				fPending = 0;
			int32				fPendingBytes = 0;
};
