#pragma once

#include <stddef.h>

// The one rule for a board password, at registration and at a change in the
// front room alike.
const size_t kMinPasswordLength = 8;
const size_t kMaxPasswordLength = 128;
