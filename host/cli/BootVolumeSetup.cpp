#include "BootVolumeSetup.h"

#include "WriteAll.h"

#include <BootVolume.h>
#include <Errors.h>
#include <VraskPaths.h>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>


static const char* const kDataFiles[] = { "monsters", "weapons", "armor" };


static bool
IsDirectory(const char* path)
{
	struct stat info;
	return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}


static bool
Exists(const char* path)
{
	struct stat info;
	return lstat(path, &info) == 0;
}


BString
ProgramFolder()
{
	char path[PATH_MAX];
	ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
	if (length <= 0)
		return BString(".");
	path[length] = '\0';
	char* slash = strrchr(path, '/');
	if (slash != NULL)
		*slash = '\0';
	return BString(path);
}


// Copies the file to a private name first and links it into place, so that
// nobody ever sees half a data file and a file that appeared meanwhile is
// not replaced.
static status_t
CopyNewFile(const BString& source, const BString& destination)
{
	int input = open(source.String(), O_RDONLY | O_CLOEXEC);
	if (input < 0)
		return status_from_errno(errno);

	BString temporary = destination;
	temporary << ".new-" << (int32)getpid();
	int output = open(temporary.String(),
		O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
	if (output < 0) {
		status_t status = status_from_errno(errno);
		close(input);
		return status;
	}

	status_t status = B_OK;
	char buffer[8192];
	while (status == B_OK) {
		ssize_t bytesRead = read(input, buffer, sizeof(buffer));
		if (bytesRead < 0 && errno == EINTR)
			continue;
		if (bytesRead < 0)
			status = status_from_errno(errno);
		else if (bytesRead == 0)
			break;
		else
			status = WriteAll(output, buffer, (size_t)bytesRead);
	}
	if (status == B_OK && fsync(output) != 0)
		status = status_from_errno(errno);
	if (close(output) != 0 && status == B_OK)
		status = status_from_errno(errno);
	close(input);

	if (status == B_OK && link(temporary.String(), destination.String()) != 0)
		status = status_from_errno(errno);
	unlink(temporary.String());
	return status;
}


status_t
FindDoorDataFolder(BString* folder)
{
	BString candidates[] = {
		ProgramFolder() << "/../share/drelmoor",
#ifdef DRELMOOR_SOURCE_DIR
		BString(DRELMOOR_SOURCE_DIR "/data"),
#endif
	};
	for (const BString& candidate : candidates) {
		bool complete = true;
		for (const char* name : kDataFiles) {
			BString path = candidate;
			path << "/" << name;
			complete = complete && Exists(path.String());
		}
		if (complete) {
			*folder = candidate;
			return B_OK;
		}
	}
	return B_ENTRY_NOT_FOUND;
}


// The folders above and including the path that do not exist yet, the
// deepest first: what a failed layout removes again.
static std::vector<std::string>
MissingFolders(const BString& path)
{
	std::vector<std::string> missing;
	std::string folder(path.String());
	while (!folder.empty() && folder != "/" && !Exists(folder.c_str())) {
		missing.push_back(folder);
		size_t slash = folder.rfind('/');
		if (slash == std::string::npos)
			break;
		folder.erase(slash);
	}
	return missing;
}


status_t
MakeBootVolume(const BString& dataFolder, BString* report)
{
	BString usersFolder;
	status_t status = resolve_boot_path(kUsersFolder, &usersFolder);
	if (status != B_OK)
		return status;

	// Every file to copy is looked at before anything is made, so that a
	// wrong data folder leaves the machine as it was.
	for (const char* name : kDataFiles) {
		BString source = dataFolder;
		source << "/" << name;
		if (access(source.String(), R_OK) != 0) {
			report->SetTo("there is no data file ");
			*report << source;
			return B_ENTRY_NOT_FOUND;
		}
	}

	std::vector<std::string> madeFolders = MissingFolders(usersFolder);
	std::vector<BString> madeFiles;
	auto undo = [&]() {
		for (const BString& file : madeFiles)
			unlink(file.String());
		for (const std::string& folder : madeFolders)
			rmdir(folder.c_str());
	};

	status = create_directory(usersFolder.String(), 0755);
	if (status != B_OK) {
		undo();
		return status;
	}

	BString installed;
	BString kept;
	for (const char* name : kDataFiles) {
		BString bootPath(kVraskFolder);
		bootPath << name;
		BString destination;
		status = resolve_boot_path(bootPath.String(), &destination);
		if (status != B_OK) {
			undo();
			return status;
		}

		BString& list = Exists(destination.String()) ? kept : installed;
		if (&list == &installed) {
			BString source = dataFolder;
			source << "/" << name;
			status = CopyNewFile(source, destination);
			if (status == B_FILE_EXISTS) {
				// A sysop's file appeared meanwhile: it wins.
				kept << (kept.Length() > 0 ? ", " : "") << name;
				continue;
			}
			if (status != B_OK) {
				if (status == B_ENTRY_NOT_FOUND) {
					report->SetTo("there is no data file ");
					*report << source;
				}
				undo();
				return status;
			}
			madeFiles.push_back(destination);
		}
		list << (list.Length() > 0 ? ", " : "") << name;
	}

	report->SetTo("laid out the boot volume ");
	*report << boot_volume_folder();
	if (installed.Length() > 0)
		*report << "; installed " << installed;
	if (kept.Length() > 0)
		*report << "; kept " << kept;
	return B_OK;
}


status_t
CheckBootVolume(BString* problem)
{
	BString volume = boot_volume_folder();
	if (!IsDirectory(volume.String())) {
		problem->SetTo("no boot volume at ");
		*problem << volume << " (lay one out with: zenbo --make-volume"
			" --volume " << volume << ")";
		return B_ENTRY_NOT_FOUND;
	}

	BString missing;
	for (const char* name : kDataFiles) {
		BString bootPath(kVraskFolder);
		bootPath << name;
		BString path;
		if (resolve_boot_path(bootPath.String(), &path) != B_OK
			|| !Exists(path.String())) {
			missing << (missing.Length() > 0 ? ", " : "") << name;
		}
	}
	if (missing.Length() > 0) {
		problem->SetTo("the boot volume ");
		*problem << volume << " has no door data (missing " << missing
			<< "; lay it out with: zenbo --make-volume --volume " << volume
			<< ")";
		return B_ENTRY_NOT_FOUND;
	}

	// Player files go here; a volume from an older layout may lack it.
	BString usersFolder;
	status_t status = resolve_boot_path(kUsersFolder, &usersFolder);
	if (status == B_OK)
		status = create_directory(usersFolder.String(), 0755);
	if (status != B_OK) {
		problem->SetTo("cannot make the users folder on ");
		*problem << volume << ": " << strerror_status(status);
		return status;
	}
	return B_OK;
}
