#pragma once

#include <String.h>
#include <SupportDefs.h>

#include <functional>

class BLooper;

// One listening socket of the host on its looper, for every way in: a TCP
// port (telnet, SSH, the web terminal) or a Unix socket (the bridges'
// terminals, the sysop's commands). Its one accept loop takes every peer
// that waits, non-blocking and close-on-exec, so that a peer can wait on
// the looper and never leaks into the door's process, and hands each to
// its owner with the peer's address. It lives on the looper's thread and
// knows nothing of what the peers say.
class Listener {
public:
	// The new peer's descriptor is the hook's to keep or close. The
	// address is a TCP peer's IP address without its port (the board
	// counts callers by it), and empty for a Unix socket's peer.
	typedef std::function<void(int descriptor, const BString& address)>
								AcceptHook;
	// A peer that could not be taken (out of descriptors, most likely); it
	// stays in the backlog until the next try.
	typedef std::function<void(status_t status)> FailureHook;

								Listener(BLooper& looper, AcceptHook accepted,
									FailureHook failed = FailureHook());
								Listener(const Listener&) = delete;
			Listener&			operator=(const Listener&) = delete;
								~Listener();

	// Listens on a numeric IPv4 or IPv6 address or a name of this machine;
	// port 0 takes an ephemeral one, which Port() then tells.
	[[nodiscard]] status_t		ListenOnTcp(const char* address, uint16 port);
	// Takes a listening socket made elsewhere (the runtime folder's Unix
	// sockets, which the platform makes and names); it must be
	// non-blocking.
	[[nodiscard]] status_t		Adopt(int descriptor);
	// Closes the socket: peers that call from now on are refused.
			void				Stop();

			bool				IsListening() const { return fDescriptor >= 0; }
			uint16				Port() const { return fPort; }

private:
			status_t			_Watch(int descriptor);
			void				_AcceptAll();

			BLooper&			fLooper;
			AcceptHook			fAccepted;
			FailureHook			fFailed;
			int					fDescriptor = -1;
			uint16				fPort = 0;
			bool				fTcp = false;
};
