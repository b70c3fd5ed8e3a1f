#include "ZenboHost.h"

#include "BootVolumeSetup.h"
#include "BridgeConnection.h"
#include "CharacterListing.h"
#include "DoorRequests.h"
#include "HostLog.h"
#include "HostOptions.h"
#include "HostSignals.h"
#include "HostWorkers.h"
#include "RloginCallers.h"
#include "SshCallers.h"
#include "SysopConnection.h"
#include "SysopSocket.h"
#include "TelnetConnection.h"
#include "TerminalSocket.h"
#include "WebCallers.h"

#include <BootVolume.h>
#include <ZenboProtocol.h>
#include <ZenboUserName.h>

#include <errno.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>


// A host started by a bridge waits this long for the first terminal.
static const bigtime_t kIdleGrace = 15000000;
// How often the board lets time pass (timeouts, idle callers, grace).
static const bigtime_t kTickInterval = 250000;

// How long a stopping host lets its sessions end and its door quit by
// itself (every player is saved as of the last prompt, a fight as far as
// it was shown, and the door saves nothing else), then how long after each signal to the door; well within
// the service's stop timeout.
static const bigtime_t kStopGrace = 10000000;
static const bigtime_t kStopSignalGrace = 3000000;

static const char* const kShutdownNotice = "The host is shutting down.";

// Connections that ended outside of the host's own handlers (an SSH or a
// web caller's, in their listeners') are deleted when this arrives.
static const uint32 kMsgConnectionsEnded = 'Cend';


ZenboHost::ZenboHost(const BString& doorProgram, Lifetime lifetime,
	const BoardSettings& settings)
	:
	BApplication(ZENBO_SIGNATURE),
	fGate(settings.maxPending, settings.maxPendingPerAddress),
	fPacer(*this),
	fSettings(settings),
	fLauncher(doorProgram),
	fLifetime(lifetime),
	fAccounts(kRecordsPath, kAccountsPath),
	fBoard(settings, fAccounts, *this),
	fDesk(fBoard, fAccounts),
	fDoorRequests(fBoard),
	fWorkerReports(fBoard, fLauncher),
	fBridgeListener(*this,
		[this](int descriptor, const BString&, const PeerGate::Pass&) {
			_BridgeArrived(descriptor);
			_AfterEvent();
		}),
	fTelnetListener(*this,
		// The proxy gate hands the caller on, at once or after the
		// proxy's header, with its place among those not logged in.
		[this](int descriptor, const BString& address,
				const PeerGate::Pass& pass) {
			fTelnetGate.Accept(descriptor, address, pass);
		},
		[](const BString& notice) {
			HostLog("telnet: %s", notice.String());
		}),
	fTelnetGate(*this,
		[this](int descriptor, const BString& address,
				const PeerGate::Pass& pass) {
			_TelnetArrived(descriptor, address, pass);
			_AfterEvent();
		},
		[](const BString& proxy, const char* problem) {
			HostLog("telnet %s: dropped a connection of the proxy: %s",
				proxy.String(), problem);
		}),
	fSysopListener(*this,
		[this](int descriptor, const BString&, const PeerGate::Pass&) {
			_SysopArrived(descriptor);
			_AfterEvent();
		})
{
}


ZenboHost::~ZenboHost()
{
	// The workers go first: they post to this looper.
	if (fWorkers != NULL)
		fWorkers->Stop();
	_StopListening();
	fConnections.Clear();
	fSshCallers.reset();
	fWebCallers.reset();
	fRloginCallers.reset();
	for (int descriptor : { fTicker, fSignals, fIdleTimer, fStopTimer }) {
		if (descriptor >= 0)
			close(descriptor);
	}
}


status_t
ZenboHost::Start(const BString& telnetAddress, BString* problem)
{
	WaysIn ways;
	ways.telnet = telnetAddress;
	return Start(ways, problem);
}


status_t
ZenboHost::Start(const WaysIn& ways, BString* problem)
{
	fWorkers = std::make_unique<HostWorkers>(this, fLauncher);
	fBoard.SetCallLog(&fAccounts);
	status_t status = B_OK;
	if (ways.telnet.Length() > 0 || ways.ssh.Length() > 0
		|| ways.web.Length() > 0 || ways.rlogin.Length() > 0) {
		_CheckDescriptorLimit();
		status = _StartNetwork(ways, problem);
	} else {
		// A host of bridges alone logs their calls when it can; its
		// callers need no accounts, so records it cannot open stop nothing.
		BString recordsProblem;
		if (fAccounts.Open(AccountDatabase::Access::kReadWrite,
				&recordsProblem) != B_OK) {
			HostLog("the board keeps no log of calls: %s",
				recordsProblem.String());
		}
	}
	if (status == B_OK)
		status = _StartLocal();
	if (status == B_OK)
		status = _StartTicker();
	if (status != B_OK && problem->Length() == 0)
		problem->SetTo(strerror_status(status));
	return status;
}


