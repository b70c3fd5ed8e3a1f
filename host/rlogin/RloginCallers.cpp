#include "RloginCallers.h"

#include "Board.h"
#include "HostLog.h"
#include "RloginConnection.h"
#include "TerminalKeeper.h"

#include <ZenboUserName.h>

#include <sys/stat.h>
#include <unistd.h>


static const char* const kRefusedNotice
	= "This server does not take calls from your board.\n";


RloginCallers::RloginCallers(BLooper& looper, Board& board,
	TerminalKeeper& keeper, const BString& boardsPath,
	const RloginBoards& configured)
	:
	fLooper(looper),
	fBoard(board),
	fKeeper(keeper),
	fBoardsPath(boardsPath),
	fConfigured(configured),
	fListener(looper,
		[this](int descriptor, const BString& address,
				const PeerGate::Pass& pass) {
			_Arrived(descriptor, address, pass);
		},
		[](const BString& notice) {
			HostLog("rlogin: %s", notice.String());
		})
{
}


RloginCallers::~RloginCallers()
{
}


status_t
RloginCallers::Listen(const char* address, uint16 port, BString* problem)
{
	fBoards = fConfigured;
	RloginBoards fromFile;
	status_t status = fromFile.Load(fBoardsPath.String(), problem);
	if (status != B_OK)
		return status;
	for (const RloginBoards::Entry& entry : fromFile.Entries()) {
		BString mistake;
		status = fBoards.Add(entry, &mistake);
		if (status != B_OK) {
			*problem = fBoardsPath;
			*problem << ": " << mistake << " (in the config file too)";
			return status;
		}
	}
	struct stat info;
	if (stat(fBoardsPath.String(), &info) == 0)
		fBoardsChanged = (int64)info.st_mtim.tv_sec * 1000000000
			+ info.st_mtim.tv_nsec;
	for (const RloginBoards::Entry& entry : fBoards.Entries()) {
		if (entry.secret.size() < 16) {
			HostLog("the secret of the board %s is short; zenbo board add"
				" makes one of %d characters", entry.tag.String(),
				(int)RloginBoards::kNewSecretLength);
		}
	}

	status = fListener.ListenOnTcp(address, port);
	if (status != B_OK) {
		problem->SetTo("cannot listen for RLogin calls at ");
		*problem << address << " port " << (int32)port << ": "
			<< strerror_status(status);
	}
	return status;
}


void
RloginCallers::RefuseCallers()
{
	fListener.Stop();
}


RloginCallers::Judgement
RloginCallers::Judge(RloginConnection* connection, const std::string& address,
	const std::string& secret, const std::string& name)
{
	Judgement judgement;
	judgement.failureKey = FailureKey(address);
	judgement.notice = kRefusedNotice;
	if (fBoard.IsLocked(judgement.failureKey)) {
		HostLog("refused an RLogin call from %s: the address is locked",
			address.c_str());
		return judgement;
	}
	_ReloadIfChanged();
	RloginBoards::Entry board;
	switch (fBoards.Judge(address, secret, &board)) {
		case RloginBoards::Verdict::kUnknownAddress:
			HostLog("refused an RLogin call from %s: no board calls from"
				" there", address.c_str());
			return judgement;
		case RloginBoards::Verdict::kWrongSecret:
			HostLog("refused an RLogin call from %s for \"%s\": a wrong"
				" secret", address.c_str(), EscapedUserName(BString(
					name.c_str(), (int32)name.size())).String());
			return judgement;
		case RloginBoards::Verdict::kAdmitted:
			break;
	}
	std::string tag(board.tag.String());
	int32 callers = 0;
	for (auto& entry : fAdmitted) {
		if (entry.second == tag)
			callers++;
	}
	if (callers >= board.maxCallers) {
		HostLog("refused a call of %s's board: its %d callers are on",
			tag.c_str(), (int)callers);
		judgement.failureKey.clear();
		judgement.notice = "All the callers your board may have here are"
			" playing; please call again later.\n";
		return judgement;
	}
	fAdmitted[connection] = tag;
	judgement.admitted = true;
	judgement.tag = board.tag;
	judgement.failureKey.clear();
	judgement.notice.clear();
	return judgement;
}


std::string
RloginCallers::FailureKey(const std::string& address)
{
	return std::string("\1rlogin ") + address;
}


void
RloginCallers::ConnectionEnded(RloginConnection* connection)
{
	fAdmitted.erase(connection);
	fKeeper.TerminalEnded(connection);
}


void
RloginCallers::_Arrived(int descriptor, const BString& address,
	const PeerGate::Pass& pass)
{
	auto connection = std::make_unique<RloginConnection>(&fLooper, fBoard,
		*this, descriptor, address);
	RloginConnection* added = connection.get();
	added->SetPass(pass);
	added->SetPacer(fPacer);
	fKeeper.KeepTerminal(std::move(connection));
	if (added->Start() != B_OK) {
		HostLog("cannot watch an RLogin call from %s", address.String());
		fKeeper.TerminalEnded(added);
	}
}


// The sysop edits the boards file while the host runs (zenbo board add,
// remove); a file that cannot be read keeps the boards as they were.
void
RloginCallers::_ReloadIfChanged()
{
	struct stat info;
	int64 changed = -1;
	if (stat(fBoardsPath.String(), &info) == 0)
		changed = (int64)info.st_mtim.tv_sec * 1000000000
			+ info.st_mtim.tv_nsec;
	if (changed == fBoardsChanged)
		return;
	RloginBoards fromFile;
	BString problem;
	if (fromFile.Load(fBoardsPath.String(), &problem) != B_OK) {
		HostLog("the boards file cannot be used (%s); the boards stay as"
			" they were", problem.String());
		return;
	}
	RloginBoards boards = fConfigured;
	for (const RloginBoards::Entry& entry : fromFile.Entries()) {
		BString mistake;
		if (boards.Add(entry, &mistake) != B_OK) {
			HostLog("the boards file cannot be used (%s); the boards stay as"
				" they were", mistake.String());
			return;
		}
	}
	fBoards = boards;
	fBoardsChanged = changed;
	HostLog("read the boards file again: %d boards",
		(int)fBoards.Entries().size());
}
