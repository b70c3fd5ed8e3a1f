#pragma once

#include "RloginBoards.h"

#include <String.h>

#include <string>
#include <vector>

// The host's settings from a config file, for a sysop who prefers one to a
// long command line: a TOML file of keys named after zenbo's options, each
// with the option's value, for example
//
//     volume = "/var/lib/drelmoor"
//     telnet = "0.0.0.0:2323"
//     grace = 180
//
// A key of an option without a value (a flag) takes true or false; false
// turns off what is on by default (spy-notice = false). The file
// becomes the options it names, to go before those of the command line, so
// that the command line wins. Each setting is judged as its option would
// be, and a mistake names the file, the line and the key.
//
// The boards whose callers play here over RLogin come as tables of their
// own, besides those of the boards file (zenbo board add):
//
//     [[boards]]
//     tag = "DARKSIDE"
//     secret = "the secret the board sends as its user name"
//     addresses = [ "192.0.2.7" ]
//     max-callers = 20
status_t ReadHostConfig(const char* path, std::vector<std::string>* arguments,
	RloginBoards* boards, BString* error);
status_t ReadHostConfig(const char* path, std::vector<std::string>* arguments,
	BString* error);
