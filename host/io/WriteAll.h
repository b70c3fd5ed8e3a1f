#pragma once

#include <SupportDefs.h>

// Writes all of the bytes to a blocking descriptor (a file, a socket, the
// terminal), going on after a short write or a signal; the first failure is
// returned as a status.
status_t WriteAll(int descriptor, const char* data, size_t size);
