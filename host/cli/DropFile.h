#pragma once

#include <String.h>

#include <vector>

// The drop file that a board writes for each door it runs: who the caller
// is and how the caller is connected. zenbo reads the three kinds that
// boards write today, telling them apart by the file's name (DOOR32.SYS,
// DOOR.SYS, DORINFO1.DEF and DORINFOx.DEF, in any case) and, for a file
// named otherwise, by its content. Lines end in CR LF or LF; blanks around a
// value are dropped, since boards and sysops pad them.
//
//   DOOR32.SYS   line 1 comm type (0 local, 1 serial, 2 telnet), line 2 the
//                comm or socket handle, line 7 the caller's alias, line 9
//                the minutes left, line 11 the node
//   DOOR.SYS     the 52-line form: line 1 the port ("COM0:" when local),
//                line 4 the node, line 10 the caller's full name, line 18
//                the seconds left (else line 19, the minutes), line 36 the
//                alias
//   DORINFOx.DEF line 7 the caller's first name, line 8 the last name,
//                line 12 the minutes left
class DropFile {
public:
	enum class Format {
		kDoor32,
		kDoorSys,
		kDorInfo,
	};
	enum class CommType {
		kLocal = 0,
		kSerial = 1,
		kTelnet = 2,
	};

	// Reads the file at path. On a mistake, B_BAD_DATA and a message that
	// names the line that is wrong; another status when it cannot be read.
			status_t			Read(const char* path, BString* error);
	// The same from the file's name (without its folder) and bytes.
			status_t			Parse(const char* fileName, const char* content,
									size_t size, BString* error);

			Format				FileFormat() const { return fFormat; }
			const BString&		UserName() const { return fUserName; }
	// DOOR32.SYS alone says how the caller is connected; the others are
	// local as far as this door goes.
			CommType			Comm() const { return fComm; }
			int32				CommHandle() const { return fCommHandle; }
	// The board's node (DOOR32.SYS line 11, DOOR.SYS line 4); 0 when the
	// file does not say.
			int32				Node() const { return fNode; }
	// The time the board left its caller for this door; -1 for no limit,
	// as a file that gives no time or a negative one means.
			bigtime_t			TimeLeft() const { return fTimeLeft; }

	static	const char*			FormatName(Format format);

private:
			status_t			_ParseDoor32(BString* error);
			status_t			_ParseDoorSys(BString* error);
			status_t			_ParseDorInfo(BString* error);
			status_t			_TakeName(int line, const BString& name,
									BString* error);
			bool				_Line(int line, BString* value) const;
			// The time on the line in seconds or minutes, where it is a
			// whole number of none or more.
			void				_TakeTimeLeft(int line, bigtime_t unit);

			Format				fFormat = Format::kDoor32;
			BString				fUserName;
			CommType			fComm = CommType::kLocal;
			int32				fCommHandle = -1;
			int32				fNode = 0;
			bigtime_t			fTimeLeft = -1;
			// The file's lines, without line ends and outer blanks.
			std::vector<BString> fLines;
};
