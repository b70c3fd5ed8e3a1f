#pragma once

#include <File.h>
#include <String.h>

#include "DataLineReader.h"

// Reads one of the blacksmith's item files for one visit: the count of
// items on its first line, then the item names in order. It only reads;
// what the shop lists and sells is BlacksmithShop's to say. A file that a
// sysop broke (cut off, empty, without its count, with a line past the
// reader's bound) gives what it has, as the shop has always shown it, and
// Close tells the door's log of the first fault met, once for each fault.
class ItemFileReader {
public:
	explicit					ItemFileReader(const char* path);
								ItemFileReader(const ItemFileReader&) = delete;
			ItemFileReader&		operator=(const ItemFileReader&) = delete;

			// B_OK when the file opened; a file that did not is told to the
			// log at once.
	[[nodiscard]] status_t		InitCheck() const;

			// The number on the first line, as strtol reads it; 0 without
			// one.
			long				ReadCount();
			// The next item's name; false when the file holds no more (or
			// no more the shop can take).
			bool				ReadName(BString* name);
			// Lets go of the file and tells the log what the visit met.
			void				Close();

			// Bytes taken from the file so far.
			int64				BytesRead() const { return fReader.BytesRead(); }

private:
			// True when the read gave a line the shop takes.
			bool				Take(DataLineReader::Result result);
			void				Fault(const BString& problem);

			const char*			fPath;
			BFile				fFile;
			DataLineReader		fReader;
			long				fCount = 0;
			int32				fItemsRead = 0;
			bool				fCountRead = false;
			int32				fFaultLine = 0;
			BString				fFault;
};
