#include "ProxyGate.h"

#include <AppDefs.h>
#include <Errors.h>
#include <Looper.h>
#include <OS.h>

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>


BString
CanonicalAddress(const char* text)
{
	uint8 address[16];
	char written[INET6_ADDRSTRLEN] = "";
	if (inet_pton(AF_INET, text, address) == 1) {
		inet_ntop(AF_INET, address, written, sizeof(written));
		return BString(written);
	}
	if (inet_pton(AF_INET6, text, address) != 1)
		return BString();
	const in6_addr* v6 = (const in6_addr*)address;
	if (IN6_IS_ADDR_V4MAPPED(v6))
		inet_ntop(AF_INET, &v6->s6_addr[12], written, sizeof(written));
	else
		inet_ntop(AF_INET6, address, written, sizeof(written));
	return BString(written);
}


ProxyGate::ProxyGate(BLooper& looper, Listener::AcceptHook passed,
	DropHook dropped)
	:
	fLooper(looper),
	fPassed(std::move(passed)),
	fDropped(std::move(dropped))
{
}


ProxyGate::~ProxyGate()
{
	for (auto& entry : fWaiting) {
		fLooper.UnwatchDescriptor(entry.first);
		close(entry.first);
	}
	if (fTimer >= 0) {
		fLooper.UnwatchDescriptor(fTimer);
		close(fTimer);
	}
}


void
ProxyGate::Trust(const std::vector<BString>& proxies)
{
	for (const BString& proxy : proxies) {
		BString address = CanonicalAddress(proxy.String());
		if (address.Length() > 0)
			fProxies.insert(address.String());
	}
}


bool
ProxyGate::Trusts(const BString& address) const
{
	return !fProxies.empty()
		&& fProxies.count(CanonicalAddress(address.String()).String()) != 0;
}


void
ProxyGate::Accept(int descriptor, const BString& address,
	const PeerGate::Pass& pass)
{
	if (!Trusts(address)) {
		fPassed(descriptor, address, pass);
		return;
	}
	if (fWaiting.size() >= kMaxWaiting) {
		close(descriptor);
		fDropped(address, "too many of the proxy's connections wait for"
			" their header");
		return;
	}
	if (_StartTimer() != B_OK
		|| fLooper.WatchDescriptor(descriptor, B_DESCRIPTOR_READABLE,
			[this](int ready, uint32) { _Readable(ready); }) != B_OK) {
		close(descriptor);
		fDropped(address, "cannot watch the connection");
		return;
	}
	Waiting& waiting = fWaiting[descriptor];
	waiting.proxy = address;
	waiting.since = system_time();
	waiting.pass = pass;
	// Once handed on, the connection sets its own drop; until then a
	// newcomer may take this place like any other's.
	waiting.pass.SetDrop([this, descriptor]() {
		_Drop(descriptor, NULL);
	});
}


// Only bytes that are certainly the header's are taken off the line: all
// that came while the header is incomplete, and then exactly its rest.
void
ProxyGate::_Readable(int descriptor)
{
	auto found = fWaiting.find(descriptor);
	if (found == fWaiting.end())
		return;
	Waiting& waiting = found->second;
	uint8 peeked[ProxyHeader::kMaxLength];
	size_t room = ProxyHeader::kMaxLength - waiting.bytes.size();
	ssize_t size = recv(descriptor, peeked, room, MSG_PEEK);
	if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK
			|| errno == EINTR)) {
		return;
	}
	if (size <= 0) {
		// A proxy's check of the port closes before it says anything.
		_Drop(descriptor, waiting.bytes.empty() && size == 0 ? NULL
			: "the line closed before its proxy header ended");
		return;
	}
	std::vector<uint8> candidate = waiting.bytes;
	candidate.insert(candidate.end(), peeked, peeked + size);
	ProxyHeader header;
	ProxyHeader::Verdict verdict = header.Parse(candidate.data(),
		candidate.size());
	if (verdict == ProxyHeader::Verdict::kInvalid) {
		_Drop(descriptor, header.Problem());
		return;
	}
	size_t take = verdict == ProxyHeader::Verdict::kComplete
		? header.Length() - waiting.bytes.size() : (size_t)size;
	ssize_t taken = recv(descriptor, peeked, take, 0);
	if (taken != (ssize_t)take) {
		_Drop(descriptor, "cannot read the proxy header");
		return;
	}
	if (verdict == ProxyHeader::Verdict::kNeedMore) {
		waiting.bytes.insert(waiting.bytes.end(), peeked, peeked + take);
		return;
	}
	BString address = header.Address().Length() > 0 ? header.Address()
		: waiting.proxy;
	PeerGate::Pass pass = found->second.pass;
	fLooper.UnwatchDescriptor(descriptor);
	fWaiting.erase(found);
	fPassed(descriptor, address, pass);
}


void
ProxyGate::_Drop(int descriptor, const char* problem)
{
	auto found = fWaiting.find(descriptor);
	if (found == fWaiting.end())
		return;
	BString proxy = found->second.proxy;
	fLooper.UnwatchDescriptor(descriptor);
	close(descriptor);
	fWaiting.erase(found);
	if (problem != NULL)
		fDropped(proxy, problem);
}


void
ProxyGate::_ExpireLate()
{
	// Nothing is lost by a read that fails: the timer ticks again.
	uint64 expirations;
	if (read(fTimer, &expirations, sizeof(expirations)) < 0)
		expirations = 0;
	bigtime_t late = system_time() - fTimeout;
	std::vector<int> expired;
	for (const auto& entry : fWaiting) {
		if (entry.second.since <= late)
			expired.push_back(entry.first);
	}
	for (int descriptor : expired)
		_Drop(descriptor, "no proxy header in time");
}


// Ticks while the gate lives, once its first proxy's peer came: a peer
// goes at most a quarter of the timeout late.
status_t
ProxyGate::_StartTimer()
{
	if (fTimer >= 0)
		return B_OK;
	int timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
	if (timer < 0)
		return status_from_errno(errno);
	bigtime_t interval = fTimeout / 4 > 50000 ? fTimeout / 4 : 50000;
	itimerspec every = {};
	every.it_interval.tv_sec = time_t(interval / 1000000);
	every.it_interval.tv_nsec = long(interval % 1000000) * 1000;
	every.it_value = every.it_interval;
	status_t status = B_OK;
	if (timerfd_settime(timer, 0, &every, nullptr) != 0)
		status = status_from_errno(errno);
	if (status == B_OK) {
		status = fLooper.WatchDescriptor(timer, B_DESCRIPTOR_READABLE,
			[this](int, uint32) { _ExpireLate(); });
	}
	if (status != B_OK) {
		close(timer);
		return status;
	}
	fTimer = timer;
	return B_OK;
}
