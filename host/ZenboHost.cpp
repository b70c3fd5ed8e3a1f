#include "ZenboHost.h"

#include "HostLog.h"
#include "HostOptions.h"
#include "HostSignals.h"
#include "HostWorkers.h"
#include "TelnetConnection.h"
#include "TelnetSocket.h"
#include "Terminal.h"
#include "TerminalSocket.h"
#include "UserName.h"

#include <ZenboProtocol.h>

#include <errno.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>


// A door that shows texts faster than the bridge takes them waits for its
// answers once this much is on the way.
static const size_t kMaxOutputBacklog = 64 * 1024;
// A host started by a bridge waits this long for the first terminal.
static const bigtime_t kIdleGrace = 15000000;

static const char* const kDoorClosedNotice = "The door has closed.";
static const char* const kShutdownNotice = "The host is shutting down.";
// How often the board lets time pass (timeouts, idle callers, grace).
static const bigtime_t kTickInterval = 250000;


ZenboHost::ZenboHost(const BString& doorProgram, Lifetime lifetime,
	const BoardSettings& settings)
	:
	BApplication(ZENBO_SIGNATURE),
	fLauncher(doorProgram),
	fLifetime(lifetime),
	fAccounts(kAccountsPath),
	fBoard(settings, fAccounts, *this)
{
}


ZenboHost::~ZenboHost()
{
	// The workers go first: they post to this looper.
	if (fWorkers != NULL)
		fWorkers->Stop();
	fConnections.clear();
	fEndedConnections.clear();
	if (fTelnetListener >= 0)
		close(fTelnetListener);
	if (fTicker >= 0)
		close(fTicker);
	// The socket file goes while the signature is still held, so that it
	// never removes the socket of a host that starts after this one.
	if (fListener >= 0) {
		close(fListener);
		RemoveTerminalSocket();
	}
	fTerminals.clear();
	if (fSignals >= 0)
		close(fSignals);
	if (fIdleTimer >= 0)
		close(fIdleTimer);
}


status_t
ZenboHost::Start(const BString& telnetAddress, BString* problem)
{
	fWorkers = std::make_unique<HostWorkers>(this, fLauncher);

	status_t status;
	if (telnetAddress.Length() > 0) {
		status = fAccounts.Load(problem);
		if (status != B_OK)
			return status;
		BString address;
		uint16 port = 0;
		status = SplitTelnetAddress(telnetAddress, &address, &port);
		if (status == B_OK)
			status = ListenForTelnet(address, port, &fTelnetListener,
				&fTelnetPort);
		if (status != B_OK) {
			problem->SetTo("cannot listen for telnet callers at ");
			*problem << telnetAddress << ": " << strerror_status(status);
			return status;
		}
		status = WatchDescriptor(fTelnetListener, B_DESCRIPTOR_READABLE,
			[this](int, uint32) {
				_AcceptTelnet();
				_DeleteRemovedTerminals();
			});
		if (status == B_OK)
			status = OpenRepeatingTimerDescriptor(kTickInterval,
				kTickInterval, &fTicker);
		if (status == B_OK) {
			status = WatchDescriptor(fTicker, B_DESCRIPTOR_READABLE,
				[this](int, uint32) {
					ReadTimer(fTicker);
					fBoard.Tick();
					_DeleteRemovedTerminals();
				});
		}
		if (status != B_OK) {
			problem->SetTo(strerror_status(status));
			return status;
		}
	}

	status = ListenOnTerminalSocket(&fListener);
	if (status != B_OK) {
		problem->SetTo(strerror_status(status));
		return status;
	}
	status = WatchDescriptor(fListener, B_DESCRIPTOR_READABLE,
		[this](int, uint32) {
			_Accept();
			_DeleteRemovedTerminals();
		});
	if (status != B_OK)
		return status;

	status = OpenSignalDescriptor(&fSignals);
	if (status == B_OK) {
		status = WatchDescriptor(fSignals, B_DESCRIPTOR_READABLE,
			[this](int, uint32) {
				_SignalArrived();
				_DeleteRemovedTerminals();
			});
	}
	if (status != B_OK)
		return status;

	if (fLifetime == Lifetime::kWhileTerminals) {
		status = OpenTimerDescriptor(kIdleGrace, &fIdleTimer);
		if (status == B_OK) {
			status = WatchDescriptor(fIdleTimer, B_DESCRIPTOR_READABLE,
				[this](int, uint32) {
					_IdleTimerFired();
					_DeleteRemovedTerminals();
				});
		}
	}
	return status;
}