// The board's clock. It runs for every host, one started by a bridge too:
// a bridge's caller may have a time that another board left them.
status_t
ZenboHost::_StartTicker()
{
	status_t status = OpenRepeatingTimerDescriptor(kTickInterval,
		kTickInterval, &fTicker);
	if (status == B_OK) {
		status = WatchDescriptor(fTicker, B_DESCRIPTOR_READABLE,
			[this](int, uint32) {
				ReadTimer(fTicker);
				fBoard.Tick();
				_AfterEvent();
			});
	}
	return status;
}


// The bridges' terminal socket, the sysop's socket, the signals and, for
// a host started by a bridge, the wait for its first terminal.
status_t
ZenboHost::_StartLocal()
{
	int descriptor = -1;
	status_t status = ListenOnTerminalSocket(&descriptor);
	if (status == B_OK)
		status = fBridgeListener.Adopt(descriptor);
	if (status == B_OK)
		status = ListenOnSysopSocket(&descriptor);
	if (status == B_OK)
		status = fSysopListener.Adopt(descriptor);
	if (status == B_OK)
		status = OpenSignalDescriptor(&fSignals);
	if (status == B_OK)
		status = _WatchReadable(fSignals, &ZenboHost::_SignalArrived);
	if (status == B_OK && fLifetime == Lifetime::kWhileTerminals) {
		status = OpenTimerDescriptor(kIdleGrace, &fIdleTimer);
		if (status == B_OK)
			status = _WatchReadable(fIdleTimer, &ZenboHost::_IdleTimerFired);
	}
	return status;
}


void
ZenboHost::MessageReceived(BMessage* message)
{
	// A message that ended connections outside of the host's own handlers
	// has nothing else to do: they are deleted after the event, below.
	if (message->what != kMsgConnectionsEnded
		&& !fDoorRequests.Handle(*this, message)
		&& !fWorkerReports.Handle(message)) {
		BApplication::MessageReceived(message);
	}
	_AfterEvent();
}


bool
ZenboHost::QuitRequested()
{
	if (!fShuttingDown)
		HostLog("asked to quit");
	_ShutDown();
	return true;
}


// #pragma mark - Connections


void
ZenboHost::_BridgeArrived(int descriptor)
{
	if (fShuttingDown) {
		close(descriptor);
		return;
	}
	BridgeConnection* added = fConnections.Add(
		std::make_unique<BridgeConnection>(this, fBoard, descriptor,
			[this](BridgeConnection* ended) { _ConnectionEnded(ended); }));
	status_t status = added->Start();
	if (status != B_OK) {
		HostLog("cannot watch a new terminal: %s", strerror_status(status));
		_ConnectionEnded(added);
		return;
	}
	// From now on the host lives as long as its terminals.
	_StopIdleTimer();
}


void
ZenboHost::_TelnetArrived(int descriptor, const BString& address,
	const PeerGate::Pass& pass)
{
	if (fShuttingDown) {
		close(descriptor);
		return;
	}
	TelnetConnection* added = fConnections.Add(
		std::make_unique<TelnetConnection>(this, fBoard, descriptor, address,
			[this](TelnetConnection* ended) { _ConnectionEnded(ended); }));
	added->SetPass(pass);
	added->SetPacer(&fPacer);
	status_t status = added->Start();
	if (status != B_OK) {
		HostLog("cannot watch a telnet caller: %s", strerror_status(status));
		_ConnectionEnded(added);
	}
}


void
ZenboHost::_SysopArrived(int descriptor)
{
	SysopConnection* added = fConnections.Add(
		std::make_unique<SysopConnection>(this, descriptor,
			[this](const std::vector<std::string>& words,
				SysopConnection& connection) {
				return fDesk.Handle(words, connection);
			},
			[this](SysopConnection* ended) { _ConnectionEnded(ended); }),
		ConnectionRegistry::Role::kCommand);
	if (added->Start() != B_OK)
		_ConnectionEnded(added);
}


// The socket files go while the signature is still held, so that they
// never remove the sockets of a host that starts after this one.
void
ZenboHost::_StopListening()
{
	if (fBridgeListener.IsListening()) {
		fBridgeListener.Stop();
		RemoveTerminalSocket();
	}
	if (fSysopListener.IsListening()) {
		fSysopListener.Stop();
		RemoveSysopSocket();
	}
	fTelnetListener.Stop();
}


