#include "Listener.h"

#include <AppDefs.h>
#include <Errors.h>
#include <Looper.h>
#include <OS.h>

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>


// Enough for a burst of callers while the looper is busy with one.
static const int kListenBacklog = 64;
static const int kCallerSendBuffer = 32 * 1024;
// How long a listener out of descriptors rests before it tries again: it
// starts short and doubles while the shortage lasts.
static const bigtime_t kFirstRest = 100000;
static const bigtime_t kLongestRest = 1000000;
// A flood at the gate is told at most this often.
static const bigtime_t kGateEpisode = 10000000;


static uint16
PortOf(const sockaddr_storage& address)
{
	return ntohs(address.ss_family == AF_INET6
		? ((const sockaddr_in6*)&address)->sin6_port
		: ((const sockaddr_in*)&address)->sin_port);
}


// Without the port: the board counts callers by their address.
static BString
AddressOf(const sockaddr_storage& peer)
{
	char text[INET6_ADDRSTRLEN] = "?";
	if (peer.ss_family == AF_INET6) {
		inet_ntop(AF_INET6, &((const sockaddr_in6*)&peer)->sin6_addr, text,
			sizeof(text));
	} else if (peer.ss_family == AF_INET) {
		inet_ntop(AF_INET, &((const sockaddr_in*)&peer)->sin_addr, text,
			sizeof(text));
	}
	return BString(text);
}


static void
TuneCaller(int peer)
{
	// Keys are small and must not wait for more to fill a segment.
	int yes = 1;
	setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
	// A fixed send buffer: left to grow, the kernel would take megabytes
	// for a caller who does not read, where the door should wait instead.
	int sendBuffer = kCallerSendBuffer;
	setsockopt(peer, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof(sendBuffer));
}


static int
BoundSocket(const addrinfo& entry, status_t* status)
{
	int listener = socket(entry.ai_family,
		entry.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, entry.ai_protocol);
	if (listener < 0) {
		*status = status_from_errno(errno);
		return -1;
	}
	int yes = 1;
	setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
	if (bind(listener, entry.ai_addr, entry.ai_addrlen) != 0
		|| listen(listener, kListenBacklog) != 0) {
		*status = status_from_errno(errno);
		close(listener);
		return -1;
	}
	return listener;
}


// The first descriptor a peer may not have: the peers leave the last few
// of the host's limit free. The kernel gives the lowest free number, so a
// peer given one at or past this line finds the table all but full.
static int
ReserveLine()
{
	struct rlimit limit;
	if (getrlimit(RLIMIT_NOFILE, &limit) != 0
		|| limit.rlim_cur == RLIM_INFINITY
		|| limit.rlim_cur > (rlim_t)1 << 30) {
		return 1 << 30;
	}
	return std::max((int)limit.rlim_cur - Listener::kDescriptorReserve,
		(int)limit.rlim_cur / 2);
}


Listener::Listener(BLooper& looper, AcceptHook accepted, NoticeHook notice)
	:
	fLooper(looper),
	fAccepted(std::move(accepted)),
	fNotice(std::move(notice))
{
}


Listener::~Listener()
{
	Stop();
}


status_t
Listener::ListenOnTcp(const char* address, uint16 port)
{
	if (fDescriptor >= 0)
		return B_NOT_ALLOWED;
	addrinfo hints = {};
	hints.ai_family = AF_UNSPEC;
	hints.ai_socktype = SOCK_STREAM;
	hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
	addrinfo* found = NULL;
	char service[8];
	snprintf(service, sizeof(service), "%u", (unsigned)port);
	if (getaddrinfo(address, service, &hints, &found) != 0)
		return B_NAME_NOT_FOUND;

	status_t status = B_ERROR;
	int listener = -1;
	for (addrinfo* entry = found; entry != NULL && listener < 0;
			entry = entry->ai_next) {
		listener = BoundSocket(*entry, &status);
	}
	freeaddrinfo(found);
	if (listener < 0)
		return status;

	sockaddr_storage bound = {};
	socklen_t length = sizeof(bound);
	getsockname(listener, (sockaddr*)&bound, &length);
	status = _Watch(listener);
	if (status != B_OK)
		return status;
	fPort = PortOf(bound);
	fTcp = true;
	return B_OK;
}