void
ZenboHost::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case kGetChar:
			_GetChar(message);
			break;
		case kSendString:
			_SendString(message);
			break;
		case kMsgSeatEntered:
			_Entered(message);
			break;
		case kMsgSeatEnded:
			_SessionEnded(message);
			break;
		case kMsgPasswordHashed:
		{
			int32 caller = 0;
			BString hash;
			message->FindInt32("caller", &caller);
			message->FindString("hash", &hash);
			fBoard.PasswordHashed(caller, hash.String());
			break;
		}
		case kMsgPasswordChecked:
		{
			int32 caller = 0;
			bool matches = false;
			message->FindInt32("caller", &caller);
			message->FindBool("matches", 0, &matches);
			fBoard.PasswordChecked(caller, matches);
			break;
		}
		default:
			BApplication::MessageReceived(message);
			break;
	}
	_DeleteRemovedTerminals();
}


bool
ZenboHost::QuitRequested()
{
	if (!fShuttingDown)
		HostLog("asked to quit");
	_ShutDown();
	return true;
}


// #pragma mark - The door's requests


void
ZenboHost::_GetChar(BMessage* message)
{
	BString userName;
	message->FindString(kUserNameField, &userName);
	Terminal* terminal = _TerminalFor(userName);

	if (terminal == NULL && fBoard.HasSeat(userName)) {
		fBoard.GetChar(userName, DetachCurrentMessage());
		return;
	}
	if (terminal != NULL && !terminal->IsGone()
		&& terminal->fKeyRequest == NULL) {
		// Answered as soon as the user types, from _AnswerRequests.
		terminal->fKeyRequest = DetachCurrentMessage();
		_AnswerRequests(terminal);
		return;
	}

	// An unknown user, one who has gone, or a second request for the same
	// key: the asking session is told that its user is gone.
	BMessage reply(B_REPLY);
	reply.AddInt32(kCharField, 0);
	message->SendReply(&reply);
}


void
ZenboHost::_SendString(BMessage* message)
{
	BString userName;
	message->FindString(kUserNameField, &userName);
	Terminal* terminal = _TerminalFor(userName);
	BString text;
	message->FindString(kStringField, &text);
	if (terminal == NULL && fBoard.HasSeat(userName)) {
		fBoard.SendString(userName, text, DetachCurrentMessage());
		return;
	}
	if (terminal == NULL || terminal->IsGone()) {
		message->SendReply(B_QUIT_REQUESTED);
		return;
	}

	terminal->QueueFrame(kFrameText, std::string(text.String(),
		(size_t)text.Length()));
	_Flush(terminal);
	if (terminal->IsGone()) {
		message->SendReply(B_QUIT_REQUESTED);
		return;
	}
	if (terminal->Output().size() > kMaxOutputBacklog
		|| !terminal->fTextRequests.empty()) {
		// The text is queued; the session waits until the bridge has taken
		// it, so a slow terminal slows the door instead of filling memory.
		terminal->fTextRequests.push_back(DetachCurrentMessage());
		return;
	}
	message->SendReply(B_REPLY);
}


void
ZenboHost::_AnswerRequests(Terminal* terminal)
{
	if (terminal->fKeyRequest != NULL) {
		int32 key = -1;
		if (terminal->HasKey())
			key = (uint8)terminal->TakeKey();
		else if (terminal->InputExhausted() || terminal->IsGone()) {
			terminal->SetGone();
			key = 0;
		}
		if (key >= 0) {
			BMessage reply(B_REPLY);
			reply.AddInt32(kCharField, key);
			terminal->fKeyRequest->SendReply(&reply);
			delete terminal->fKeyRequest;
			terminal->fKeyRequest = NULL;
		}
	}

	while (!terminal->fTextRequests.empty()
		&& (terminal->IsGone()
			|| terminal->Output().size() <= kMaxOutputBacklog)) {
		BMessage* request = terminal->fTextRequests.front();
		terminal->fTextRequests.pop_front();
		request->SendReply(terminal->IsGone() ? B_QUIT_REQUESTED : B_REPLY);
		delete request;
	}
}


// #pragma mark - Terminals


