#pragma once

#include "CharacterSet.h"

#include <SupportDefs.h>

#include <string>

// How a caller's terminal and the door understand each other, whatever
// carries the bytes (a bridge's standard input and output, a telnet line).
// Terminals send Enter as CR LF, CR NUL, a lone CR or a lone LF: each is one
// line feed key for the door. Backspace and DEL are one backspace key. On
// the way out every line feed becomes CR LF, and no byte that a terminal
// acts on as a control reaches it: the door's texts can hold what players
// typed (a character's name on the Wall of Fame), so ESC and the other C0
// controls except BS, LF, CR, TAB and BEL, DEL and the C1 controls (the
// 8-bit CSI among them) are dropped. The door's 8-bit characters pass
// through the terminal's CharacterSet, and are judged as characters, not
// bytes: CP437's letters at 0x80 to 0x9F are letters, Latin-1's C1 controls
// there are controls, and a terminal that speaks UTF-8 gets whole
// characters, never half of one. One object per terminal: it remembers a
// CR that came at the end of the last bytes, and whether the terminal's
// cursor is at the start of a line.
class LineDiscipline {
public:
	// What the terminal speaks; until it is set, the door's bytes as they
	// are, in CP437.
			void				SetCharacterSet(const CharacterSet& set)
									{ fCharacters = set; }
			const CharacterSet&	Characters() const { return fCharacters; }

	// Keys typed, as the door receives them. A 0 byte never becomes a key,
	// since the door reads 0 as "gone".
			void				TranslateKeys(const char* bytes, size_t size,
									std::string& keys);
	// The same keys with their line endings settled but their characters
	// as typed: the board's own prompts take a password as its bytes, so
	// that it is the same on every way in, and only what goes on into the
	// door is turned into the door's characters, by DoorKeys.
			void				TranslateKeysAsTyped(const char* bytes,
									size_t size, std::string& keys);
			std::string			DoorKeys(const std::string& typed);
	// A text of the door (or of the host), as the terminal receives it.
			void				TranslateText(const char* text, size_t size,
									std::string& output);
			void				TranslateText(const std::string& text,
									std::string& output)
									{ TranslateText(text.data(), text.size(),
										output); }

	// Whether the last text shown ended a line (or nothing was shown).
			bool				AtLineStart() const { return fAtLineStart; }
	// CR LF when the cursor is within a line, so that what follows starts
	// on a line of its own; nothing otherwise.
			void				EndLine(std::string& output);

private:
			CharacterSet		fCharacters;
			bool				fAfterReturn = false;
			bool				fAtLineStart = true;
};

// Whether a byte below 0x80 may reach a terminal as it is.
bool IsHarmlessTerminalByte(uint8 byte);
