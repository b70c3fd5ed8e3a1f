#pragma once

// Type codes of message fields. They travel on the wire (see docs/wire-format.md).

enum {
	B_ANY_TYPE = 'ANYT',
	B_BOOL_TYPE = 'BOOL',
	B_INT32_TYPE = 'LONG',
	B_INT64_TYPE = 'LLNG',
	B_RAW_TYPE = 'RAWT',
	B_STRING_TYPE = 'CSTR',
};
