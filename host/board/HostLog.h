#pragma once

// The host's own messages, one whole line each on standard error, written
// with one call so that lines of several threads never mix.
void HostLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
