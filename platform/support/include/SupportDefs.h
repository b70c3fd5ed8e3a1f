#pragma once

// The basic types and error codes that every kit of the platform shares.

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

// What a shared library of ours offers its programs: the libraries are
// built with every symbol hidden, and only the classes and functions of
// their public headers (and the few private ones their own tests reach)
// carry this mark. So no private name of one library can meet a name of
// another in a program, and the linker never has to choose between them.
// Defined before Errors.h, whose functions carry it too.
#define B_EXPORT __attribute__((visibility("default")))

#include <Errors.h>

typedef int8_t int8;
typedef uint8_t uint8;
typedef int16_t int16;
typedef uint16_t uint16;
typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;

typedef int32 status_t;
typedef int64 bigtime_t;
typedef uint32 type_code;

#ifndef NULL
#define NULL 0
#endif
