#pragma once

#include "DescriptorWatch.h"
#include "PeerGate.h"

#include <OS.h>

#include <SupportDefs.h>

#include <string>

class OutputPacer;

// One peer's stream socket on the host's looper, for every way in whose
// protocol reads and writes its own descriptor (telnet, the bridges'
// terminal socket, the sysop's socket). It reads without waiting and hands
// the bytes to its owner, keeps what the peer has not yet taken in a queue
// of its own with one send in flight, watches the socket for room only
// while output waits, and ends exactly once: on a hang-up, an error, a
// queue grown past its cap, or once a Finish has sent everything. The end
// is reported to the owner, which must not delete the connection from
// within that report: the connection may still be on the stack. It lives
// on the looper's thread and knows no protocol.
class StreamConnection {
public:
	enum class EndReason {
		kFinished,		// everything queued before Finish went out
		kHungUp,		// the peer closed its end
		kFailed,		// a read, a write or the looper's watch failed
		kOverflowed,	// the peer let more than the cap wait
		kClosed,		// the owner ended it (Close)
	};

	// What the connection tells the one who speaks its protocol. Each runs
	// on the looper's thread; the owner may queue, finish or close from it.
	class Owner {
	public:
		virtual					~Owner() = default;

		virtual	void			BytesReceived(const char* data,
									size_t size) = 0;
		// After each send: Queued() tells what still waits.
		virtual	void			OutputFlushed() {}
		// Exactly once; the descriptor is closed by then.
		virtual	void			StreamEnded(EndReason reason) = 0;
	};

	// Far more than anything the board lets wait for one caller (the door
	// waits on the backlog long before): a peer that reaches it only sends
	// and never reads.
	static	const size_t		kDefaultMaxQueued = 1024 * 1024;

								// Takes the descriptor, which must be
								// non-blocking.
								StreamConnection(BLooper& looper,
									int descriptor, Owner& owner,
									size_t maxQueued = kDefaultMaxQueued);
								StreamConnection(const StreamConnection&)
									= delete;
			StreamConnection&	operator=(const StreamConnection&) = delete;
	// Closes a descriptor still open without telling the owner.
								~StreamConnection();

	// Starts watching the socket for reading.
	[[nodiscard]] status_t		Start();

	// Output
	// Adds to what waits; a queue that would grow past the cap ends the
	// connection (kOverflowed). Nothing is sent before Flush. Neither
	// reports an end from within the call (an overflow, a send that
	// failed): it comes on the looper's next turn, so the one who queued
	// may go on with its own state.
			void				Queue(const char* data, size_t size);
			void				Queue(const std::string& bytes)
									{ Queue(bytes.data(), bytes.size()); }
	// Sends what the socket takes now; the rest goes when it has room.
			void				Flush();
	// As Flush, but a line paced by an OutputPacer keeps what waits a
	// moment, so that what follows goes with it.
			void				FlushSoon();
	// The pacer of the looper, which must outlive the connection; without
	// one FlushSoon is Flush.
			void				SetPacer(OutputPacer* pacer)
									{ fPacer = pacer; }
	// The pacer's: the time to send what was kept has come.
			void				HoldEnded();
	// Sends what waits, then ends (kFinished); reading goes on meanwhile.
			void				Finish();
	// Ends at once, dropping what waits.
			void				Close() { _End(EndReason::kClosed); }
			size_t				Queued() const
									{ return fOutput.size() - fOutputStart; }
			bool				IsFinishing() const { return fFinishing; }
			bool				HasEnded() const { return fEnded; }

	// Admission
	// The connection's place among those not logged in: a newcomer who
	// takes it closes the connection, and the end gives it back. The owner
	// gives it back sooner when its caller logs in.
			void				HoldPass(const PeerGate::Pass& pass);
			void				ReleasePass() { fPass.Release(); }

private:
			void				_Event(uint32 events);
			void				_Read();
			void				_Send();
			void				_Watch();
			void				_EndOnNextTurn(EndReason reason);
			void				_End(EndReason reason);

			int					fDescriptor;
			DescriptorWatch		fWatch;
			Owner&				fOwner;
			const size_t		fMaxQueued;
			// Sent bytes are skipped by the offset and dropped in bulk, so
			// a partial send never copies the rest to the front.
			std::string			fOutput;
			size_t				fOutputStart = 0;
			bool				fStarted = false;
			bool				fFinishing = false;
			// An end found within the owner's call, told on the next turn.
			bool				fEnding = false;
			EndReason			fEndingReason = EndReason::kFailed;
			bool				fEnded = false;
			PeerGate::Pass		fPass;
			OutputPacer*		fPacer = nullptr;
			// Whether the pacer will flush.
			bool				fHeld = false;
};
