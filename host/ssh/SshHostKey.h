#pragma once

#include <String.h>
#include <SupportDefs.h>

struct ssh_key_struct;

// The host's SSH identity: one Ed25519 key, made at the first start in the
// host's folder and used ever after, so that callers who pinned it are not
// told the board changed. The private key file is readable by the host's
// user alone; a file that others may read is refused rather than used, as
// OpenSSH refuses one. Made on the host's thread before it listens; it
// knows nothing of connections.
class SshHostKey {
public:
								SshHostKey() = default;
								SshHostKey(const SshHostKey&) = delete;
			SshHostKey&			operator=(const SshHostKey&) = delete;
								~SshHostKey();

	// Loads folder/name, or makes it (written whole under a temporary name,
	// synced, then renamed) when there is none yet.
	[[nodiscard]] status_t		LoadOrMake(const char* folder,
									BString* error);

	// "SHA256:..." as ssh-keygen -l and the OpenSSH client print it.
			BString				Fingerprint() const;
	// "ssh-ed25519 AAAA...", for a caller's known_hosts file.
			BString				PublicKeyLine() const;
			BString				Path() const { return fPath; }

			ssh_key_struct*		Key() const { return fKey; }

private:
			status_t			_Make(BString* error);

			ssh_key_struct*		fKey = nullptr;
			BString				fPath;
};

// The file name of the host key in the host's folder.
extern const char* const kSshHostKeyName;
