#pragma once

#include <String.h>

#include <ctype.h>

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
	// A new password's hash for the account (a locked one stays locked);
	// B_ENTRY_NOT_FOUND for a name nobody registered, another error when
	// the change could not be kept. *storedName is the name as registered.
	virtual	status_t			SetHash(const BString& name,
									const std::string& hash,
									BString* storedName) = 0;
};

// The sysop locks an account by putting this in front of its hash (as a
// shadow file does), so that no password matches it and unlocking gives
// the old password back.
const char kLockedAccountMark = '!';

inline bool
IsLockedAccountHash(const std::string& hash)
{
	return !hash.empty() && hash[0] == kLockedAccountMark;
}


// The key that accounts and the board compare names by.
inline std::string
NameKey(const BString& name)
{
	std::string key(name.String(), (size_t)name.Length());
	for (char& c : key)
		c = (char)tolower((unsigned char)c);
	return key;
}
