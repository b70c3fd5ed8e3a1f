#include "ErrorCapture.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>


ErrorCapture::ErrorCapture()
{
	char path[] = "/tmp/drelmoor-stderr-XXXXXX";
	int descriptor = mkstemp(path);
	if (descriptor < 0)
		return;
	fPath = path;
	fflush(stderr);
	fSavedError = dup(STDERR_FILENO);
	dup2(descriptor, STDERR_FILENO);
	close(descriptor);
}


ErrorCapture::~ErrorCapture()
{
	if (fSavedError >= 0) {
		fflush(stderr);
		dup2(fSavedError, STDERR_FILENO);
		close(fSavedError);
	}
	if (!fPath.empty())
		unlink(fPath.c_str());
}


std::string
ErrorCapture::Text() const
{
	fflush(stderr);
	std::ifstream file(fPath);
	std::stringstream text;
	text << file.rdbuf();
	return text.str();
}


int
ErrorCapture::CountLinesWith(const std::string& text) const
{
	std::istringstream lines(Text());
	std::string line;
	int count = 0;
	while (std::getline(lines, line)) {
		if (line.find(text) != std::string::npos)
			count++;
	}
	return count;
}
