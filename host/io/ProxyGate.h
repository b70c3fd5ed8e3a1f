#pragma once

#include "Listener.h"
#include "ProxyHeader.h"

#include <String.h>
#include <SupportDefs.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class BLooper;

// Stands between a listener and its way in (telnet, SSH) when the sysop
// names reverse proxies the board trusts: a peer from such a proxy must
// first send the PROXY protocol's header naming the caller, and is handed
// on with the caller's address, so that the limits and the log see the
// caller rather than the proxy. The header is read before anything of the
// way in's own (a telnet offer, an SSH banner), and no byte past it: a
// peek finds where it ends. A peer of the proxy whose header is invalid,
// or does not come within the timeout, is dropped; a peer from any other
// address is handed on at once and nothing it sends is taken for a
// header. Runs on the looper's thread.
class ProxyGate {
public:
	static const bigtime_t		kDefaultTimeout = 5000000;
	// Peers of the proxies waiting for their header at once; more are
	// dropped.
	static const size_t			kMaxWaiting = 256;

	// A peer of a proxy that was dropped, and why; the owner logs it.
	typedef std::function<void(const BString& proxy, const char* problem)>
								DropHook;

								ProxyGate(BLooper& looper,
									Listener::AcceptHook passed,
									DropHook dropped);
								ProxyGate(const ProxyGate&) = delete;
			ProxyGate&			operator=(const ProxyGate&) = delete;
								~ProxyGate();

	// The proxies' addresses, as numeric IPv4 or IPv6 addresses.
			void				Trust(const std::vector<BString>& proxies);
			bool				Trusts(const BString& address) const;
			void				SetTimeout(bigtime_t timeout)
									{ fTimeout = timeout; }

	// A peer from the listener, its descriptor now the gate's.
	// A peer from the listener, its descriptor now the gate's, with its
	// place among the connections not logged in, which the gate hands on.
			void				Accept(int descriptor, const BString& address,
									const PeerGate::Pass& pass);

private:
	struct Waiting {
		BString				proxy;
		bigtime_t			since = 0;
		std::vector<uint8>	bytes;
		PeerGate::Pass		pass;
	};

			void				_Readable(int descriptor);
			void				_Drop(int descriptor, const char* problem);
			void				_ExpireLate();
			status_t			_StartTimer();

			BLooper&			fLooper;
			Listener::AcceptHook fPassed;
			DropHook			fDropped;
			std::set<std::string> fProxies;
			bigtime_t			fTimeout = kDefaultTimeout;
			std::map<int, Waiting> fWaiting;
			int					fTimer = -1;
};

// The address in the host's form (IPv4 within IPv6 as IPv4), or empty
// when the text is no numeric IPv4 or IPv6 address.
BString CanonicalAddress(const char* text);