void
ZenboHost::_ConnectionEnded(const void* connection)
{
	// The connection is still on the stack: it goes after the event. An
	// event that was not the host's own handler's does not end with
	// _AfterEvent; the message makes sure that something does.
	bool first = !fConnections.HasEnded();
	if (fConnections.End(connection) && first)
		PostMessage(kMsgConnectionsEnded);
}


void
ZenboHost::KeepTerminal(std::unique_ptr<Terminal> connection)
{
	fConnections.Add(std::move(connection));
}


void
ZenboHost::TerminalEnded(Terminal* connection)
{
	_ConnectionEnded(connection);
}


status_t
ZenboHost::_WatchReadable(int descriptor, void (ZenboHost::*handler)())
{
	return WatchDescriptor(descriptor, B_DESCRIPTOR_READABLE,
		[this, handler](int, uint32) {
			(this->*handler)();
			_AfterEvent();
		});
}


void
ZenboHost::_AfterEvent()
{
	fConnections.DeleteEnded();
	_QuitWhenStopped();
	_QuitWhenIdle();
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
	return fNextSeatID++;
}


void
ZenboHost::EnterDoor(int32 seat, const BString& name)
{
	fWorkers->EnterDoor(seat, name);
}


void
ZenboHost::AnswerKey(BMessage* request, int32 key)
{
	DoorRequests::AnswerKey(request, key);
}


void
ZenboHost::AnswerText(BMessage* request, bool gone)
{
	DoorRequests::AnswerText(request, gone);
}


bool
ZenboHost::HasCharacter(const BString& name)
{
	BString userName;
	return CharacterListing::FindUserName(name, &userName) == B_OK;
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
			_StopWhenDoorsEnd();
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
	_StopListening();
	if (fSshCallers != NULL)
		fSshCallers->RefuseCallers();
	if (fWebCallers != NULL)
		fWebCallers->RefuseCallers();
	if (fRloginCallers != NULL)
		fRloginCallers->RefuseCallers();
	// Every session is told that its user is gone and every caller is
	// told; the queued requests of sessions are released with B_NO_REPLY
	// as the loop ends.
	fBoard.ShutDown(kShutdownNotice);
}


void
ZenboHost::_StopWhenDoorsEnd()
{
	fStopping = true;
	status_t status = OpenTimerDescriptor(kStopGrace, &fStopTimer);
	if (status == B_OK) {
		status = _WatchReadable(fStopTimer, &ZenboHost::_StopTimerFired);
	}
	if (status != B_OK) {
		HostLog("cannot time the stop (%s); stopping at once",
			strerror_status(status));
		fQuitting = true;
		Quit();
		return;
	}
	_QuitWhenStopped();
}


void
ZenboHost::_StopTimerFired()
{
	UnwatchDescriptor(fStopTimer);
	close(fStopTimer);
	fStopTimer = -1;
	fLauncher.ReapDoors();
	if (fStopStage >= 2 || !fLauncher.HasRunningDoors()) {
		// Sessions of a door that is gone, or one that never answers:
		// nothing more to wait for.
		HostLog("stopping without waiting any longer for the door");
		fQuitting = true;
		Quit();
		return;
	}
	fStopStage++;
	HostLog("the door did not end in time; stopping it");
	fLauncher.SignalDoors(fStopStage == 1 ? SIGTERM : SIGKILL);
	status_t status = OpenTimerDescriptor(kStopSignalGrace, &fStopTimer);
	if (status == B_OK) {
		status = _WatchReadable(fStopTimer, &ZenboHost::_StopTimerFired);
	}
	if (status != B_OK) {
		fQuitting = true;
		Quit();
	}
}


void
ZenboHost::_QuitWhenStopped()
{
	if (!fStopping || fQuitting || fBoard.HasSeats()
		|| fLauncher.HasRunningDoors()) {
		return;
	}
	HostLog("every session has ended and the door is gone; the host ends");
	fQuitting = true;
	Quit();
}


void
ZenboHost::_QuitWhenIdle()
{
	// Before the first terminal, the idle timer decides; a terminal that
	// hung up leaves its seat until the session has ended.
	if (fLifetime != Lifetime::kWhileTerminals || fShuttingDown
		|| fIdleTimer >= 0 || fConnections.HasTerminals()
		|| fBoard.HasSeats()) {
		return;
	}
	HostLog("the last terminal has gone; the host ends");
	_ShutDown();
	Quit();
}
