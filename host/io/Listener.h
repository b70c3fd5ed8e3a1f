#pragma once

#include "PeerGate.h"

#include <String.h>
#include <SupportDefs.h>

#include <functional>

class BLooper;

// One listening socket of the host on its looper, for every way in: a TCP
// port (telnet, SSH, the web terminal) or a Unix socket (the bridges'
// terminals, the sysop's commands). Its one accept loop takes every peer
// that waits, non-blocking and close-on-exec, so that a peer can wait on
// the looper and never leaks into the door's process, and hands each to
// its owner with the peer's address. A TCP peer must pass the host's gate
// (connections not logged in) and leave the host a reserve of descriptors,
// or it is closed at once; a listener out of descriptors (EMFILE, ENFILE)
// rests a moment instead of spinning on the peer that waits. Each such
// episode is told once as it begins and once, with its count, as it ends.
// It lives on the looper's thread and knows nothing of what the peers say.
class Listener {
public:
	// The new peer's descriptor is the hook's to keep or close. The
	// address is a TCP peer's IP address without its port (the board
	// counts callers by it), and empty for a Unix socket's peer.
	// The pass is the peer's place at the gate (empty without one), to be
	// kept until it logs in.
	typedef std::function<void(int descriptor, const BString& address,
		const PeerGate::Pass& pass)> AcceptHook;
	// A line for the log about peers turned away or not taken; the owner
	// adds its way in.
	typedef std::function<void(const BString& notice)> NoticeHook;

	// Descriptors a TCP peer must leave free: a caller already on the
	// board who enters the door, a bridge or the sysop still find room.
	static constexpr int		kDescriptorReserve = 32;

								Listener(BLooper& looper, AcceptHook accepted,
									NoticeHook notice = NoticeHook());
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
	// TCP peers are counted at the gate from their accept on; set before
	// listening. The gate must outlive the listener.
			void				SetGate(PeerGate* gate) { fGate = gate; }

			bool				IsListening() const { return fDescriptor >= 0; }
			uint16				Port() const { return fPort; }

private:
			status_t			_Watch(int descriptor);
			void				_AcceptAll();
			// False when the peer was turned away (and closed).
			bool				_Admit(int descriptor, const BString& address,
									PeerGate::Pass* pass);
			void				_GateEpisode(PeerGate::Verdict verdict,
									const BString& address);
			void				_Rest(int error);
			void				_Rested();
			void				_Notice(const BString& notice);
			void				_EndEpisodes(bool gateToo);

			BLooper&			fLooper;
			AcceptHook			fAccepted;
			NoticeHook			fNotice;
			PeerGate*			fGate = nullptr;
			int					fDescriptor = -1;
			uint16				fPort = 0;
			bool				fTcp = false;
			// Made with the socket: at the limit there is none to make.
			int					fRestTimer = -1;
			bool				fResting = false;
			bigtime_t			fRest = 0;
			// Out of descriptors (or within the reserve): since when and
			// how many peers were turned away or tries failed meanwhile.
			bool				fShort = false;
			uint64				fShortRefusals = 0;
			// Turned away at the gate.
			bigtime_t			fGateEpisodeStart = -1;
			uint64				fGateRefusals = 0;
};
