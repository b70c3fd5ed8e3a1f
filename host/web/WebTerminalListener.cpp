#include "WebTerminalListener.h"

#include "HostLog.h"
#include "WebTerminalConnection.h"
#include "WebTerminalEvents.h"

#include <AppDefs.h>
#include <Errors.h>
#include <Looper.h>
#include <OS.h>

#include <boost/asio/ip/tcp.hpp>

#include <algorithm>
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


void
WebTerminalListener::AllowOrigin(const char* origin)
{
	fAllowedOrigins.insert(origin);
}


const WebTerminalListener::PageFile*
WebTerminalListener::FindPageFile(const std::string& path) const
{
	auto found = fPage.find(path);
	return found != fPage.end() ? &found->second : nullptr;
}


// Same origin: the page that opens the socket was served by this host
// under the name the browser used for it, so the Origin's host:port is the
// Host header. A page of another site, which a caller's browser would let
// open a socket here with the caller's own network access, is not.
bool
WebTerminalListener::IsOriginAllowed(const std::string& origin,
	const std::string& host) const
{
	if (origin.empty() || host.empty())
		return false;
	if (fAllowedOrigins.count(origin) != 0)
		return true;
	for (const char* scheme : {"http://", "https://"}) {
		size_t length = strlen(scheme);
		if (origin.compare(0, length, scheme) == 0)
			return strcasecmp(origin.c_str() + length, host.c_str()) == 0;
	}
	return false;
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
