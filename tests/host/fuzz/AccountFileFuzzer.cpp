// Feeds arbitrary bytes to the host as its accounts file. Nothing may
// crash, hang or leak; a refused file is refused whole, with the line
// named; an accepted one gives every account it holds by its name in any
// case, and survives a save and a load unchanged with one account more.
#include "AccountFile.h"

#include <Errors.h>
#include <String.h>

#include <FuzzVolume.h>

#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <utility>
#include <vector>


// A name no line can hold: board names have no digit first.
static const char* const kNewcomer = "Newcomer";
static const char* const kNewcomerHash = "$argon2id$v=19$m=8,t=1,p=1$fuzz";


static void
Fail(const char* what)
{
	fprintf(stderr, "AccountFileFuzzer: %s\n", what);
	abort();
}


static std::vector<std::pair<std::string, std::string>>
Lines(const uint8_t* data, size_t size)
{
	std::vector<std::pair<std::string, std::string>> accounts;
	std::string content(reinterpret_cast<const char*>(data), size);
	size_t start = 0;
	while (start < content.size()) {
		size_t end = content.find('\n', start);
		if (end == std::string::npos)
			end = content.size();
		std::string line = content.substr(start, end - start);
		size_t tab = line.find('\t');
		accounts.emplace_back(line.substr(0, tab), line.substr(tab + 1));
		start = end + 1;
	}
	return accounts;
}


static std::string
Flipped(const std::string& name)
{
	std::string flipped = name;
	for (char& c : flipped) {
		unsigned char u = (unsigned char)c;
		c = (char)(isupper(u) ? tolower(u) : toupper(u));
	}
	return flipped;
}


static void
CheckHolds(const AccountFile& file,
	const std::vector<std::pair<std::string, std::string>>& accounts)
{
	for (const auto& account : accounts) {
		BString storedName;
		std::string hash;
		if (file.Find(Flipped(account.first).c_str(), &storedName, &hash)
				!= B_OK)
			Fail("an account of the file is not found");
		if (account.first != storedName.String() || account.second != hash)
			Fail("an account comes back changed");
	}
}


extern "C" int
LLVMFuzzerInitialize(int*, char***)
{
	FuzzVolume::Prepare();
	FuzzVolume::MakeFolder("/boot/home/Zenbo");
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	FuzzVolume::WriteFile(kAccountsPath, data, size);
	AccountFile file(kAccountsPath);
	BString problem;
	status_t status = file.Load(&problem);
	if (status != B_OK) {
		if (status != B_BAD_DATA || strstr(problem.String(), "line ") == NULL)
			Fail("a broken file is refused without its line");
		// Nothing of a refused file is kept.
		BString storedName;
		std::string hash;
		for (const auto& account : Lines(data, size)) {
			if (file.Find(account.first.c_str(), &storedName, &hash) == B_OK)
				Fail("an account of a refused file is kept");
		}
		return 0;
	}

	std::vector<std::pair<std::string, std::string>> accounts
		= Lines(data, size);
	CheckHolds(file, accounts);
	BString storedName;
	std::string hash;
	if (file.Find(kNewcomer, &storedName, &hash) == B_OK)
		return 0;
	if (file.Add(kNewcomer, kNewcomerHash) != B_OK)
		Fail("an account cannot be added");
	accounts.emplace_back(kNewcomer, kNewcomerHash);

	AccountFile again(kAccountsPath);
	if (again.Load(&problem) != B_OK)
		Fail("a saved file does not load");
	CheckHolds(again, accounts);
	return 0;
}
