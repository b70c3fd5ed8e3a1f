#include "ProcessFigures.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>


static int32
CountEntries(const std::string& folder)
{
	DIR* directory = opendir(folder.c_str());
	if (directory == NULL)
		return -1;
	int32 count = 0;
	while (dirent* entry = readdir(directory)) {
		if (entry->d_name[0] != '.')
			count++;
	}
	closedir(directory);
	// The listing's own descriptor was among them while it read.
	return count;
}


ProcessFigures
ProcessFigures::Of(pid_t process)
{
	ProcessFigures figures;
	std::string base = "/proc/" + std::to_string((long)process);
	FILE* status = fopen((base + "/status").c_str(), "re");
	if (status != NULL) {
		char line[256];
		while (fgets(line, sizeof(line), status) != NULL) {
			long long value;
			if (sscanf(line, "VmRSS: %lld kB", &value) == 1)
				figures.residentBytes = (int64)value * 1024;
			else if (sscanf(line, "Threads: %lld", &value) == 1)
				figures.threads = (int32)value;
		}
		fclose(status);
	}
	figures.descriptors = CountEntries(base + "/fd");
	if (figures.descriptors > 0 && process == getpid())
		figures.descriptors--;
	return figures;
}


// The parent of each process is the fourth field of its stat, after the
// command's name in parentheses (which may hold spaces and parentheses,
// so the last ")" ends it).
static pid_t
ParentOf(const char* process)
{
	std::string path = std::string("/proc/") + process + "/stat";
	FILE* file = fopen(path.c_str(), "re");
	if (file == NULL)
		return -1;
	char line[512];
	pid_t parent = -1;
	if (fgets(line, sizeof(line), file) != NULL) {
		const char* end = strrchr(line, ')');
		char state;
		int value;
		if (end != NULL && sscanf(end + 1, " %c %d", &state, &value) == 2)
			parent = value;
	}
	fclose(file);
	return parent;
}


ProcessFigures
ProcessFigures::OfChildren(pid_t parent, int32* count)
{
	ProcessFigures sum;
	*count = 0;
	DIR* directory = opendir("/proc");
	if (directory == NULL)
		return sum;
	while (dirent* entry = readdir(directory)) {
		char* end = NULL;
		long process = strtol(entry->d_name, &end, 10);
		if (end == entry->d_name || *end != '\0'
			|| ParentOf(entry->d_name) != parent) {
			continue;
		}
		ProcessFigures child = Of((pid_t)process);
		if (child.residentBytes < 0)
			continue;
		(*count)++;
		sum.residentBytes = (sum.residentBytes < 0 ? 0 : sum.residentBytes)
			+ child.residentBytes;
		sum.threads = (sum.threads < 0 ? 0 : sum.threads)
			+ std::max<int32>(child.threads, 0);
		sum.descriptors = (sum.descriptors < 0 ? 0 : sum.descriptors)
			+ std::max<int32>(child.descriptors, 0);
	}
	closedir(directory);
	return sum;
}
