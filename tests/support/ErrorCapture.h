#pragma once

#include <string>

// Catches what this process writes to its standard error while the object
// lives (the door's log, for code of the door run inside a test), so that a
// test can read the log lines. One at a time per process.
class ErrorCapture {
public:
								ErrorCapture();
								ErrorCapture(const ErrorCapture&) = delete;
			ErrorCapture&		operator=(const ErrorCapture&) = delete;
								~ErrorCapture();

			// Everything written since the capture began.
			std::string			Text() const;
			// The number of lines that hold the text.
			int					CountLinesWith(const std::string& text) const;

private:
			int					fSavedError = -1;
			std::string			fPath;
};
