#pragma once

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
// A key of an option without a value (a flag) takes true or false. The file
// becomes the options it names, to go before those of the command line, so
// that the command line wins. Each setting is judged as its option would
// be, and a mistake names the file, the line and the key.
status_t ReadHostConfig(const char* path, std::vector<std::string>* arguments,
	BString* error);
