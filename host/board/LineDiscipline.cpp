#include "LineDiscipline.h"


static const char kBackspace = 0x08;
static const char kDelete = 0x7f;


bool
IsHarmlessTerminalByte(uint8 byte)
{
	switch (byte) {
		case 0x07:	// BEL
		case 0x08:	// BS
		case 0x09:	// TAB
		case 0x0a:	// LF
		case 0x0d:	// CR
			return true;
	}
	return byte >= 0x20 && byte < 0x7f;
}


void
LineDiscipline::TranslateKeys(const char* bytes, size_t size,
	std::string& keys)
{
	std::string doorBytes;
	fCharacters.DecodeKeys(bytes, size, doorBytes);
	for (size_t i = 0; i < doorBytes.size(); i++) {
		char key = doorBytes[i];
		bool afterReturn = fAfterReturn;
		fAfterReturn = key == '\r';
		if (afterReturn && (key == '\n' || key == '\0'))
			continue;
		if (key == '\0')
			continue;
		if (key == '\r')
			key = '\n';
		else if (key == kDelete)
			key = kBackspace;
		keys += key;
	}
}


void
LineDiscipline::TranslateText(const char* text, size_t size,
	std::string& output)
{
	for (size_t i = 0; i < size; i++) {
		uint8 byte = (uint8)text[i];
		if (byte >= 0x80) {
			if (!fCharacters.IsControl(byte)) {
				fCharacters.AppendCharacter(byte, output);
				fAtLineStart = false;
			}
			continue;
		}
		if (!IsHarmlessTerminalByte(byte))
			continue;
		if (byte == '\n')
			output += '\r';
		output += (char)byte;
		fAtLineStart = byte == '\n';
	}
}


void
LineDiscipline::EndLine(std::string& output)
{
	if (fAtLineStart)
		return;
	output += "\r\n";
	fAtLineStart = true;
}
