#pragma once

#include <SupportDefs.h>

// The messages between a door program and Zenbo, the board's host. A code
// is the 32-bit "what" of a message; its first character is the most
// significant byte. Field names are exact and case-sensitive.

#define ZENBO_SIGNATURE "application/x-vnd-Korrin-Zenbo"

enum {
	// Zenbo -> door: a user enters the door. "UserName": string.
	// Reply "NONE" with "theThreadName": string.
	kStartDoor = 'sdoo',
	// Session -> its own door application, within the door's process: the
	// user has left. "UserName": string. Reply "NONE" without fields; one
	// from another process is not answered.
	kUserQuit = 'uqui',
	// Session -> Zenbo: the next key. "UserName": string. Reply: any code,
	// "Char": int32 whose low 8 bits are the key; 0 or no "Char" means the
	// user is gone.
	kGetChar = 'gcha',
	// Session -> Zenbo: show a text. "String": string, "Enum": int32 (0),
	// "UserName": string. Reply B_QUIT_REQUESTED when the user is gone, any
	// other code when the text was taken.
	kSendString = 'sstr',
	// The door's replies.
	kNone = 'NONE',
};

#define kUserNameField		"UserName"
#define kThreadNameField	"theThreadName"
#define kCharField			"Char"
#define kStringField		"String"
#define kEnumField			"Enum"
