#pragma once

#include <StorageDefs.h>

// An open file of the boot volume (or of the machine, for other absolute
// paths). One BFile holds one open descriptor; reads and writes go straight
// to it, with no buffering of their own. A folder is no file
// (B_IS_A_DIRECTORY), and B_ERASE_FILE with B_READ_ONLY is refused
// (B_BAD_VALUE) rather than emptying a file opened only to be read. Used by
// one thread at a time.
class B_EXPORT BFile {
public:
								BFile();
								BFile(const char* path, uint32 openMode);
								BFile(const BFile&) = delete;
			BFile&				operator=(const BFile&) = delete;
								~BFile();

			status_t			SetTo(const char* path, uint32 openMode);
			status_t			InitCheck() const;
			void				Unset();

	// Reading and writing: the byte count, or a negative status. Write
	// writes everything or reports the failure; Read stops short only at the
	// end of the file.
			ssize_t				Read(void* buffer, size_t size);
			ssize_t				Write(const void* buffer, size_t size);
			// Puts the file's data on the disk before it returns.
			status_t			Sync();

			bool				IsReadable() const;
			bool				IsWritable() const;

private:
			int					fDescriptor = -1;
			uint32				fOpenMode = 0;
			status_t			fStatus = B_NO_INIT;
};
