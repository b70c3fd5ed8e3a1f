#include "DropFile.h"

#include <Errors.h>
#include <ZenboUserName.h>

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>


// Drop files are a few hundred bytes; anything this large is no drop file.
static const size_t kMaxDropFileSize = 64 * 1024;
static const int kDoor32CommLine = 1;
static const int kDoor32HandleLine = 2;
static const int kDoor32AliasLine = 7;
static const int kDoorSysPortLine = 1;
static const int kDoorSysFullNameLine = 10;
static const int kDoorSysAliasLine = 36;
static const int kDoorSysLines = 52;
// Where each format names the board's node, which only tells the sysop where
// a caller came in: a line that is no number there is no mistake.
static const int kDoor32NodeLine = 11;
static const int kDoorSysNodeLine = 4;
static const int kDorInfoFirstNameLine = 7;
static const int kDorInfoLastNameLine = 8;
// Where each format gives the caller's time left; a line that is no number
// there means no limit, as boards that do not count time write anything.
static const int kDoor32MinutesLine = 9;
static const int kDoorSysSecondsLine = 18;
static const int kDoorSysMinutesLine = 19;
static const int kDorInfoMinutesLine = 12;
static const bigtime_t kSecond = 1000000;
static const bigtime_t kMinute = 60 * kSecond;


static BString
Trimmed(const char* start, size_t length)
{
	while (length > 0 && (start[length - 1] == '\r'
			|| start[length - 1] == ' ' || start[length - 1] == '\t')) {
		length--;
	}
	while (length > 0 && (start[0] == ' ' || start[0] == '\t')) {
		start++;
		length--;
	}
	BString value;
	value.SetTo(start, (int32)length);
	return value;
}


static bool
ParseNumber(const BString& text, int32* number)
{
	if (text.Length() == 0 || text.Length() > 9)
		return false;
	for (int32 i = 0; i < text.Length(); i++) {
		if (!isdigit((unsigned char)text.ByteAt(i)))
			return false;
	}
	*number = (int32)strtol(text.String(), NULL, 10);
	return true;
}


// "COM0:" to "COM255:", as DOOR.SYS writes its first line.
static bool
IsPortLine(const BString& line)
{
	if (line.Length() < 5 || strncasecmp(line.String(), "COM", 3) != 0
		|| line.ByteAt(line.Length() - 1) != ':') {
		return false;
	}
	int32 port;
	return ParseNumber(BString(line.String() + 3, line.Length() - 4), &port);
}


static BString
LineError(int line, const char* what)
{
	BString error("line ");
	error << (int32)line << ": " << what;
	return error;
}


status_t
DropFile::Read(const char* path, BString* error)
{
	int file = open(path, O_RDONLY | O_CLOEXEC);
	if (file < 0)
		return status_from_errno(errno);

	std::string content;
	char buffer[4096];
	while (true) {
		ssize_t bytesRead = read(file, buffer, sizeof(buffer));
		if (bytesRead < 0 && errno == EINTR)
			continue;
		if (bytesRead < 0) {
			status_t status = status_from_errno(errno);
			close(file);
			return status;
		}
		if (bytesRead == 0)
			break;
		content.append(buffer, (size_t)bytesRead);
		if (content.size() > kMaxDropFileSize) {
			close(file);
			error->SetTo("the file is far larger than any drop file");
			return B_BAD_DATA;
		}
	}
	close(file);

	const char* name = strrchr(path, '/');
	return Parse(name != NULL ? name + 1 : path, content.data(),
		content.size(), error);
}


status_t
DropFile::Parse(const char* fileName, const char* content, size_t size,
	BString* error)
{
	fLines.clear();
	fUserName = "";
	fComm = CommType::kLocal;
	fCommHandle = -1;
	fNode = 0;
	fTimeLeft = -1;

	size_t start = 0;
	for (size_t i = 0; i <= size; i++) {
		if (i < size && content[i] == '\0') {
			*error = LineError((int)fLines.size() + 1, "a 0 byte");
			return B_BAD_DATA;
		}
		if (i < size && content[i] != '\n')
			continue;
		// A last line without its line end still counts; the empty rest
		// after the last line end does not.
		if (i < size || i > start)
			fLines.push_back(Trimmed(content + start, i - start));
		start = i + 1;
	}

	if (strcasecmp(fileName, "DOOR32.SYS") == 0)
		fFormat = Format::kDoor32;
	else if (strcasecmp(fileName, "DOOR.SYS") == 0)
		fFormat = Format::kDoorSys;
	else if (strncasecmp(fileName, "DORINFO", 7) == 0
		&& strlen(fileName) >= 11
		&& strcasecmp(fileName + strlen(fileName) - 4, ".DEF") == 0)
		fFormat = Format::kDorInfo;
	else {
		// Named otherwise: DOOR.SYS starts with its port, DOOR32.SYS with a
		// comm type of one digit, DORINFO with the board's name.
		BString first;
		_Line(1, &first);
		int32 comm;
		if (IsPortLine(first))
			fFormat = Format::kDoorSys;
		else if (first.Length() == 1 && ParseNumber(first, &comm))
			fFormat = Format::kDoor32;
		else if (fLines.size() >= (size_t)kDorInfoLastNameLine)
			fFormat = Format::kDorInfo;
		else {
			error->SetTo("not a drop file that zenbo knows (DOOR32.SYS,"
				" DOOR.SYS or DORINFO1.DEF)");
			return B_BAD_DATA;
		}
	}

	status_t status = B_BAD_DATA;
	int nodeLine = 0;
	switch (fFormat) {
		case Format::kDoor32:
			status = _ParseDoor32(error);
			nodeLine = kDoor32NodeLine;
			_TakeTimeLeft(kDoor32MinutesLine, kMinute);
			break;
		case Format::kDoorSys:
			status = _ParseDoorSys(error);
			nodeLine = kDoorSysNodeLine;
			_TakeTimeLeft(kDoorSysSecondsLine, kSecond);
			if (fTimeLeft < 0)
				_TakeTimeLeft(kDoorSysMinutesLine, kMinute);
			break;
		case Format::kDorInfo:
			status = _ParseDorInfo(error);
			_TakeTimeLeft(kDorInfoMinutesLine, kMinute);
			break;
	}
	if (status != B_OK)
		fTimeLeft = -1;
	BString node;
	int32 number;
	if (status == B_OK && nodeLine > 0 && _Line(nodeLine, &node)
		&& ParseNumber(node, &number)) {
		fNode = number;
	}
	return status;
}


