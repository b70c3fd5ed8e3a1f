#include "RloginBoards.h"

#include <Errors.h>

#include <sodium.h>

#include <arpa/inet.h>
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>


static const size_t kMaxBoardsFileSize = 1024 * 1024;
static const int32 kMaxCallersLimit = 100000;


static std::vector<std::string>
Split(const std::string& text, char separator)
{
	std::vector<std::string> parts;
	size_t start = 0;
	while (true) {
		size_t end = text.find(separator, start);
		parts.push_back(text.substr(start, end == std::string::npos
			? std::string::npos : end - start));
		if (end == std::string::npos)
			return parts;
		start = end + 1;
	}
}


// Both as IPv6 (an IPv4 address mapped), so that a listener on "::" and
// one on an IPv4 address give the same board the same answer.
static bool
ParseAddress(const std::string& text, in6_addr* address)
{
	in_addr v4;
	if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
		memset(address, 0, sizeof(*address));
		address->s6_addr[10] = 0xff;
		address->s6_addr[11] = 0xff;
		memcpy(address->s6_addr + 12, &v4, sizeof(v4));
		return true;
	}
	return inet_pton(AF_INET6, text.c_str(), address) == 1;
}


// A fixed-length digest of each side, compared in constant time: neither
// the secret's length nor where it differs shows in the time taken.
static bool
SecretsMatch(const std::string& given, const std::string& kept)
{
	unsigned char givenDigest[crypto_generichash_BYTES];
	unsigned char keptDigest[crypto_generichash_BYTES];
	crypto_generichash(givenDigest, sizeof(givenDigest),
		(const unsigned char*)given.data(), given.size(), NULL, 0);
	crypto_generichash(keptDigest, sizeof(keptDigest),
		(const unsigned char*)kept.data(), kept.size(), NULL, 0);
	return sodium_memcmp(givenDigest, keptDigest, sizeof(givenDigest)) == 0;
}


static BString
LineProblem(const char* path, int line, const char* what)
{
	BString problem(path);
	problem << ":" << (int32)line << ": " << what;
	return problem;
}


status_t
RloginBoards::Load(const char* path, BString* problem)
{
	fEntries.clear();
	int file = open(path, O_RDONLY | O_CLOEXEC);
	if (file < 0) {
		if (errno == ENOENT)
			return B_OK;
		status_t status = status_from_errno(errno);
		problem->SetTo(path);
		*problem << ": " << strerror_status(status);
		return status;
	}
	std::string content;
	char buffer[4096];
	ssize_t bytesRead;
	while ((bytesRead = read(file, buffer, sizeof(buffer))) > 0
		&& content.size() <= kMaxBoardsFileSize) {
		content.append(buffer, (size_t)bytesRead);
	}
	close(file);
	if (bytesRead < 0 || content.size() > kMaxBoardsFileSize) {
		problem->SetTo(path);
		*problem << ": cannot be read whole";
		return B_IO_ERROR;
	}

	std::vector<std::string> lines = Split(content, '\n');
	for (size_t i = 0; i < lines.size(); i++) {
		const std::string& line = lines[i];
		if (line.empty() || line[0] == '#')
			continue;
		std::vector<std::string> fields = Split(line, '\t');
		Entry entry;
		if (fields.size() != 4) {
			*problem = LineProblem(path, (int)i + 1,
				"a board has a tag, a secret, its addresses and a limit");
			return B_BAD_DATA;
		}
		entry.tag = fields[0].c_str();
		entry.secret = fields[1];
		entry.addresses = Split(fields[2], ',');
		char* end = NULL;
		long limit = strtol(fields[3].c_str(), &end, 10);
		if (end == fields[3].c_str() || *end != '\0' || limit < 1
			|| limit > kMaxCallersLimit) {
			*problem = LineProblem(path, (int)i + 1,
				"the callers' limit is a whole number of at least 1");
			return B_BAD_DATA;
		}
		entry.maxCallers = (int32)limit;
		BString mistake;
		if (Add(entry, &mistake) != B_OK) {
			*problem = LineProblem(path, (int)i + 1, mistake.String());
			return B_BAD_DATA;
		}
	}
	return B_OK;
}


