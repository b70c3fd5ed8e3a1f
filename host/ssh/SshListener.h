#pragma once

#include "Listener.h"
#include "ProxyGate.h"

#include <String.h>
#include <SupportDefs.h>

#include <map>
#include <memory>
#include <vector>

class BLooper;
class SshConnection;
class SshEvents;
class SshHostKey;
struct ssh_bind_struct;

// The host's SSH port: a listening socket on the looper that takes each
// caller into an SshConnection of its own. It lives on the looper's thread
// (made, started and deleted there, or before the looper runs and after it
// has quit), owns its connections and deletes each on the looper's turn
// after it closed, so that no connection goes while a hook of its own is
// still running. It speaks no game and holds no account: the events go to
// the owner, who decides.
class SshListener {
public:
								SshListener(BLooper& looper,
									SshEvents& events,
									const SshHostKey& hostKey);
								SshListener(const SshListener&) = delete;
			SshListener&		operator=(const SshListener&) = delete;
								~SshListener();

	// Listens on address:port (port 0 for an ephemeral one).
	[[nodiscard]] status_t		Listen(const char* address, uint16 port,
									BString* error);
			uint16				Port() const { return fListener.Port(); }
	// A connection from one of these reverse proxies names its caller by
	// the PROXY protocol's header before the SSH banner.
			void				TrustProxies(
									const std::vector<BString>& proxies)
									{ fGate.Trust(proxies); }
			int32				CountConnections() const
									{ return int32(fConnections.size()); }

	// Connections are counted at the host's gate; set before Listen.
			void				SetGate(PeerGate* gate)
									{ fListener.SetGate(gate); }
	// Called by a connection that has ended.
			void				Forget(SshConnection* connection);

private:
			void				_CallerArrived(int descriptor,
									const BString& address,
									const PeerGate::Pass& pass);
			void				_DeleteForgotten();

			BLooper&			fLooper;
			SshEvents&			fEvents;
			const SshHostKey&	fHostKey;
			ssh_bind_struct*	fBind = nullptr;
			Listener			fListener;
			ProxyGate			fGate;
			int					fReaper = -1;
			std::map<SshConnection*, std::unique_ptr<SshConnection>>
									fConnections;
			std::vector<std::unique_ptr<SshConnection>> fForgotten;
};
