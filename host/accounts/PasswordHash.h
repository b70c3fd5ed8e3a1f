#pragma once

#include <SupportDefs.h>

#include <string>

// Passwords are kept only as Argon2id hashes (libsodium's string form,
// which carries its own salt and cost). Both take a noticeable time: never
// call them on the host's looper.
status_t HashPassword(const std::string& password, std::string* hash);
bool CheckPassword(const std::string& hash, const std::string& password);
// A password for the sysop to pass on, from the system's random source.
status_t MakeRandomPassword(size_t length, std::string* password);
