#pragma once

#include "BridgeProtocol.h"
#include "StreamConnection.h"
#include "Terminal.h"

#include <functional>
#include <string>

class BLooper;
class Board;

// One bridge's terminal on the host's looper: the frames of the terminal
// socket (BridgeProtocol.h), read from its StreamConnection, turned into
// the board's events and back. A
// bridge says hello with its user's name and comes for the door alone; its
// keys, the end of its input and its hang-up go to the board, and the
// door's texts, the host's notices and log lines and the goodbye with the
// bridge's exit status go out through the stream's write queue. The bridge applies
// the caller's line discipline itself, so texts and keys pass here as they
// are. On a hang-up, a bad frame or once the goodbye is sent, the
// connection reports to the board and asks its owner to delete it (after
// the current event).
class BridgeConnection : public Terminal, private StreamConnection::Owner {
public:
								BridgeConnection(BLooper* looper,
									Board& board, int descriptor,
									std::function<void(BridgeConnection*)>
										ended);
	virtual						~BridgeConnection();

			status_t			Start();

	virtual	void				Show(const std::string& text) override;
	virtual	size_t				Backlog() const override
									{ return fStream.Queued() + fHeld.size(); }
	virtual	void				Finish(CallEnd end, const char* notice)
									override;
	virtual	void				LogLine(const BString& line) override;
	// The bridge knows the line its terminal shows.
	virtual	void				ShowNotice(const std::string& notice,
									const std::string& promptLine) override;
	virtual	const BString&		Address() const override { return fAddress; }
	virtual	BString				TerminalType() const override
									{ return BString(); }
	virtual	const char*			Kind() const override { return "bridge"; }
	// A bridge's keys may come from a file: as many as one frame holds.
	virtual	size_t				KeysAhead() const override
									{ return kMaxFramePayload; }

private:
	// The socket's events
	virtual	void				BytesReceived(const char* data, size_t size)
									override;
	virtual	void				OutputFlushed() override;
	virtual	void				StreamEnded(
									StreamConnection::EndReason reason)
									override;

			void				_Frame(uint8 type, const std::string& payload);
			void				_Hello(const std::string& payload);
			void				_Queue(uint8 type, const std::string& payload);
			void				_Flush();

			Board&				fBoard;
			BString				fAddress;
			std::function<void(BridgeConnection*)> fEnded;
			FrameReader			fReader;
			StreamConnection	fStream;
			// Set once the board took the terminal; until then the board
			// knows nothing of it.
			bool				fAdmitted = false;
			bool				fGreeted = false;
			// While the board decides on the hello, what it sends waits
			// here: the welcome must go first, or not at all.
			bool				fHolding = false;
			std::string			fHeld;
			// The goodbye is queued; nothing follows it.
			bool				fClosing = false;
};