const char*
DropFile::FormatName(Format format)
{
	switch (format) {
		case Format::kDoor32:
			return "DOOR32.SYS";
		case Format::kDoorSys:
			return "DOOR.SYS";
		case Format::kDorInfo:
			return "DORINFO";
	}
	return "";
}


status_t
DropFile::_ParseDoor32(BString* error)
{
	BString value;
	int32 comm = -1;
	if (!_Line(kDoor32CommLine, &value) || !ParseNumber(value, &comm)
		|| comm > (int32)CommType::kTelnet) {
		*error = LineError(kDoor32CommLine,
			"the comm type must be 0 (local), 1 (serial) or 2 (telnet)");
		return B_BAD_DATA;
	}
	int32 handle = -1;
	if (!_Line(kDoor32HandleLine, &value) || !ParseNumber(value, &handle)) {
		*error = LineError(kDoor32HandleLine,
			"the comm handle must be a number");
		return B_BAD_DATA;
	}
	if (!_Line(kDoor32AliasLine, &value)) {
		*error = LineError(kDoor32AliasLine,
			"missing: the file ends before the caller's alias");
		return B_BAD_DATA;
	}
	status_t status = _TakeName(kDoor32AliasLine, value, error);
	if (status != B_OK)
		return status;
	fComm = (CommType)comm;
	fCommHandle = handle;
	return B_OK;
}


status_t
DropFile::_ParseDoorSys(BString* error)
{
	BString value;
	if (!_Line(kDoorSysPortLine, &value) || !IsPortLine(value)) {
		*error = LineError(kDoorSysPortLine,
			"the port must read COM0: to COM255:");
		return B_BAD_DATA;
	}
	if (fLines.size() < (size_t)kDoorSysLines) {
		BString what("missing: the file ends after ");
		what << (int32)fLines.size() << " of its " << (int32)kDoorSysLines
			<< " lines";
		*error = LineError((int)fLines.size() + 1, what.String());
		return B_BAD_DATA;
	}
	_Line(kDoorSysAliasLine, &value);
	if (value.Length() > 0)
		return _TakeName(kDoorSysAliasLine, value, error);
	_Line(kDoorSysFullNameLine, &value);
	if (value.Length() == 0) {
		*error = LineError(kDoorSysFullNameLine,
			"empty: the caller has neither an alias (line 36) nor a name");
		return B_BAD_DATA;
	}
	return _TakeName(kDoorSysFullNameLine, value, error);
}


status_t
DropFile::_ParseDorInfo(BString* error)
{
	BString first;
	BString last;
	if (!_Line(kDorInfoFirstNameLine, &first) || first.Length() == 0) {
		*error = LineError(kDorInfoFirstNameLine,
			"the caller's first name is missing");
		return B_BAD_DATA;
	}
	if (!_Line(kDorInfoLastNameLine, &last)) {
		*error = LineError(kDorInfoLastNameLine,
			"missing: the file ends before the caller's last name");
		return B_BAD_DATA;
	}
	BString name(first);
	if (last.Length() > 0)
		name << " " << last;
	return _TakeName(last.Length() > 0 ? kDorInfoLastNameLine
		: kDorInfoFirstNameLine, name, error);
}


status_t
DropFile::_TakeName(int line, const BString& name, BString* error)
{
	UserNameProblem problem = JudgeUserName(name);
	if (problem != UserNameProblem::kNone) {
		BString what("the name \"");
		what << EscapedUserName(name) << "\" "
			<< DescribeUserNameProblem(problem);
		*error = LineError(line, what.String());
		return B_BAD_DATA;
	}
	fUserName = name;
	return B_OK;
}


bool
DropFile::_Line(int line, BString* value) const
{
	if (line < 1 || (size_t)line > fLines.size())
		return false;
	*value = fLines[(size_t)line - 1];
	return true;
}


void
DropFile::_TakeTimeLeft(int line, bigtime_t unit)
{
	BString value;
	int32 number;
	if (_Line(line, &value) && ParseNumber(value, &number))
		fTimeLeft = number * unit;
}
