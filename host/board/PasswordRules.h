#pragma once

#include <stddef.h>

#include <string>

// The one rule for a board password, at registration and at a change in the
// front room alike.
const size_t kMinPasswordLength = 8;
const size_t kMaxPasswordLength = 128;

// Why a password cannot be kept as typed, or NULL: a password is the bytes
// typed, so the same one works on every way in, and a line that may have
// altered bytes beyond ASCII (a telnet client that declined binary) must
// not store a password it would not give back the same.
inline const char*
PasswordProblem(const std::string& password, bool lineCarriesEightBits)
{
	bool beyondAscii = false;
	for (char c : password) {
		if ((unsigned char)c < 0x20 || (unsigned char)c == 0x7f)
			return "A password cannot hold control keys (such as Tab or Esc).";
		beyondAscii |= (unsigned char)c >= 0x80;
	}
	if (beyondAscii && !lineCarriesEightBits) {
		return "This line cannot carry characters beyond plain ASCII"
			" unchanged; choose a password without them.";
	}
	return NULL;
}
