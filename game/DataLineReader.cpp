#include "DataLineReader.h"

#include <stdlib.h>

#include "GameLimits.h"


DataLineReader::DataLineReader(BFile& file)
	:
	fFile(file)
{
}


DataLineReader::Result
DataLineReader::ReadLine(std::string* line)
{
	line->clear();
	fLastLine = fLine;
	char byte;
	while (NextByte(&byte)) {
		if (byte == '\n') {
			fLine++;
			return Result::kLine;
		}
		if ((int32)line->size() == kLongestLine)
			return Result::kTooLong;
		*line += byte;
	}
	if (fError != B_OK)
		return Result::kError;
	return line->empty() ? Result::kEnd : Result::kCutOff;
}


DataLineReader::Result
DataLineReader::SkipPast(char marker)
{
	fLastLine = fLine;
	int32 lineLength = 0;
	char byte;
	while (NextByte(&byte)) {
		fLastLine = fLine;
		if (byte == marker)
			return Result::kLine;
		if (byte == '\n') {
			fLine++;
			lineLength = 0;
		} else if (++lineLength > kLongestLine)
			return Result::kTooLong;
	}
	return fError != B_OK ? Result::kError : Result::kEnd;
}


/*static*/ int32
DataLineReader::NumberOf(const char* text)
{
	return ClampedToInt32(strtol(text, NULL, 10));
}


bool
DataLineReader::NextByte(char* byte)
{
	if (fBlockPosition == fBlockLength) {
		if (fEnded)
			return false;
		ssize_t count = fFile.Read(fBlock, sizeof(fBlock));
		if (count <= 0) {
			fEnded = true;
			if (count < 0)
				fError = (status_t)count;
			return false;
		}
		fBlockLength = (int32)count;
		fBlockPosition = 0;
		fBytesRead += count;
	}
	*byte = fBlock[fBlockPosition++];
	return true;
}
