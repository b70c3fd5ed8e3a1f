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
	std::string typed;
	TranslateKeysAsTyped(bytes, size, typed);
	keys += DoorKeys(typed);
}


void
LineDiscipline::TranslateKeysAsTyped(const char* bytes, size_t size,
	std::string& keys)
{
	// No byte of a UTF-8 character is a CR, a NUL or a DEL, so the line's
	// endings can be settled before the characters are.
	for (size_t i = 0; i < size; i++) {
		char key = bytes[i];
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


std::string
LineDiscipline::DoorKeys(const std::string& typed)
{
	std::string doorKeys;
	fCharacters.DecodeKeys(typed.data(), typed.size(), doorKeys);
	return doorKeys;
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