void
ZenboHost::_Accept()
{
	while (true) {
		int descriptor = accept4(fListener, NULL, NULL,
			SOCK_NONBLOCK | SOCK_CLOEXEC);
		if (descriptor < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		if (fShuttingDown) {
			close(descriptor);
			continue;
		}

		int32 id = fNextID++;
		auto terminal = std::make_unique<Terminal>(id, descriptor);
		status_t status = WatchDescriptor(descriptor, B_DESCRIPTOR_READABLE,
			[this, id](int, uint32 events) {
				_TerminalEvent(id, events);
				_DeleteRemovedTerminals();
			});
		if (status != B_OK) {
			HostLog("cannot watch a new terminal: %s",
				strerror_status(status));
			continue;
		}
		fTerminals[id] = std::move(terminal);
		// From now on the host lives as long as its terminals.
		_StopIdleTimer();
	}
}


void
ZenboHost::_TerminalEvent(int32 id, uint32 events)
{
	auto found = fTerminals.find(id);
	if (found == fTerminals.end())
		return;
	Terminal* terminal = found->second.get();

	if ((events & B_DESCRIPTOR_WRITABLE) != 0)
		_Flush(terminal);
	if ((events & (B_DESCRIPTOR_READABLE | B_DESCRIPTOR_HANGUP)) != 0
		&& terminal->IsConnected()) {
		_ReadFrames(terminal);
	}
}


void
ZenboHost::_ReadFrames(Terminal* terminal)
{
	char buffer[4096];
	ssize_t bytesRead = recv(terminal->Descriptor(), buffer, sizeof(buffer),
		0);
	if (bytesRead < 0 && (errno == EAGAIN || errno == EINTR))
		return;
	if (bytesRead <= 0) {
		_HangUp(terminal);
		return;
	}

	terminal->Reader().Feed(buffer, (size_t)bytesRead);
	uint8 type;
	std::string payload;
	status_t status;
	while ((status = terminal->Reader().Next(&type, &payload)) == B_OK) {
		if (terminal->CurrentState() == Terminal::State::kGreeting) {
			if (type != kFrameHello) {
				_HangUp(terminal);
				return;
			}
			_Hello(terminal, payload);
			if (!terminal->IsConnected())
				return;
			continue;
		}
		switch (type) {
			case kFrameKeys:
				terminal->AddKeys(payload.data(), payload.size());
				break;
			case kFrameEndOfInput:
				terminal->EndInput();
				break;
			default:
				_HangUp(terminal);
				return;
		}
	}
	if (status == B_BAD_DATA) {
		_HangUp(terminal);
		return;
	}
	_AnswerRequests(terminal);
}


void
ZenboHost::_Hello(Terminal* terminal, const std::string& payload)
{
	if (payload.empty() || (uint8)payload[0] != kBridgeProtocolVersion) {
		_Goodbye(terminal, kExitFailure,
			"This bridge does not speak this host's protocol.");
		return;
	}
	std::string name = payload.substr(1);
	BString userName(name.c_str());
	UserNameProblem problem = JudgeUserName(name.data(), name.size());
	if (problem != UserNameProblem::kNone) {
		BString notice("\"");
		notice << EscapedUserName(name.data(), name.size())
			<< "\" cannot be a user name: the name "
			<< DescribeUserNameProblem(problem) << ".";
		_Goodbye(terminal, kExitFailure, notice.String());
		return;
	}
	if (fBoard.IsOnBoard(userName)) {
		BString notice(userName);
		notice << " is already on the board.";
		_Goodbye(terminal, kExitFailure, notice.String());
		return;
	}
	if (fUsers.count(userName) != 0) {
		BString notice(userName);
		notice << " is already in the door.";
		_Goodbye(terminal, kExitFailure, notice.String());
		return;
	}

	terminal->SetUserName(userName);
	terminal->SetState(Terminal::State::kInDoor);
	fUsers[userName] = terminal->ID();
	terminal->QueueFrame(kFrameWelcome, std::string());
	_Flush(terminal);

	fWorkers->EnterDoor(terminal->ID(), userName);
}


void
ZenboHost::_Flush(Terminal* terminal)
{
	std::string& output = terminal->Output();
	while (terminal->IsConnected() && !output.empty()) {
		ssize_t written = send(terminal->Descriptor(), output.data(),
			output.size(), MSG_NOSIGNAL);
		if (written < 0 && errno == EINTR)
			continue;
		if (written < 0 && errno == EAGAIN)
			break;
		if (written < 0) {
			_HangUp(terminal);
			return;
		}
		output.erase(0, (size_t)written);
	}
	if (!terminal->IsConnected())
		return;

	// Writability is watched only while output waits, or the loop would
	// wake for nothing.
	bool waiting = !output.empty();
	if (waiting != terminal->fWatchingWritable) {
		terminal->fWatchingWritable = waiting;
		uint32 events = B_DESCRIPTOR_READABLE;
		if (waiting)
			events |= B_DESCRIPTOR_WRITABLE;
		int32 id = terminal->ID();
		UnwatchDescriptor(terminal->Descriptor());
		WatchDescriptor(terminal->Descriptor(), events,
			[this, id](int, uint32 watched) {
				_TerminalEvent(id, watched);
				_DeleteRemovedTerminals();
			});
	}

	if (output.empty() && terminal->IsClosing()) {
		_Remove(terminal);
		return;
	}
	_AnswerRequests(terminal);
}


void
ZenboHost::_HangUp(Terminal* terminal)
{
	if (terminal->IsConnected()) {
		UnwatchDescriptor(terminal->Descriptor());
		terminal->Disconnect();
	}
	// The session is told at its next request and ends; its terminal goes
	// once the entrance has seen its end.
	_AnswerRequests(terminal);
	if (terminal->CurrentState() != Terminal::State::kInDoor)
		_Remove(terminal);
}


void
ZenboHost::_Goodbye(Terminal* terminal, uint8 exitStatus, const char* notice)
{
	if (notice != NULL)
		terminal->QueueFrame(kFrameNotice, notice);
	terminal->QueueFrame(kFrameGoodbye, std::string(1, (char)exitStatus));
	terminal->SetState(Terminal::State::kEnded);
	terminal->SetClosing();
	_Flush(terminal);
	if (!terminal->IsConnected())
		_Remove(terminal);
}


void
ZenboHost::_Remove(Terminal* terminal)
{
	auto user = fUsers.find(terminal->UserName());
	if (user != fUsers.end() && user->second == terminal->ID())
		fUsers.erase(user);
	if (terminal->IsConnected())
		UnwatchDescriptor(terminal->Descriptor());
	auto found = fTerminals.find(terminal->ID());
	if (found != fTerminals.end()) {
		fRemoved.push_back(std::move(found->second));
		fTerminals.erase(found);
	}
	_QuitWhenIdle();
}


void
ZenboHost::_DeleteRemovedTerminals()
{
	fRemoved.clear();
	fEndedConnections.clear();
}


Terminal*
ZenboHost::_TerminalFor(const BString& userName) const
{
	auto user = fUsers.find(userName);
	if (user == fUsers.end())
		return NULL;
	auto terminal = fTerminals.find(user->second);
	return terminal != fTerminals.end() ? terminal->second.get() : NULL;
}


void
ZenboHost::_LogForTerminal(Terminal* terminal, const BString& line)
{
	HostLog("%s", line.String());
	terminal->QueueFrame(kFrameLog, std::string(line.String(),
		(size_t)line.Length()));
	_Flush(terminal);
}


// #pragma mark - Telnet callers


void
ZenboHost::_AcceptTelnet()
{
	while (true) {
		int descriptor = -1;
		BString address;
		if (AcceptTelnetCaller(fTelnetListener, &descriptor, &address)
				!= B_OK) {
			return;
		}
		if (fShuttingDown) {
			close(descriptor);
			continue;
		}
		auto connection = std::make_unique<TelnetConnection>(this, fBoard,
			descriptor, address, [this](TelnetConnection* ended) {
				_ConnectionEnded(ended);
			});
		TelnetConnection* added = connection.get();
		fConnections[added] = std::move(connection);
		status_t status = added->Start();
		if (status != B_OK) {
			HostLog("cannot watch a telnet caller: %s",
				strerror_status(status));
			_ConnectionEnded(added);
		}
	}
}


void
ZenboHost::_ConnectionEnded(TelnetConnection* connection)
{
	auto found = fConnections.find(connection);
	if (found == fConnections.end())
		return;
	// Deleted once the current event is handled: the connection is still
	// on the stack.
	fEndedConnections.push_back(std::move(found->second));
	fConnections.erase(found);
}


// #pragma mark - Workers' reports


void
ZenboHost::_Entered(BMessage* message)
{
	int32 id = -1;
	int32 status = B_ERROR;
	BString error;
	BString threadName;
	int32 team = -1;
	message->FindInt32("seat", &id);
	message->FindInt32("status", &status);
	message->FindString("error", &error);
	message->FindString("thread", &threadName);
	message->FindInt32("team", &team);

	auto found = fTerminals.find(id);
	if (found == fTerminals.end()) {
		fBoard.Entered(id, status, error);
		return;
	}
	Terminal* terminal = found->second.get();

	BString line(terminal->UserName());
	if (status != B_OK) {
		line << " could not enter the door: " << error;
		HostLog("%s", line.String());
		_Goodbye(terminal, kExitFailure, error.String());
		return;
	}
	line << " entered the door (session " << threadName << ", team " << team
		<< ")";
	_LogForTerminal(terminal, line);
}


void
ZenboHost::_SessionEnded(BMessage* message)
{
	int32 id = -1;
	int32 team = -1;
	message->FindInt32("seat", &id);
	message->FindInt32("team", &team);
	auto found = fTerminals.find(id);
	if (found == fTerminals.end()) {
		fBoard.SessionEnded(id, team >= 0 && fLauncher.DiedAbnormally(team));
		return;
	}
	Terminal* terminal = found->second.get();

	// A session that ends on its own is never waiting for the host; one
	// that ends while its request waits here was killed with its door.
	bool doorDied = team >= 0 && fLauncher.DiedAbnormally(team);
	bool doorClosed = doorDied || terminal->HasWaitingRequests();
	BString line(terminal->UserName());
	if (doorClosed)
		line << "'s session ended: the door closed";
	else
		line << " left the door";
	_LogForTerminal(terminal, line);

	// Nobody waits for these answers any more.
	delete terminal->fKeyRequest;
	terminal->fKeyRequest = NULL;
	for (BMessage* request : terminal->fTextRequests)
		delete request;
	terminal->fTextRequests.clear();

	if (doorClosed)
		_Goodbye(terminal, kExitDoorClosed, kDoorClosedNotice);
	else
		_Goodbye(terminal, kExitSessionEnded, NULL);
}


// #pragma mark - Life of the host


void
ZenboHost::_SignalArrived()
{
	int signalNumber;
	while ((signalNumber = ReadSignal(fSignals)) != 0) {
		if (signalNumber == SIGCHLD) {
			fLauncher.ReapDoors();
			continue;
		}
		if (!fShuttingDown) {
			HostLog("stopping on signal %d", signalNumber);
			_ShutDown();
			Quit();
			return;
		}
	}
}


void
ZenboHost::_IdleTimerFired()
{
	_StopIdleTimer();
	_QuitWhenIdle();
}


void
ZenboHost::_StopIdleTimer()
{
	if (fIdleTimer < 0)
		return;
	UnwatchDescriptor(fIdleTimer);
	close(fIdleTimer);
	fIdleTimer = -1;
}


void
ZenboHost::_ShutDown()
{
	if (fShuttingDown)
		return;
	fShuttingDown = true;
	if (fListener >= 0) {
		UnwatchDescriptor(fListener);
		close(fListener);
		fListener = -1;
		RemoveTerminalSocket();
	}
	if (fTelnetListener >= 0) {
		UnwatchDescriptor(fTelnetListener);
		close(fTelnetListener);
		fTelnetListener = -1;
	}
	fBoard.ShutDown(kShutdownNotice);

	// Every session is told that its user is gone; the queued requests
	// of sessions are released with B_NO_REPLY as the loop ends.
	std::vector<Terminal*> terminals;
	for (auto& entry : fTerminals)
		terminals.push_back(entry.second.get());
	for (Terminal* terminal : terminals) {
		terminal->SetGone();
		_AnswerRequests(terminal);
		if (terminal->IsConnected())
			_Goodbye(terminal, kExitFailure, kShutdownNotice);
	}
}


void
ZenboHost::_QuitWhenIdle()
{
	if (fLifetime != Lifetime::kWhileTerminals || fShuttingDown
		|| !fTerminals.empty() || fIdleTimer >= 0) {
		// Before the first terminal, the idle timer decides.
		return;
	}
	HostLog("the last terminal has gone; the host ends");
	_ShutDown();
	Quit();
}


// #pragma mark - What the board asks of the host


bigtime_t
ZenboHost::Now()
{
	return system_time();
}


int32
ZenboHost::NewSeatID()
{
	return fNextID++;
}


bool
ZenboHost::IsNameInDoorElsewhere(const BString& name)
{
	std::string key = NameKey(name);
	for (auto& entry : fUsers) {
		if (NameKey(entry.first) == key)
			return true;
	}
	return false;
}


void
ZenboHost::EnterDoor(int32 seat, const BString& name)
{
	fWorkers->EnterDoor(seat, name);
}


void
ZenboHost::AnswerKey(BMessage* request, int32 key)
{
	BMessage reply(B_REPLY);
	reply.AddInt32(kCharField, key);
	request->SendReply(&reply);
	delete request;
}


void
ZenboHost::AnswerText(BMessage* request, bool gone)
{
	request->SendReply(gone ? B_QUIT_REQUESTED : B_REPLY);
	delete request;
}


void
ZenboHost::HashPassword(int32 caller, const std::string& password)
{
	fWorkers->HashPassword(caller, password);
}


void
ZenboHost::CheckPassword(int32 caller, const std::string& hash,
	const std::string& password)
{
	fWorkers->CheckPassword(caller, hash, password);
}
