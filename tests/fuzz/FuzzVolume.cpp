#include "FuzzVolume.h"

#include <BootVolume.h>
#include <Directory.h>
#include <Entry.h>
#include <File.h>

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>


static std::string sFolder;


static int
RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
	return remove(path);
}


static void
RemoveVolume()
{
	if (!sFolder.empty())
		nftw(sFolder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}


void
FuzzVolume::Prepare()
{
	if (!sFolder.empty())
		return;
	// In memory where the machine has it: the game syncs every save, and
	// a disk would make that the fuzzer's whole cost.
	std::string pattern = access("/dev/shm", W_OK) == 0
		? "/dev/shm/drelmoor-fuzz-XXXXXX" : "/tmp/drelmoor-fuzz-XXXXXX";
	char* folder = pattern.data();
	if (mkdtemp(folder) == NULL) {
		perror("fuzzer: cannot make its boot volume");
		abort();
	}
	sFolder = folder;
	setenv("BOOT_VOLUME", folder, 1);
	atexit(RemoveVolume);
}


void
FuzzVolume::MakeFolder(const char* bootPath)
{
	if (create_directory(bootPath, 0755) != B_OK) {
		fprintf(stderr, "fuzzer: cannot make %s\n", bootPath);
		abort();
	}
}


void
FuzzVolume::WriteFile(const char* bootPath, const void* bytes, size_t size)
{
	BFile file(bootPath, B_WRITE_ONLY | B_CREATE_FILE | B_ERASE_FILE);
	if (file.InitCheck() != B_OK
		|| (size > 0 && file.Write(bytes, size) != ssize_t(size))) {
		fprintf(stderr, "fuzzer: cannot write %s\n", bootPath);
		abort();
	}
}


void
FuzzVolume::Remove(const char* bootPath)
{
	BString path;
	if (resolve_boot_path(bootPath, &path) != B_OK) {
		fprintf(stderr, "fuzzer: no boot path %s\n", bootPath);
		abort();
	}
	nftw(path.String(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}


int
FuzzVolume::CountEntries(const char* bootPath)
{
	BDirectory folder(bootPath);
	if (folder.InitCheck() != B_OK)
		return 0;
	int count = 0;
	BEntry entry;
	while (folder.GetNextEntry(&entry, false) == B_OK)
		count++;
	return count;
}
