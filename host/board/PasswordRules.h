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


// The two questions of a new password at a terminal's prompt, at
// registration and at a change alike: the password, then the same again.
// `first` keeps the first answer between them, and is empty while the
// first question is asked. True when the answers agree: the new password
// is then moved to *chosen. Otherwise *say is what to ask next.
inline bool
NewPasswordLineTyped(const std::string& line, bool lineCarriesEightBits,
	std::string& first, std::string* say, std::string* chosen)
{
	if (first.empty()) {
		const char* problem = line.size() < kMinPasswordLength
			? "A password has at least 8 characters."
			: PasswordProblem(line, lineCarriesEightBits);
		if (problem != NULL) {
			*say = std::string(problem) + "\nChoose a password: ";
			return false;
		}
		first = line;
		*say = "The same password again: ";
		return false;
	}
	if (line != first) {
		first.clear();
		*say = "The passwords differ.\nChoose a password: ";
		return false;
	}
	chosen->swap(first);
	first.clear();
	return true;
}
