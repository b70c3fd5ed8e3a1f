#pragma once

#include <string>
#include <vector>

// A sysop's command's side of the sysop socket (SysopProtocol.h): sends one
// request to the running host and waits for its answer. Returns the
// command's exit status: 0 with the host's text in *text; otherwise the
// problem (no host, no answer, the host's refusal) has been written to
// standard error, headed by the command's name.
int AskHost(const char* command, const std::vector<std::string>& words,
	std::string* text);
