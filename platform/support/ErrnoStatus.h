#pragma once

#include <SupportDefs.h>

// The one place where the platform's kits turn a Linux errno value into
// their own status codes. Private to the platform: include it from the
// kits' sources, never from a public header.
status_t status_from_errno(int error);
