#include "DataFileLog.h"

#include <stdio.h>

#include <map>
#include <mutex>
#include <string>


namespace {

std::mutex sToldLock;
// The complaint last told for each part, guarded by sToldLock.
std::map<std::string, std::string> sTold;

}	// namespace


/*static*/ void
DataFileLog::ReportBroken(const BString& part, const char* file, int32 line,
	const BString& problem)
{
	BString text("Drelmoor: broken data file ");
	text << file;
	if (line > 0)
		text << ", line " << line;
	text << ": " << problem;

	{
		std::lock_guard<std::mutex> guard(sToldLock);
		std::string& told = sTold[part.String()];
		if (told == text.String())
			return;
		told = text.String();
	}
	// One write a line, so that the lines of several sessions never mix.
	text << "\n";
	fputs(text.String(), stderr);
	fflush(stderr);
}


/*static*/ void
DataFileLog::ReportSound(const BString& part)
{
	std::lock_guard<std::mutex> guard(sToldLock);
	sTold.erase(part.String());
}
