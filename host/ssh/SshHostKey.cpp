#include "SshHostKey.h"

#include <Errors.h>

#include <libssh/libssh.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>


const char* const kSshHostKeyName = "ssh_host_ed25519_key";


SshHostKey::~SshHostKey()
{
	ssh_key_free(fKey);
}


status_t
SshHostKey::LoadOrMake(const char* folder, BString* error)
{
	fPath.SetTo(folder);
	fPath << "/" << kSshHostKeyName;

	struct stat info;
	if (stat(fPath.String(), &info) != 0) {
		if (errno != ENOENT) {
			*error = BString("cannot read the SSH host key ") + fPath + ": "
				+ strerror(errno);
			return status_from_errno(errno);
		}
		return _Make(error);
	}
	if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
		*error = BString("the SSH host key ") + fPath
			+ " may be read by others; make it readable by its owner alone"
			" (chmod 600)";
		return B_NOT_ALLOWED;
	}
	if (ssh_pki_import_privkey_file(fPath.String(), nullptr, nullptr,
			nullptr, &fKey) != SSH_OK
		|| ssh_key_type(fKey) != SSH_KEYTYPE_ED25519) {
		*error = BString("the SSH host key ") + fPath
			+ " is not an Ed25519 private key";
		return B_BAD_DATA;
	}
	return B_OK;
}


BString
SshHostKey::Fingerprint() const
{
	unsigned char* hash = nullptr;
	size_t length = 0;
	if (fKey == nullptr || ssh_get_publickey_hash(fKey,
			SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != SSH_OK)
		return BString();
	char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash,
		length);
	BString fingerprint(text);
	ssh_string_free_char(text);
	ssh_clean_pubkey_hash(&hash);
	return fingerprint;
}


BString
SshHostKey::PublicKeyLine() const
{
	char* base64 = nullptr;
	if (fKey == nullptr || ssh_pki_export_pubkey_base64(fKey, &base64)
			!= SSH_OK)
		return BString();
	BString line("ssh-ed25519 ");
	line << base64;
	ssh_string_free_char(base64);
	return line;
}


status_t
SshHostKey::_Make(BString* error)
{
	char* text = nullptr;
	if (ssh_pki_generate(SSH_KEYTYPE_ED25519, 0, &fKey) != SSH_OK
		|| ssh_pki_export_privkey_base64(fKey, nullptr, nullptr, nullptr,
			&text) != SSH_OK) {
		*error = "cannot make an Ed25519 SSH host key";
		return B_ERROR;
	}

	// Made 0600 from its first byte, so there is no moment in which another
	// user could open it; renamed only when whole, so that a crash leaves
	// either no key (and a new one is made) or the complete one.
	BString temporary = fPath + ".new";
	unlink(temporary.String());
	int fd = open(temporary.String(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
		0600);
	status_t status = B_OK;
	if (fd < 0)
		status = status_from_errno(errno);
	else {
		size_t length = strlen(text);
		ssize_t written = write(fd, text, length);
		if (written < 0 || fsync(fd) != 0)
			status = status_from_errno(errno);
		else if (written != ssize_t(length))
			status = B_IO_ERROR;
		if (close(fd) != 0 && status == B_OK)
			status = status_from_errno(errno);
		if (status == B_OK && rename(temporary.String(), fPath.String()) != 0)
			status = status_from_errno(errno);
	}
	ssh_string_free_char(text);
	if (status != B_OK) {
		unlink(temporary.String());
		*error = BString("cannot write the SSH host key ") + fPath + ": "
			+ strerror_status(status);
	}
	return status;
}
