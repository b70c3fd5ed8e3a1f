#include "ItemFileReader.h"

#include <stdlib.h>

#include <string>

#include "DataFileLog.h"


ItemFileReader::ItemFileReader(const char* path)
	:
	fPath(path),
	fFile(path, B_READ_ONLY),
	fReader(fFile)
{
	if (fFile.InitCheck() != B_OK) {
		DataFileLog::ReportBroken(fPath, fPath, 0,
			BString("cannot be opened: ")
				<< strerror_status(fFile.InitCheck()));
	}
}


status_t
ItemFileReader::InitCheck() const
{
	return fFile.InitCheck();
}


long
ItemFileReader::ReadCount()
{
	std::string line;
	bool taken = Take(fReader.ReadLine(&line));
	fCountRead = true;
	if (!taken)
		return 0;

	const char* start = line.c_str();
	char* end = NULL;
	fCount = strtol(start, &end, 10);
	if (end == start)
		Fault("no count of items on the line");
	return fCount;
}


bool
ItemFileReader::ReadName(BString* name)
{
	std::string line;
	if (!Take(fReader.ReadLine(&line)))
		return false;

	// Every byte of the line is the name's, but NUL, which no name holds.
	name->SetTo("");
	for (char byte : line)
		*name += byte;
	fItemsRead++;
	return true;
}


void
ItemFileReader::Close()
{
	fFile.Unset();
	if (fFault.Length() > 0)
		DataFileLog::ReportBroken(fPath, fPath, fFaultLine, fFault);
	else
		DataFileLog::ReportSound(fPath);
}


bool
ItemFileReader::Take(DataLineReader::Result result)
{
	BString problem;
	switch (result) {
		case DataLineReader::Result::kLine:
			return true;
		case DataLineReader::Result::kCutOff:
			// The shop has always sold a last item without its line feed.
			Fault("the file ends inside the line, without its line feed: "
				"it may be cut off");
			return true;
		case DataLineReader::Result::kEnd:
			if (!fCountRead)
				problem << "the file is empty: it needs its count of items";
			else {
				problem << "the file ends before item " << fItemsRead + 1
					<< " of the " << (int64)fCount << " that it counts";
			}
			break;
		case DataLineReader::Result::kTooLong:
			problem << "the line is longer than "
				<< DataLineReader::kLongestLine << " bytes";
			break;
		case DataLineReader::Result::kError:
			problem << "cannot be read: " << strerror_status(fReader.Error());
			break;
	}
	Fault(problem);
	return false;
}


void
ItemFileReader::Fault(const BString& problem)
{
	if (fFault.Length() > 0)
		return;
	fFaultLine = fReader.LineNumber();
	fFault = problem;
}
