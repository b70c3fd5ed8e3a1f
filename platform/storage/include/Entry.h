#pragma once

#include <String.h>
#include <StorageDefs.h>

// A name in a folder: it may name a file, a folder, a link, or nothing yet
// (but its folder must exist). With traverse, a link stands for what it
// names, followed link by link within the volume. A plain value, used by
// one thread at a time.
class B_EXPORT BEntry {
public:
								BEntry();
								BEntry(const char* path, bool traverse = false);
								BEntry(const BEntry& other);
			BEntry&				operator=(const BEntry& other);
								~BEntry();

			status_t			SetTo(const char* path, bool traverse = false);
			status_t			InitCheck() const;
			void				Unset();

			bool				Exists() const;
			bool				IsFile() const;
			bool				IsDirectory() const;
			bool				IsSymLink() const;

			// The leaf name, into a buffer of B_FILE_NAME_LENGTH bytes.
			status_t			GetName(char* buffer) const;
			// The path as the platform names it ("/boot/...").
			const char*			Path() const;

			// Moves the entry to another path on the same volume (a bare name
			// stays in the entry's folder); with clobber, an existing file
			// there is replaced in one step, without it B_FILE_EXISTS.
			status_t			Rename(const char* path, bool clobber = false);
			status_t			Remove();

private:
			BString				fPath;
			status_t			fStatus = B_NO_INIT;
};
