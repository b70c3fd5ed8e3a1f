#pragma once

#include <String.h>

#include <string>

// The board's accounts, as the board consults them at login: a name (judged
// by the rule for user names, compared without regard to case) and the hash
// of its password. Hashing and checking passwords is the job of
// PasswordHash, off the host's looper; a store only keeps what it is given.
class AccountStore {
public:
	virtual						~AccountStore() = default;

	// B_OK with the hash and the name as it was registered;
	// B_ENTRY_NOT_FOUND for a name nobody registered.
	virtual	status_t			Find(const BString& name, BString* storedName,
									std::string* hash) const = 0;
	// B_FILE_EXISTS when the name (in any case) is taken; another error
	// when the account could not be kept.
	virtual	status_t			Add(const BString& name,
									const std::string& hash) = 0;
};
