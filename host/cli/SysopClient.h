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

// How a request that stays open uses the sysop's terminal.
enum class SysopWatch {
	kWatch,		// zenbo spy: read-only, until Ctrl-C
	kChat,		// zenbo chat: the sysop's keys go to the caller
};

// A request that stays open (spy, chat, chat-wait): what the watched
// caller is shown goes to standard output as their terminal shows it,
// until the host's last answer; a chat's keys go to the host, Esc or
// Ctrl-D ending the chat, and Ctrl-C ends a watch. Returns the command's
// exit status as AskHost does; the host's last word goes to standard
// output, a refusal to standard error.
int FollowHost(const char* command, const std::vector<std::string>& words,
	SysopWatch watch);