status_t
Listener::Adopt(int descriptor)
{
	if (fDescriptor >= 0)
		return B_NOT_ALLOWED;
	if (descriptor < 0)
		return B_BAD_VALUE;
	return _Watch(descriptor);
}


void
Listener::Stop()
{
	if (fRestTimer >= 0) {
		fLooper.UnwatchDescriptor(fRestTimer);
		close(fRestTimer);
		fRestTimer = -1;
	}
	if (fDescriptor < 0)
		return;
	_EndEpisodes(true);
	if (!fResting)
		fLooper.UnwatchDescriptor(fDescriptor);
	fResting = false;
	close(fDescriptor);
	fDescriptor = -1;
}


// #pragma mark -


// A socket the looper cannot watch is of no use: it is closed at once.
status_t
Listener::_Watch(int descriptor)
{
	fRestTimer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
	status_t status = fRestTimer >= 0 ? B_OK : status_from_errno(errno);
	if (status == B_OK) {
		status = fLooper.WatchDescriptor(fRestTimer, B_DESCRIPTOR_READABLE,
			[this](int, uint32) { _Rested(); });
		if (status != B_OK) {
			close(fRestTimer);
			fRestTimer = -1;
		}
	}
	if (status == B_OK) {
		status = fLooper.WatchDescriptor(descriptor, B_DESCRIPTOR_READABLE,
			[this](int, uint32) { _AcceptAll(); });
	}
	if (status != B_OK) {
		if (fRestTimer >= 0) {
			fLooper.UnwatchDescriptor(fRestTimer);
			close(fRestTimer);
			fRestTimer = -1;
		}
		close(descriptor);
		return status;
	}
	fDescriptor = descriptor;
	return B_OK;
}


void
Listener::_AcceptAll()
{
	// The hook may stop the listener (a host shutting down); the loop
	// ends with it.
	while (fDescriptor >= 0 && !fResting) {
		sockaddr_storage peer = {};
		socklen_t length = sizeof(peer);
		int descriptor = accept4(fDescriptor, (sockaddr*)&peer, &length,
			SOCK_NONBLOCK | SOCK_CLOEXEC);
		if (descriptor < 0) {
			int error = errno;
			if (error == EINTR || error == ECONNABORTED)
				continue;
			if (error != EAGAIN && error != EWOULDBLOCK)
				_Rest(error);
			return;
		}
		BString address;
		PeerGate::Pass pass;
		if (fTcp) {
			address = AddressOf(peer);
			if (!_Admit(descriptor, address, &pass))
				continue;
			TuneCaller(descriptor);
		}
		fAccepted(descriptor, address, pass);
	}
}


bool
Listener::_Admit(int descriptor, const BString& address,
	PeerGate::Pass* pass)
{
	bool shortOfDescriptors = descriptor >= ReserveLine();
	if (!shortOfDescriptors)
		_EndEpisodes(false);
	PeerGate::Verdict verdict = PeerGate::Verdict::kAdmitted;
	if (fGate != NULL) {
		verdict = fGate->Admit(address, pass, shortOfDescriptors
			? PeerGate::Room::kOnlyInPlaceOfAnother
			: PeerGate::Room::kAsCounted);
	} else if (shortOfDescriptors)
		verdict = PeerGate::Verdict::kTooMany;

	if (shortOfDescriptors) {
		if (!fShort) {
			fShort = true;
			_Notice("too few descriptors are left; callers who have not"
				" logged in make room for others or are turned away");
		}
		fShortRefusals++;
		if (verdict == PeerGate::Verdict::kAdmittedInPlaceOfAnother)
			return true;
		close(descriptor);
		return false;
	}
	if (verdict == PeerGate::Verdict::kAdmitted
		|| verdict == PeerGate::Verdict::kAdmittedInPlaceOfAnother) {
		if (verdict == PeerGate::Verdict::kAdmittedInPlaceOfAnother)
			_GateEpisode(verdict, address);
		else if (fGateEpisodeStart >= 0
			&& system_time() - fGateEpisodeStart >= kGateEpisode) {
			_EndEpisodes(true);
		}
		return true;
	}
	close(descriptor);
	_GateEpisode(verdict, address);
	return false;
}


