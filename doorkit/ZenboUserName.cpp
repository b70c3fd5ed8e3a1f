#include "ZenboUserName.h"


UserNameProblem
JudgeUserName(const char* name, size_t length)
{
	if (length == 0)
		return UserNameProblem::kEmpty;
	if (length > (size_t)kMaxUserNameLength)
		return UserNameProblem::kTooLong;
	for (size_t i = 0; i < length; i++) {
		unsigned char c = (unsigned char)name[i];
		if (c < 0x20 || c > 0x7e)
			return UserNameProblem::kNotPrintable;
	}
	for (size_t i = 0; i < length; i++) {
		if (name[i] == '/')
			return UserNameProblem::kSlash;
	}
	if (name[0] == ' ' || name[0] == '.')
		return UserNameProblem::kBadStart;
	return UserNameProblem::kNone;
}


UserNameProblem
JudgeUserName(const BString& name)
{
	return JudgeUserName(name.String(), (size_t)name.Length());
}


bool
IsValidUserName(const BString& name)
{
	return JudgeUserName(name) == UserNameProblem::kNone;
}


const char*
DescribeUserNameProblem(UserNameProblem problem)
{
	switch (problem) {
		case UserNameProblem::kNone:
			return "";
		case UserNameProblem::kEmpty:
			return "is empty";
		case UserNameProblem::kTooLong:
			return "is longer than 30 characters";
		case UserNameProblem::kNotPrintable:
			return "holds a character other than printable ASCII";
		case UserNameProblem::kSlash:
			return "holds a \"/\"";
		case UserNameProblem::kBadStart:
			return "starts with a space or a dot";
	}
	return "";
}


BString
EscapedUserName(const char* name, size_t length)
{
	static const char kDigits[] = "0123456789abcdef";
	BString escaped;
	for (size_t i = 0; i < length; i++) {
		unsigned char c = (unsigned char)name[i];
		if (c >= 0x20 && c <= 0x7e && c != '\\') {
			escaped += (char)c;
			continue;
		}
		char code[5] = { '\\', 'x', kDigits[c >> 4], kDigits[c & 0xf], '\0' };
		escaped << code;
	}
	return escaped;
}


BString
EscapedUserName(const BString& name)
{
	return EscapedUserName(name.String(), (size_t)name.Length());
}


BString
PrintableUserName(const BString& name)
{
	BString printable;
	for (int32 i = 0; i < name.Length(); i++) {
		unsigned char c = (unsigned char)name.ByteAt(i);
		bool control = c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f);
		printable += control ? '?' : (char)c;
	}
	return printable;
}
