#pragma once

#include <stddef.h>

// The boot volume of a fuzzer's process: a temporary folder, made when the
// fuzzer starts and removed when it exits, so that the game's files are
// read from and written to it and nothing of the user's is touched. The
// fuzzers run one input at a time on one thread; this is not for tests.
class FuzzVolume {
public:
	// Makes the volume, once per process.
	static	void				Prepare();
	static	void				MakeFolder(const char* bootPath);
	// Replaces the file at the "/boot" path with exactly the bytes.
	static	void				WriteFile(const char* bootPath,
									const void* bytes, size_t size);
	// Removes the file or the folder with all it holds, if it is there.
	static	void				Remove(const char* bootPath);
	// How many entries the folder holds (0 when it is not there).
	static	int					CountEntries(const char* bootPath);
};
