#include "WebTerminalListener.h"

#include "HostLog.h"
#include "ProxyGate.h"
#include "WebTerminalConnection.h"
#include "WebTerminalEvents.h"

#include <AppDefs.h>
#include <Errors.h>
#include <Looper.h>
#include <OS.h>

#include <boost/asio/ip/tcp.hpp>

#include <algorithm>
#include <ctype.h>
#include <errno.h>
#include <fstream>
#include <sstream>
#include <string.h>
#include <strings.h>
#include <sys/timerfd.h>
#include <unistd.h>


namespace asio = boost::asio;

namespace {

// How often unopened connections are looked at, at most.
const bigtime_t kSweepInterval = 5000000;

struct PageEntry {
	const char*			path;
	const char*			fileName;
	const char*			contentType;
};

// The page's files, each under the one path the page asks for.
const PageEntry kPageEntries[] = {
	{"/", "index.html", "text/html; charset=utf-8"},
	{"/terminal.js", "terminal.js", "text/javascript; charset=utf-8"},
	{"/terminal.css", "terminal.css", "text/css; charset=utf-8"},
	{"/xterm.js", "xterm.js", "text/javascript; charset=utf-8"},
	{"/xterm.css", "xterm.css", "text/css; charset=utf-8"},
	{"/addon-fit.js", "addon-fit.js", "text/javascript; charset=utf-8"},
	{"/manifest.webmanifest", "manifest.webmanifest",
		"application/manifest+json"},
	{"/icon.svg", "icon.svg", "image/svg+xml"},
};

}	// namespace


WebTerminalListener::WebTerminalListener(BLooper& looper,
	WebTerminalEvents& events)
	:
	fLooper(looper),
	fEvents(events),
	fListener(looper,
		[this](int descriptor, const BString& address,
				const PeerGate::Pass& pass) {
			_CallerArrived(descriptor, address, pass);
			Poll();
		},
		[](const BString& notice) {
			HostLog("web: %s", notice.String());
		})
{
}


WebTerminalListener::~WebTerminalListener()
{
	fListener.Stop();
	if (fSweepTimer >= 0) {
		fLooper.UnwatchDescriptor(fSweepTimer);
		close(fSweepTimer);
	}
	// The connections still open go without telling the owner, who is
	// going too; the rest go with Asio's loop.
	fTerminals.clear();
}


status_t
WebTerminalListener::LoadPage(const char* folder, BString* error)
{
	for (const PageEntry& entry : kPageEntries) {
		std::string path = std::string(folder) + "/" + entry.fileName;
		std::ifstream file(path, std::ios::binary);
		if (!file.is_open()) {
			*error = BString("the web terminal's page file ") + path.c_str()
				+ " is missing";
			return B_ENTRY_NOT_FOUND;
		}
		std::ostringstream contents;
		contents << file.rdbuf();
		if (file.bad()) {
			*error = BString("cannot read the web terminal's page file ")
				+ path.c_str();
			return B_IO_ERROR;
		}
		fPage[entry.path] = PageFile{entry.contentType, contents.str()};
	}
	return B_OK;
}


status_t
WebTerminalListener::Listen(const char* address, uint16 port, BString* error)
{
	fListenAddress = address;
	status_t status = fListener.ListenOnTcp(address, port);
	if (status != B_OK) {
		*error = BString("cannot listen for web callers on ") + address + ":";
		*error << uint32(port) << ": " << strerror_status(status);
		return status;
	}
	fSweepTimer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
	// A connection goes at most half a deadline late.
	bigtime_t interval = std::min(kSweepInterval,
		std::max(fRequestDeadline / 2, bigtime_t(100000)));
	itimerspec every = {};
	every.it_interval.tv_sec = time_t(interval / 1000000);
	every.it_interval.tv_nsec = long(interval % 1000000) * 1000;
	every.it_value = every.it_interval;
	if (fSweepTimer < 0 || timerfd_settime(fSweepTimer, 0, &every, nullptr)
			!= 0) {
		*error = "cannot make the web port's timer";
		return status_from_errno(errno);
	}
	status = fLooper.WatchDescriptor(fSweepTimer, B_DESCRIPTOR_READABLE,
		[this](int, uint32) { _ExpireUnopened(); });
	if (status != B_OK)
		*error = "cannot watch the web port";
	return status;
}


// "host[:port]" or "[v6]:port" into the host, lowercase and without
// brackets, and the port (empty when none); false for anything that is no
// host name or address.
static bool
SplitHost(const std::string& text, std::string* host, std::string* port)
{
	if (text.empty() || text.size() > 255)
		return false;
	std::string rest = text;
	if (rest[0] == '[') {
		size_t close = rest.find(']');
		if (close == std::string::npos)
			return false;
		*host = rest.substr(1, close - 1);
		rest = rest.substr(close + 1);
		if (!rest.empty() && rest[0] != ':')
			return false;
		*port = rest.empty() ? "" : rest.substr(1);
	} else {
		size_t colon = rest.find(':');
		*host = rest.substr(0, colon);
		*port = colon == std::string::npos ? "" : rest.substr(colon + 1);
	}
	if (host->empty() || port->size() > 5
		|| port->find_first_not_of("0123456789") != std::string::npos
		|| host->find_first_not_of("abcdefghijklmnopqrstuvwxyz"
			"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:") != std::string::npos) {
		return false;
	}
	for (char& c : *host)
		c = (char)tolower((unsigned char)c);
	return true;
}


