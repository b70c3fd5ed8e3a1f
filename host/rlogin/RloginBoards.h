#pragma once

#include <String.h>

#include <string>
#include <vector>

// Where the sysop's commands keep the boards, beside the accounts.
#define kBoardsFilePath "/boot/home/Zenbo/boards"

// The boards whose callers this host serves over RLogin, each with its
// tag (its callers are Name@TAG here), the secret it sends as its user
// name, the addresses it calls from and how many of its callers may play
// at once. The sysop keeps them in the host's folder (zenbo board add,
// list, remove), a file only its owner may read, and may name more in the
// config file; the host reads the file again when it changed. A secret is
// compared in constant time, so its length and its first wrong byte are
// not to be learnt from the answer's time.
class RloginBoards {
public:
	struct Entry {
		BString				tag;
		std::string			secret;
		std::vector<std::string> addresses;
		int32				maxCallers = 20;
	};

	enum class Verdict {
		kAdmitted,
		kUnknownAddress,	// no board calls from there
		kWrongSecret,
	};

	static constexpr int32	kMaxTagLength = 8;
	static constexpr size_t	kMaxSecretLength = 64;
	// What zenbo board add makes: letters and digits, about 119 bits.
	static constexpr size_t	kNewSecretLength = 20;

	// The boards file: a line per board, its fields apart by tabs (tag,
	// secret, addresses apart by commas, the callers' limit); a line that
	// starts with "#" is a comment. A missing file is no board. A mistake
	// names the line.
	[[nodiscard]] status_t	Load(const char* path, BString* problem);
	// Written whole (a temporary file only its owner may read, synced,
	// renamed over the old), so a reader never sees half of it.
	[[nodiscard]] status_t	Save(const char* path) const;

	// Entries of the config file beside those of the boards file; a tag in
	// both is a mistake.
	[[nodiscard]] status_t	Add(const Entry& entry, BString* problem);
			bool			Remove(const BString& tag);
			const std::vector<Entry>& Entries() const { return fEntries; }

	// The board that calls from the address with the secret.
			Verdict			Judge(const std::string& address,
								const std::string& secret,
								Entry* board) const;

	// Letters and digits, 1 to kMaxTagLength of them.
	static	bool			IsValidTag(const BString& tag);
	// Printable ASCII without blanks, 1 to kMaxSecretLength bytes.
	static	bool			IsValidSecret(const std::string& secret);
	// A numeric IPv4 or IPv6 address, in its written form.
	static	bool			IsValidAddress(const std::string& address);
	[[nodiscard]] static	std::string	NewSecret();

private:
			std::vector<Entry>	fEntries;
};
