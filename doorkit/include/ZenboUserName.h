#pragma once

#include <String.h>

#include <stddef.h>

// The one rule for a user's name on the board. The host judges by it the
// names that callers register and that bridges bring, the door the names its
// sessions run under, and the game the names that characters take: the door
// names a player file and a session thread after the user, and every caller
// sees the names on the Wall of Fame, so a name is short, printable ASCII and
// one plain file name. Names are compared without regard to case by the
// host's accounts; this rule only says whether a name can be one at all.

const int32 kMaxUserNameLength = 30;

enum class UserNameProblem {
	kNone,
	kEmpty,
	kTooLong,			// more than kMaxUserNameLength bytes
	kNotPrintable,		// a byte outside printable ASCII (0x20 to 0x7E)
	kSlash,				// a "/", which would leave the users folder
	kBadStart,			// a leading space or dot ("." and ".." among them)
};

B_EXPORT UserNameProblem JudgeUserName(const char* name, size_t length);
B_EXPORT UserNameProblem JudgeUserName(const BString& name);
B_EXPORT bool IsValidUserName(const BString& name);

// Why a name was refused, to follow "the name": "is longer than 30
// characters". Empty for UserNameProblem::kNone.
B_EXPORT const char* DescribeUserNameProblem(UserNameProblem problem);

// A name as the host's messages and logs show it: every byte outside
// printable ASCII, and the backslash, written as \xHH, so a hostile name
// can neither drive the sysop's terminal nor forge a log line.
B_EXPORT BString EscapedUserName(const char* name, size_t length);
B_EXPORT BString EscapedUserName(const BString& name);

// A name as a screen shows it: every byte that a terminal acts on as a
// control (C0, DEL and the C1 range 0x80 to 0x9F) replaced by "?". For names
// stored before the rule held.
B_EXPORT BString PrintableUserName(const BString& name);
