#pragma once

#include "AccountStore.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

// The board's accounts in one file of the host's own folder of the boot
// volume (kAccountsPath), never beside the door's data: a line per account,
// the name, a tab and the password's hash. Every change writes the whole
// file to a temporary one, syncs it and renames it over the old, so that a
// crash leaves the old accounts or the new, never half of them. Belongs to
// the host's looper thread.
class AccountFile : public AccountStore {
public:
	explicit					AccountFile(const char* bootPath);

	// Reads the file (a missing one is an empty board). B_BAD_DATA with a
	// message naming the line when the file is broken.
			status_t			Load(BString* problem);

	virtual	status_t			Find(const BString& name, BString* storedName,
									std::string* hash) const override;
	virtual	status_t			Add(const BString& name,
									const std::string& hash) override;

	// The sysop's changes. B_ENTRY_NOT_FOUND for a name nobody registered;
	// *storedName is the name as it was registered.
			bool				IsLoaded() const { return fLoaded; }
	virtual	status_t			SetHash(const BString& name,
									const std::string& hash,
									BString* storedName) override;
			status_t			SetLocked(const BString& name, bool locked,
									BString* storedName);

	// Every account: the name as registered and its hash (with the lock's
	// mark), in the order of their keys.
			std::vector<std::pair<BString, std::string>> Accounts() const;

private:
			status_t			_Save() const;

			BString				fBootPath;
			bool				fLoaded = false;
			// By the name's key; the name as it was registered and its hash.
			std::map<std::string, std::pair<BString, std::string>> fAccounts;
};

#define kAccountsPath "/boot/home/Zenbo/accounts"
