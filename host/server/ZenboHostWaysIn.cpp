#include "ZenboHost.h"

#include "BootVolumeSetup.h"
#include "Bulletin.h"
#include "CharacterSet.h"
#include "HostLog.h"
#include "HostOptions.h"
#include "RloginCallers.h"
#include "SshCallers.h"
#include "WebCallers.h"

#include <BootVolume.h>

#include <algorithm>

#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>


// #pragma mark - The ways in from the network


// The accounts and each way in that has an address.
status_t
ZenboHost::_StartNetwork(const WaysIn& ways, BString* problem)
{
	status_t status = fAccounts.Open(AccountDatabase::Access::kReadWrite,
		problem);
	fTelnetGate.Trust(ways.trustedProxies);
	fGate.SetSharedAddresses(ways.trustedProxies);
	if (status == B_OK && ways.telnet.Length() > 0)
		status = _StartTelnet(ways.telnet, problem);
	if (status == B_OK && ways.ssh.Length() > 0)
		status = _StartSsh(ways, problem);
	if (status == B_OK && ways.web.Length() > 0)
		status = _StartWeb(ways, problem);
	if (status == B_OK && ways.rlogin.Length() > 0)
		status = _StartRlogin(ways, problem);
	return status;
}


status_t
ZenboHost::_StartTelnet(const BString& telnetAddress, BString* problem)
{
	BString address;
	uint16 port = 0;
	status_t status = SplitTelnetAddress(telnetAddress, &address, &port);
	fTelnetListener.SetGate(&fGate);
	if (status == B_OK)
		status = fTelnetListener.ListenOnTcp(address.String(), port);
	if (status != B_OK) {
		problem->SetTo("cannot listen for telnet callers at ");
		*problem << telnetAddress << ": " << strerror_status(status);
	}
	return status;
}


uint16
ZenboHost::SshPort() const
{
	return fSshCallers != NULL ? fSshCallers->Port() : 0;
}


uint16
ZenboHost::WebPort() const
{
	return fWebCallers != NULL ? fWebCallers->Port() : 0;
}


// The host key lives beside the accounts, made at the first start and
// kept, so that callers who pinned it keep trusting the board.
status_t
ZenboHost::_StartSsh(const WaysIn& ways, BString* problem)
{
	BString folder;
	status_t status = resolve_boot_path(kHostFolderPath, &folder);
	if (status == B_OK)
		status = create_directory(folder.String(), 0755);
	if (status != B_OK) {
		problem->SetTo("cannot make the host's folder " kHostFolderPath ": ");
		*problem << strerror_status(status);
		return status;
	}
	BString keyPath = folder;
	keyPath << "/" << kSshHostKeyName;
	struct stat info;
	bool made = stat(keyPath.String(), &info) != 0;
	status = fSshHostKey.LoadOrMake(folder.String(), problem);
	if (status != B_OK)
		return status;
	if (made)
		HostLog("made the SSH host key %s", keyPath.String());
	HostLog("the SSH host key's fingerprint is %s",
		fSshHostKey.Fingerprint().String());

	BString address;
	uint16 port = 0;
	if (SplitTelnetAddress(ways.ssh, &address, &port) != B_OK) {
		problem->SetTo("not an address for SSH callers: ");
		*problem << ways.ssh;
		return B_BAD_VALUE;
	}
	TerminalKeeper& keeper = *this;
	fSshCallers = std::make_unique<SshCallers>(*this, fBoard, fSshHostKey,
		keeper);
	fSshCallers->TrustProxies(ways.trustedProxies);
	fSshCallers->SetGate(&fGate);
	return fSshCallers->Listen(address.String(), port, problem);
}


// The Wall of Fame as the board's page, read from the characters as they
// are now: a visitor sees who stands where before calling.
static std::string
FamePage(DoorCharset charset)
{
	std::vector<CharacterListing::Character> entries;
	if (CharacterListing::ReadAll(&entries) != B_OK)
		entries.clear();
	for (CharacterListing::Character& entry : entries) {
		entry.name = CharacterSet::Utf8Text(charset, entry.name.String())
			.c_str();
		entry.weapon = CharacterSet::Utf8Text(charset,
			entry.weapon.String()).c_str();
		entry.armor = CharacterSet::Utf8Text(charset, entry.armor.String())
			.c_str();
	}
	time_t now = time(NULL);
	struct tm local;
	localtime_r(&now, &local);
	char date[16];
	strftime(date, sizeof(date), "%Y-%m-%d", &local);
	return FormatFamePage(entries, date);
}


