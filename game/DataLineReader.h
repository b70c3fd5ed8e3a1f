#pragma once

#include <File.h>
#include <SupportDefs.h>

#include <string>

// Reads the game's text files (the monsters, weapons and armor files and
// the player files) line by line. Lines end with a line feed, which is not
// part of the line; every other byte is. The file is read in blocks, so a
// draw or a visit costs a few reads however the file is laid out, and a
// line is never longer than kLongestLine bytes: a longer one makes the file
// broken, and the reader stops shortly after the bound instead of holding
// the rest of it in memory. A reader belongs to the one read of one file.
class DataLineReader {
public:
	// The longest line any of the game's files holds in good order.
	static constexpr int32		kLongestLine = 4096;
	// How much one read of the file takes at most.
	static constexpr int32		kBlockSize = 1024;

	enum class Result {
		kLine,			// a whole line, ended by its line feed
		kCutOff,		// the file ended inside the line, after some bytes
		kEnd,			// the file ended before the first byte of the line
		kTooLong,		// the line passed kLongestLine bytes
		kError			// the file could not be read; see Error()
	};

								DataLineReader(BFile& file);
								DataLineReader(const DataLineReader&) = delete;
			DataLineReader&		operator=(const DataLineReader&) = delete;

	// Reading
			// The next line's bytes, without the line feed.
			Result				ReadLine(std::string* line);
			// Skips every byte up to and including the next `marker`; the
			// bytes skipped are lines too, and bounded as such.
			Result				SkipPast(char marker);

	// Where the reader stands
			// The number, from 1, of the line that the last read ended in
			// (for a whole line, the line it returned).
			int32				LineNumber() const { return fLastLine; }
			// Bytes taken from the file so far.
			int64				BytesRead() const { return fBytesRead; }
			status_t			Error() const { return fError; }

	// A decimal number of a file as strtol reads it (leading blanks, a sign,
	// the digits, the rest ignored, 0 without digits), held within int32 so
	// that a number too long for a field does not come back as another one.
	static	int32				NumberOf(const char* text);

private:
			// The next byte, or false at the end of the file or on an error.
			bool				NextByte(char* byte);

			BFile&				fFile;
			char				fBlock[kBlockSize];
			int32				fBlockLength = 0;
			int32				fBlockPosition = 0;
			int64				fBytesRead = 0;
			int32				fLine = 1;
			int32				fLastLine = 1;
			status_t			fError = B_OK;
			bool				fEnded = false;
};
