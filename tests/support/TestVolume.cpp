#include "TestVolume.h"

#include <errno.h>
#include <ftw.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>


namespace {

int
RemoveOne(const char* path, const struct stat*, int type, struct FTW*)
{
	if (type == FTW_DP)
		rmdir(path);
	else
		unlink(path);
	return 0;
}


void
MakeMachineFolders(const std::string& folder)
{
	for (size_t i = 1; i <= folder.size(); i++) {
		if (i < folder.size() && folder[i] != '/')
			continue;
		std::string partial = folder.substr(0, i);
		if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
			ADD_FAILURE() << "cannot make " << partial << ": " << strerror(errno);
	}
}


std::string
ReadMachineFile(const std::string& path)
{
	std::ifstream stream(path, std::ios::binary);
	std::ostringstream content;
	content << stream.rdbuf();
	return content.str();
}

}	// namespace


TestVolume::TestVolume()
{
	char pattern[] = "/tmp/drelmoor-volume-XXXXXX";
	if (mkdtemp(pattern) == nullptr) {
		ADD_FAILURE() << "cannot make a boot volume: " << strerror(errno);
		return;
	}
	fFolder = pattern;

	const char* previous = getenv("BOOT_VOLUME");
	fHadPreviousVolume = previous != nullptr;
	if (previous != nullptr)
		fPreviousVolume = previous;
	setenv("BOOT_VOLUME", fFolder.c_str(), 1);
}


TestVolume::~TestVolume()
{
	if (fHadPreviousVolume)
		setenv("BOOT_VOLUME", fPreviousVolume.c_str(), 1);
	else
		unsetenv("BOOT_VOLUME");
	// Depth first, without following links: a link in the volume that points
	// elsewhere must not take anything outside the volume with it.
	if (!fFolder.empty())
		nftw(fFolder.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}


const std::string&
TestVolume::Folder() const
{
	return fFolder;
}


std::string
TestVolume::MachinePath(const char* bootPath) const
{
	std::string path(bootPath);
	if (path == "/boot")
		return fFolder;
	if (path.rfind("/boot/", 0) == 0)
		return fFolder + path.substr(5);
	ADD_FAILURE() << path << " is not a path of the boot volume";
	return fFolder + "/" + path;
}


void
TestVolume::WriteFile(const char* bootPath, const std::string& content) const
{
	std::string path = MachinePath(bootPath);
	MakeMachineFolders(path.substr(0, path.rfind('/')));
	std::ofstream stream(path, std::ios::binary | std::ios::trunc);
	stream << content;
	if (!stream)
		ADD_FAILURE() << "cannot write " << path;
}


std::string
TestVolume::ReadFile(const char* bootPath) const
{
	return ReadMachineFile(MachinePath(bootPath));
}


bool
TestVolume::Exists(const char* bootPath) const
{
	struct stat info;
	return lstat(MachinePath(bootPath).c_str(), &info) == 0;
}


void
TestVolume::MakeFolder(const char* bootPath) const
{
	MakeMachineFolders(MachinePath(bootPath));
}


void
TestVolume::InstallGameData() const
{
	static const char* const kDataFiles[] = { "monsters", "weapons", "armor" };
	const std::string source = std::string(DRELMOOR_SOURCE_DIR) + "/data/";
	const std::string door = "/boot/home/Zenbo/doors/vrask/";

	MakeFolder((door + "users").c_str());
	for (const char* name : kDataFiles) {
		std::string from = source + name;
		struct stat info;
		if (stat(from.c_str(), &info) != 0)
			continue;
		WriteFile((door + name).c_str(), ReadMachineFile(from));
	}
}


FrozenClock::FrozenClock(uint32 secondsSince1970)
{
	const char* previous = getenv("BOOT_CLOCK");
	fHadPrevious = previous != nullptr;
	if (previous != nullptr)
		fPrevious = previous;
	setenv("BOOT_CLOCK", std::to_string(secondsSince1970).c_str(), 1);
}


FrozenClock::~FrozenClock()
{
	if (fHadPrevious)
		setenv("BOOT_CLOCK", fPrevious.c_str(), 1);
	else
		unsetenv("BOOT_CLOCK");
}