// The page comes from the host's installed files, beside the program as
// the door's data files are; nothing is fetched when it runs.
status_t
ZenboHost::_StartWeb(const WaysIn& ways, BString* problem)
{
	BString address;
	uint16 port = 0;
	if (SplitTelnetAddress(ways.web, &address, &port) != B_OK) {
		problem->SetTo("not an address for the web terminal: ");
		*problem << ways.web;
		return B_BAD_VALUE;
	}
	BString pageFolder = ProgramFolder();
	pageFolder << "/../share/zenbo/web";
	TerminalKeeper& keeper = *this;
	fWebCallers = std::make_unique<WebCallers>(*this, fBoard, keeper);
	fWebCallers->SetGate(&fGate);
	if (ways.webOrigin.Length() > 0)
		fWebCallers->AllowOrigin(ways.webOrigin.String());
	fWebCallers->TrustProxies(ways.trustedProxies);
	DoorCharset charset = fBoard.Settings().charset;
	fWebCallers->SetFameSource([charset]() { return FamePage(charset); });
	return fWebCallers->Listen(pageFolder.String(), address.String(), port,
		problem);
}


uint16
ZenboHost::RloginPort() const
{
	return fRloginCallers != NULL ? fRloginCallers->Port() : 0;
}


// The boards file lives beside the accounts, its secrets readable by the
// host's user alone.
status_t
ZenboHost::_StartRlogin(const WaysIn& ways, BString* problem)
{
	BString address;
	uint16 port = 0;
	if (SplitTelnetAddress(ways.rlogin, &address, &port) != B_OK) {
		problem->SetTo("not an address for RLogin calls: ");
		*problem << ways.rlogin;
		return B_BAD_VALUE;
	}
	BString boardsPath;
	status_t status = resolve_boot_path(kBoardsFilePath, &boardsPath);
	if (status != B_OK) {
		problem->SetTo("cannot find the boards file " kBoardsFilePath ": ");
		*problem << strerror_status(status);
		return status;
	}
	TerminalKeeper& keeper = *this;
	fRloginCallers = std::make_unique<RloginCallers>(*this, fBoard, keeper,
		boardsPath, ways.boards);
	fRloginCallers->SetGate(&fGate);
	fRloginCallers->SetPacer(&fPacer);
	return fRloginCallers->Listen(address.String(), port, problem);
}


// Descriptors a caller may hold at once, whatever the way in: the
// connection, and for a caller in the door its share of the door's
// messaging; an SSH caller's session has a few of libssh's besides.
static const rlim_t kDescriptorsPerCaller = 4;
// The host's own: listeners, timers, the door, the logs, the workers.
static const rlim_t kHostDescriptors = 64;


// A limit too low for the settings makes callers wait at the door of a
// full table: the soft limit is raised as far as the hard one lets, and
// the sysop is told when that is still too little.
void
ZenboHost::_CheckDescriptorLimit()
{
	rlim_t wanted = kHostDescriptors
		+ (rlim_t)fSettings.maxCallers * kDescriptorsPerCaller
		+ (rlim_t)fSettings.maxPending
		+ (rlim_t)Listener::kDescriptorReserve;
	struct rlimit limit;
	if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
		return;
	if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
		struct rlimit raised = limit;
		raised.rlim_cur = limit.rlim_max == RLIM_INFINITY
			? wanted : std::min(wanted, limit.rlim_max);
		if (raised.rlim_cur > limit.rlim_cur
			&& setrlimit(RLIMIT_NOFILE, &raised) == 0) {
			limit = raised;
		}
	}
	if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
		HostLog("the descriptor limit (%llu) is too low for --max-callers %d"
			" and --max-prelogin %d: about %llu are needed; raise it"
			" (LimitNOFILE= in the service, ulimit -n)",
			(unsigned long long)limit.rlim_cur, (int)fSettings.maxCallers,
			(int)fSettings.maxPending, (unsigned long long)wanted);
	}
}
