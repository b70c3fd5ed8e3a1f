// What the door's log tells of broken data files.

#include "DataFileLog.h"

#include "ErrorCapture.h"

#include <gtest/gtest.h>


TEST(DataFileLogTest, FaultIsToldOnceUntilThePartReadsWellAgain)
{
	ErrorCapture capture;
	for (int visit = 0; visit < 3; visit++)
		DataFileLog::ReportBroken("test-a", "/boot/a", 4, "cut off");
	EXPECT_EQ("Drelmoor: broken data file /boot/a, line 4: cut off\n",
		capture.Text());

	// Another fault of the same part is news; so is the same one after a
	// read that went well.
	DataFileLog::ReportBroken("test-a", "/boot/a", 0, "cannot be opened");
	DataFileLog::ReportSound("test-a");
	DataFileLog::ReportBroken("test-a", "/boot/a", 0, "cannot be opened");
	DataFileLog::ReportBroken("test-a", "/boot/a", 0, "cannot be opened");
	EXPECT_EQ(2, capture.CountLinesWith("/boot/a: cannot be opened"));
	EXPECT_EQ(3, capture.CountLinesWith("Drelmoor: broken data file"));
}


TEST(DataFileLogTest, PartsAreToldApart)
{
	ErrorCapture capture;
	DataFileLog::ReportBroken("test-b#1", "/boot/b", 2, "no monster");
	DataFileLog::ReportBroken("test-b#2", "/boot/b", 2, "no monster");
	EXPECT_EQ(2, capture.CountLinesWith("/boot/b, line 2: no monster"));
}