void
WebTerminalListener::AllowOrigin(const char* origin)
{
	fAllowedOrigins.insert(origin);
	std::string text(origin);
	size_t scheme = text.find("://");
	std::string host;
	std::string port;
	if (scheme != std::string::npos
		&& SplitHost(text.substr(scheme + 3), &host, &port)) {
		fAllowedHosts.insert(host);
	}
}


void
WebTerminalListener::TrustProxies(const std::vector<BString>& proxies)
{
	for (const BString& proxy : proxies) {
		BString address = CanonicalAddress(proxy.String());
		if (address.Length() > 0)
			fProxies.insert(address.String());
	}
}


bool
WebTerminalListener::TrustsProxy(const BString& address) const
{
	return !fProxies.empty()
		&& fProxies.count(CanonicalAddress(address.String()).String()) != 0;
}


bool
WebTerminalListener::IsHostServed(const std::string& hostHeader) const
{
	std::string host;
	std::string port;
	if (!SplitHost(hostHeader, &host, &port))
		return false;
	if (fAllowedHosts.count(host) != 0)
		return true;
	std::string ownPort = std::to_string(Port());
	if ((port.empty() ? std::string("80") : port) != ownPort)
		return false;
	if (host == "localhost")
		return true;
	BString listening = CanonicalAddress(fListenAddress.c_str());
	BString named = CanonicalAddress(host.c_str());
	// A wildcard answers at every address of the machine: any address
	// typed as one is the board's, and no rebinding comes by a number.
	if (listening == "0.0.0.0" || listening == "::")
		return named.Length() > 0;
	if (listening.Length() > 0)
		return named == listening;
	return strcasecmp(host.c_str(), fListenAddress.c_str()) == 0;
}


const WebTerminalListener::PageFile*
WebTerminalListener::FindPageFile(const std::string& path)
{
	if (path == "/fame" && fFameSource) {
		bigtime_t now = system_time();
		if (fFameMade == 0 || now - fFameMade >= kFameLifetime) {
			fFame = PageFile{"text/html; charset=utf-8", fFameSource()};
			fFameMade = now;
		}
		return &fFame;
	}
	auto found = fPage.find(path);
	return found != fPage.end() ? &found->second : nullptr;
}


// Same origin: the page that opens the socket was served by this host, over
// plain HTTP, under the name the browser used for it, so the Origin is
// http:// and the Host header. A page of another site, which a caller's
// browser would let open a socket here with the caller's own network
// access, is not; nor one of https:// under the same name, which is not
// the page this host served.
bool
WebTerminalListener::IsOriginAllowed(const std::string& origin,
	const std::string& host) const
{
	if (origin.empty() || host.empty())
		return false;
	if (fAllowedOrigins.count(origin) != 0)
		return true;
	static const char kScheme[] = "http://";
	size_t length = sizeof(kScheme) - 1;
	return origin.compare(0, length, kScheme) == 0
		&& strcasecmp(origin.c_str() + length, host.c_str()) == 0;
}


void
WebTerminalListener::TerminalOpened(
	std::shared_ptr<WebTerminalConnection> connection)
{
	fTerminals[connection.get()] = std::move(connection);
}


void
WebTerminalListener::TerminalEnded(WebTerminalConnection* connection)
{
	// The connection lives on while a handler of its own still holds it.
	fTerminals.erase(connection);
}


void
WebTerminalListener::Poll()
{
	// A handler that starts an operation asks again; the loop below runs
	// what that made ready.
	if (fPolling)
		return;
	fPolling = true;
	fContext.restart();
	while (fContext.poll() > 0)
		fContext.restart();
	fPolling = false;
}


void
WebTerminalListener::_CallerArrived(int descriptor, const BString& address,
	const PeerGate::Pass& pass)
{
	boost::system::error_code error;
	asio::ip::tcp::socket socket(fContext);
	sockaddr_storage local = {};
	socklen_t length = sizeof(local);
	getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &length);
	socket.assign(local.ss_family == AF_INET6 ? asio::ip::tcp::v6()
		: asio::ip::tcp::v4(), descriptor, error);
	if (error) {
		HostLog("web %s: cannot take the connection: %s", address.String(),
			error.message().c_str());
		close(descriptor);
		return;
	}
	auto connection = std::make_shared<WebTerminalConnection>(*this,
		std::move(socket), descriptor, address);
	connection->SetPass(pass);
	fUnopened.push_back(connection);
	connection->Start();
}


void
WebTerminalListener::_ExpireUnopened()
{
	uint64 expirations;
	if (read(fSweepTimer, &expirations, sizeof(expirations)) < 0
		&& errno != EAGAIN)
		HostLog("web: cannot read the timer: %s", strerror(errno));

	bigtime_t deadline = system_time() - fRequestDeadline;
	std::vector<std::weak_ptr<WebTerminalConnection>> waiting;
	for (const auto& entry : fUnopened) {
		std::shared_ptr<WebTerminalConnection> connection = entry.lock();
		if (!connection || fTerminals.count(connection.get()) != 0)
			continue;
		connection->ExpireUnopened(deadline);
		waiting.push_back(connection);
	}
	fUnopened.swap(waiting);
	Poll();
}
