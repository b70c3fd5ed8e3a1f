#include "AccountFile.h"

#include "Board.h"
#include "WriteAll.h"

#include <BootVolume.h>
#include <Errors.h>
#include <ZenboUserName.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>


static const size_t kMaxAccountsFileSize = 64 * 1024 * 1024;
static const char* const kHashPrefix = "$argon2id$";


AccountFile::AccountFile(const char* bootPath)
	:
	fBootPath(bootPath)
{
}


status_t
AccountFile::Load(BString* problem)
{
	BString path;
	status_t status = resolve_boot_path(fBootPath.String(), &path);
	if (status != B_OK)
		return status;
	int file = open(path.String(), O_RDONLY | O_CLOEXEC);
	if (file < 0) {
		if (errno == ENOENT) {
			fLoaded = true;
			return B_OK;
		}
		status = status_from_errno(errno);
		problem->SetTo("cannot read the accounts file ");
		*problem << path << ": " << strerror_status(status);
		return status;
	}
	// A folder in the file's place, a read that fails or a file beyond any
	// board's size is refused as broken: read as far as it went, it would
	// be a board without its accounts, open to anyone registering them anew.
	std::string content;
	char buffer[8192];
	while (status == B_OK) {
		ssize_t bytesRead = read(file, buffer, sizeof(buffer));
		if (bytesRead < 0 && errno == EINTR)
			continue;
		if (bytesRead < 0)
			status = status_from_errno(errno);
		else if (bytesRead == 0)
			break;
		else if (content.size() + (size_t)bytesRead > kMaxAccountsFileSize)
			status = B_BAD_DATA;
		else
			content.append(buffer, (size_t)bytesRead);
	}
	close(file);
	if (status != B_OK) {
		problem->SetTo("cannot read the accounts file ");
		*problem << path << ": " << (status == B_BAD_DATA
			? "larger than any board's accounts" : strerror_status(status));
		return status;
	}

	size_t start = 0;
	int32 lineNumber = 0;
	while (start < content.size()) {
		lineNumber++;
		size_t end = content.find('\n', start);
		if (end == std::string::npos) {
			problem->SetTo("the accounts file ");
			*problem << path << " is broken: line " << lineNumber
				<< " does not end (a cut-off write?)";
			fAccounts.clear();
			return B_BAD_DATA;
		}
		std::string line = content.substr(start, end - start);
		start = end + 1;
		size_t tab = line.find('\t');
		const char* what = NULL;
		if (tab == std::string::npos)
			what = "no tab between the name and the hash";
		else if (JudgeUserName(line.data(), tab) != UserNameProblem::kNone)
			what = "the name is no board name";
		else {
			size_t hash = tab + 1;
			if (hash < line.size() && line[hash] == kLockedAccountMark)
				hash++;
			if (line.compare(hash, strlen(kHashPrefix), kHashPrefix) != 0)
				what = "the hash is no Argon2id hash";
		}
		if (what == NULL) {
			BString name(line.substr(0, tab).c_str());
			std::string key = NameKey(name);
			if (fAccounts.count(key) != 0)
				what = "the name is there twice";
			else
				fAccounts[key] = { name, line.substr(tab + 1) };
		}
		if (what != NULL) {
			problem->SetTo("the accounts file ");
			*problem << path << " is broken at line " << lineNumber << ": "
				<< what;
			fAccounts.clear();
			return B_BAD_DATA;
		}
	}
	fLoaded = true;
	return B_OK;
}


status_t
AccountFile::Find(const BString& name, BString* storedName,
	std::string* hash) const
{
	auto found = fAccounts.find(NameKey(name));
	if (found == fAccounts.end())
		return B_ENTRY_NOT_FOUND;
	*storedName = found->second.first;
	*hash = found->second.second;
	return B_OK;
}


status_t
AccountFile::Add(const BString& name, const std::string& hash)
{
	std::string key = NameKey(name);
	if (fAccounts.count(key) != 0)
		return B_FILE_EXISTS;
	fAccounts[key] = { name, hash };
	status_t status = _Save();
	if (status != B_OK)
		fAccounts.erase(key);
	return status;
}


status_t
AccountFile::SetHash(const BString& name, const std::string& hash,
	BString* storedName)
{
	auto found = fAccounts.find(NameKey(name));
	if (found == fAccounts.end())
		return B_ENTRY_NOT_FOUND;
	std::string old = found->second.second;
	found->second.second = IsLockedAccountHash(old)
		? kLockedAccountMark + hash : hash;
	status_t status = _Save();
	if (status != B_OK)
		found->second.second = old;
	*storedName = found->second.first;
	return status;
}


status_t
AccountFile::SetLocked(const BString& name, bool locked, BString* storedName)
{
	auto found = fAccounts.find(NameKey(name));
	if (found == fAccounts.end())
		return B_ENTRY_NOT_FOUND;
	*storedName = found->second.first;
	std::string old = found->second.second;
	if (IsLockedAccountHash(old) == locked)
		return B_OK;
	found->second.second = locked ? kLockedAccountMark + old : old.substr(1);
	status_t status = _Save();
	if (status != B_OK)
		found->second.second = old;
	return status;
}


std::vector<std::pair<BString, std::string>>
AccountFile::Accounts() const
{
	std::vector<std::pair<BString, std::string>> accounts;
	for (auto& entry : fAccounts)
		accounts.push_back(entry.second);
	return accounts;
}


status_t
AccountFile::_Save() const
{
	BString path;
	status_t status = resolve_boot_path(fBootPath.String(), &path);
	if (status != B_OK)
		return status;
	std::string folder(path.String());
	size_t slash = folder.rfind('/');
	if (slash != std::string::npos && slash > 0) {
		status = create_directory(folder.substr(0, slash).c_str(), 0755);
		if (status != B_OK)
			return status;
	}

	std::string content;
	for (auto& entry : fAccounts) {
		content.append(entry.second.first.String(),
			(size_t)entry.second.first.Length());
		content += '\t';
		content += entry.second.second;
		content += '\n';
	}

	BString temporary = path;
	temporary << ".new";
	int file = open(temporary.String(),
		O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
	if (file < 0)
		return status_from_errno(errno);
	status = WriteAll(file, content.data(), content.size());
	if (status == B_OK && fsync(file) != 0)
		status = status_from_errno(errno);
	if (close(file) != 0 && status == B_OK)
		status = status_from_errno(errno);
	if (status == B_OK && rename(temporary.String(), path.String()) != 0)
		status = status_from_errno(errno);
	if (status != B_OK) {
		unlink(temporary.String());
		return status;
	}
	// The rename itself reaches the disk with the folder.
	int directory = open(folder.substr(0, slash).c_str(),
		O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (directory >= 0) {
		fsync(directory);
		close(directory);
	}
	return B_OK;
}