status_t
RloginBoards::Save(const char* path) const
{
	std::string content = "# The boards whose callers play here over RLogin"
		" (zenbo board add, list,\n# remove): tag, secret, addresses,"
		" callers at once.\n";
	for (const Entry& entry : fEntries) {
		content += entry.tag.String();
		content += "\t" + entry.secret + "\t";
		for (size_t i = 0; i < entry.addresses.size(); i++)
			content += (i > 0 ? "," : "") + entry.addresses[i];
		content += "\t" + std::to_string(entry.maxCallers) + "\n";
	}

	std::string temporary = std::string(path) + ".new";
	int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC
		| O_CLOEXEC | O_NOFOLLOW, 0600);
	if (file < 0)
		return status_from_errno(errno);
	status_t status = fchmod(file, 0600) == 0 ? B_OK
		: status_from_errno(errno);
	size_t written = 0;
	while (status == B_OK && written < content.size()) {
		ssize_t result = write(file, content.data() + written,
			content.size() - written);
		if (result < 0 && errno == EINTR)
			continue;
		if (result < 0)
			status = status_from_errno(errno);
		else
			written += (size_t)result;
	}
	if (status == B_OK && fsync(file) != 0)
		status = status_from_errno(errno);
	if (close(file) != 0 && status == B_OK)
		status = status_from_errno(errno);
	if (status == B_OK && rename(temporary.c_str(), path) != 0)
		status = status_from_errno(errno);
	if (status != B_OK)
		unlink(temporary.c_str());
	return status;
}


status_t
RloginBoards::Add(const Entry& entry, BString* problem)
{
	if (!IsValidTag(entry.tag)) {
		problem->SetTo("a board's tag is 1 to 8 letters and digits");
		return B_BAD_VALUE;
	}
	if (!IsValidSecret(entry.secret)) {
		problem->SetTo("the secret of ");
		*problem << entry.tag << " is not 1 to 64 printable characters"
			" without blanks";
		return B_BAD_VALUE;
	}
	if (entry.addresses.empty()) {
		*problem = entry.tag;
		*problem << " names no address to call from";
		return B_BAD_VALUE;
	}
	for (const std::string& address : entry.addresses) {
		if (!IsValidAddress(address)) {
			*problem = entry.tag;
			*problem << ": not an IP address: " << address.c_str();
			return B_BAD_VALUE;
		}
	}
	if (entry.maxCallers < 1 || entry.maxCallers > kMaxCallersLimit) {
		*problem = entry.tag;
		*problem << ": the callers' limit is a whole number of at least 1";
		return B_BAD_VALUE;
	}
	for (const Entry& other : fEntries) {
		if (strcasecmp(other.tag.String(), entry.tag.String()) == 0) {
			problem->SetTo("there is a board ");
			*problem << other.tag << " already";
			return B_FILE_EXISTS;
		}
	}
	fEntries.push_back(entry);
	return B_OK;
}


bool
RloginBoards::Remove(const BString& tag)
{
	for (auto entry = fEntries.begin(); entry != fEntries.end(); entry++) {
		if (strcasecmp(entry->tag.String(), tag.String()) == 0) {
			fEntries.erase(entry);
			return true;
		}
	}
	return false;
}


RloginBoards::Verdict
RloginBoards::Judge(const std::string& address, const std::string& secret,
	Entry* board) const
{
	in6_addr caller;
	if (!ParseAddress(address, &caller))
		return Verdict::kUnknownAddress;
	Verdict verdict = Verdict::kUnknownAddress;
	// Every board of the address is compared, so that the time taken does
	// not tell which of them matched.
	for (const Entry& entry : fEntries) {
		bool fromThere = false;
		for (const std::string& text : entry.addresses) {
			in6_addr known;
			if (ParseAddress(text, &known)
				&& memcmp(&known, &caller, sizeof(known)) == 0) {
				fromThere = true;
			}
		}
		if (!fromThere)
			continue;
		if (SecretsMatch(secret, entry.secret)) {
			*board = entry;
			verdict = Verdict::kAdmitted;
		} else if (verdict == Verdict::kUnknownAddress)
			verdict = Verdict::kWrongSecret;
	}
	return verdict;
}


bool
RloginBoards::IsValidTag(const BString& tag)
{
	if (tag.Length() < 1 || tag.Length() > kMaxTagLength)
		return false;
	for (int32 i = 0; i < tag.Length(); i++) {
		if (!isalnum((unsigned char)tag.ByteAt(i)))
			return false;
	}
	return true;
}


bool
RloginBoards::IsValidSecret(const std::string& secret)
{
	if (secret.empty() || secret.size() > kMaxSecretLength)
		return false;
	for (char c : secret) {
		if (c <= 0x20 || c >= 0x7f)
			return false;
	}
	return true;
}


bool
RloginBoards::IsValidAddress(const std::string& address)
{
	in6_addr parsed;
	return ParseAddress(address, &parsed);
}


std::string
RloginBoards::NewSecret()
{
	static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
		"abcdefghijklmnopqrstuvwxyz0123456789";
	if (sodium_init() < 0)
		abort();
	std::string secret;
	for (size_t i = 0; i < kNewSecretLength; i++)
		secret += kAlphabet[randombytes_uniform(sizeof(kAlphabet) - 1)];
	return secret;
}
