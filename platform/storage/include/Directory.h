#pragma once

#include <StorageDefs.h>

class BEntry;

// A folder read entry by entry, in the order the file system keeps them
// ("." and ".." are not entries).
class B_EXPORT BDirectory {
public:
								BDirectory();
								BDirectory(const char* path);
								BDirectory(const BDirectory&) = delete;
			BDirectory&			operator=(const BDirectory&) = delete;
								~BDirectory();

			status_t			SetTo(const char* path);
			status_t			InitCheck() const;
			void				Unset();

	// Walking the entries; B_ENTRY_NOT_FOUND after the last one. With
	// traverse, an entry that is a link stands for what the link names, and
	// a link that names nothing reachable (dangling, or out of the volume)
	// is passed over. CountEntries leaves the walk where it was.
			status_t			GetNextEntry(BEntry* entry, bool traverse = false);
			status_t			Rewind();
			int32				CountEntries();

private:
			struct Private;
			Private*			fPrivate = nullptr;
			status_t			fStatus = B_NO_INIT;
};