// The first peer turned away (or dropped for a newcomer) is told; the rest
// are counted until the episode ends.
void
Listener::_GateEpisode(PeerGate::Verdict verdict, const BString& address)
{
	fGateRefusals++;
	if (fGateEpisodeStart >= 0)
		return;
	fGateEpisodeStart = system_time();
	BString notice;
	switch (verdict) {
		case PeerGate::Verdict::kTooManyFromAddress:
			notice << "turning callers away: " << fGate->PendingFrom(address)
				<< " connections from " << address
				<< " have not logged in yet";
			break;
		case PeerGate::Verdict::kAdmittedInPlaceOfAnother:
			notice << fGate->Pending() << " connections have not logged in"
				" yet; the busiest address's oldest made room for "
				<< address;
			break;
		default:
			notice << "turning callers away: " << fGate->Pending()
				<< " connections have not logged in yet";
			break;
	}
	_Notice(notice);
}


// The peer that could not be taken stays in the backlog; trying again at
// once would only fail again, at full speed.
void
Listener::_Rest(int error)
{
	const char* reason;
	switch (error) {
		case EMFILE:
			reason = "too many open files (the host's limit)";
			break;
		case ENFILE:
			reason = "too many open files (the system's limit)";
			break;
		default:
			reason = strerror(error);
			break;
	}
	fShortRefusals++;
	if (!fShort) {
		fShort = true;
		BString notice("cannot accept callers: ");
		notice << reason << "; trying again in a moment";
		_Notice(notice);
		fRest = kFirstRest;
	} else
		fRest = std::min(fRest * 2, kLongestRest);
	if (fRestTimer < 0)
		return;
	itimerspec once = {};
	once.it_value.tv_sec = time_t(fRest / 1000000);
	once.it_value.tv_nsec = long(fRest % 1000000) * 1000;
	if (timerfd_settime(fRestTimer, 0, &once, NULL) != 0)
		return;
	fLooper.UnwatchDescriptor(fDescriptor);
	fResting = true;
}


void
Listener::_Rested()
{
	uint64 expirations;
	if (read(fRestTimer, &expirations, sizeof(expirations)) < 0)
		return;
	if (!fResting || fDescriptor < 0)
		return;
	fResting = false;
	if (fLooper.WatchDescriptor(fDescriptor, B_DESCRIPTOR_READABLE,
			[this](int, uint32) { _AcceptAll(); }) != B_OK) {
		_Rest(EMFILE);
		return;
	}
	_AcceptAll();
}


void
Listener::_Notice(const BString& notice)
{
	if (fNotice)
		fNotice(notice);
}


// A peer was taken: a shortage has ended; the gate's episode ends when
// asked (it lasts a while, so that a flood is told at most that often).
void
Listener::_EndEpisodes(bool gateToo)
{
	if (fShort) {
		BString notice("descriptors are free again; ");
		notice << (int64)fShortRefusals << " callers met the shortage (turned"
			" away, let in in place of another, or kept waiting)";
		fShort = false;
		fShortRefusals = 0;
		_Notice(notice);
	}
	if (gateToo && fGateEpisodeStart >= 0) {
		BString notice;
		notice << (int64)fGateRefusals << " callers were turned away or"
			" dropped by the limits on connections before login";
		fGateEpisodeStart = -1;
		fGateRefusals = 0;
		_Notice(notice);
	}
}
