#include "SshListener.h"

#include "HostLog.h"
#include "SshConnection.h"
#include "SshHostKey.h"

#include <AppDefs.h>
#include <Errors.h>
#include <Looper.h>

#include <libssh/libssh.h>
#include <libssh/server.h>

#include <errno.h>
#include <string.h>
#include <sys/eventfd.h>
#include <unistd.h>


SshListener::SshListener(BLooper& looper, SshEvents& events,
	const SshHostKey& hostKey)
	:
	fLooper(looper),
	fEvents(events),
	fHostKey(hostKey),
	fListener(looper,
		[this](int descriptor, const BString& address,
				const PeerGate::Pass& pass) {
			fGate.Accept(descriptor, address, pass);
		},
		[](const BString& notice) {
			HostLog("ssh: %s", notice.String());
		}),
	fGate(looper,
		[this](int descriptor, const BString& address,
				const PeerGate::Pass& pass) {
			_CallerArrived(descriptor, address, pass);
		},
		[](const BString& proxy, const char* problem) {
			HostLog("ssh %s: dropped a connection of the proxy: %s",
				proxy.String(), problem);
		})
{
}


SshListener::~SshListener()
{
	fListener.Stop();
	if (fReaper >= 0) {
		fLooper.UnwatchDescriptor(fReaper);
		close(fReaper);
	}
	fForgotten.clear();
	fConnections.clear();
	if (fBind != nullptr)
		ssh_bind_free(fBind);
}


status_t
SshListener::Listen(const char* address, uint16 port, BString* error)
{
	// The bind reads the key from its file: a key handed over with
	// SSH_BIND_OPTIONS_IMPORT_KEY would become the bind's, and be freed
	// twice. The machine's libssh server configuration is not ours.
	bool processConfig = false;
	fBind = ssh_bind_new();
	if (fBind == nullptr
		|| ssh_bind_options_set(fBind, SSH_BIND_OPTIONS_PROCESS_CONFIG,
			&processConfig) != SSH_OK
		|| ssh_bind_options_set(fBind, SSH_BIND_OPTIONS_HOSTKEY,
			fHostKey.Path().String()) != SSH_OK) {
		*error = "cannot set up the SSH server";
		return B_ERROR;
	}

	status_t status = fListener.ListenOnTcp(address, port);
	if (status != B_OK) {
		*error = BString("cannot listen for SSH callers on ") + address
			+ ":";
		*error << uint32(port) << ": " << strerror_status(status);
		return status;
	}
	fReaper = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
	if (fReaper < 0) {
		*error = "cannot make the SSH listener's event";
		return status_from_errno(errno);
	}
	status = fLooper.WatchDescriptor(fReaper, B_DESCRIPTOR_READABLE,
		[this](int, uint32) { _DeleteForgotten(); });
	if (status != B_OK)
		*error = "cannot watch the SSH port";
	return status;
}


void
SshListener::Forget(SshConnection* connection)
{
	auto found = fConnections.find(connection);
	if (found == fConnections.end())
		return;
	fForgotten.push_back(std::move(found->second));
	fConnections.erase(found);
	uint64 one = 1;
	if (write(fReaper, &one, sizeof(one)) < 0)
		HostLog("ssh: cannot wake the listener: %s", strerror(errno));
}


void
SshListener::_CallerArrived(int descriptor, const BString& address,
	const PeerGate::Pass& pass)
{
	ssh_session session = ssh_new();
	if (session == nullptr
		|| ssh_bind_accept_fd(fBind, session, descriptor) != SSH_OK) {
		HostLog("ssh %s: cannot start a session: %s", address.String(),
			session != nullptr ? ssh_get_error(fBind) : "no memory");
		// A session that took the socket closes it as it goes.
		if (session != nullptr)
			ssh_free(session);
		else
			close(descriptor);
		return;
	}
	auto connection = std::make_unique<SshConnection>(*this, fLooper,
		fEvents, session, descriptor, address);
	SshConnection* caller = connection.get();
	caller->SetPass(pass);
	fConnections[caller] = std::move(connection);
	if (caller->Start() != B_OK)
		caller->Close();
}


void
SshListener::_DeleteForgotten()
{
	uint64 count;
	if (read(fReaper, &count, sizeof(count)) < 0 && errno != EAGAIN)
		HostLog("ssh: cannot read the listener's event: %s", strerror(errno));
	fForgotten.clear();
}
