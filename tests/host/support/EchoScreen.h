#pragma once

#include <SupportDefs.h>

#include <string>

// What the test harnesses' echo terminals show, whatever way in they serve:
// each key back in capitals, Enter as a line end, and every window size as
// a line of its own, so that a test reads the same screen over SSH and the
// web.
class EchoScreen {
public:
	// Echoing
	static	std::string			Echo(const char* keys, size_t size);
	static	std::string			WindowLine(int32 columns, int32 rows);
};
