#pragma once

#include "PeerGate.h"
#include "StreamConnection.h"
#include "Terminal.h"
#include "TelnetProtocol.h"

#include <functional>
#include <string>

class BLooper;
class Board;

// One telnet caller on the host's looper: the bytes of its StreamConnection
// turned into the board's events through the caller's TelnetProtocol, and
// the board's texts back. A caller who does not read only grows the
// stream's queue; the board makes the door wait for it, never the loop. On
// a hang-up, an error or once a Finish has sent everything, the connection
// reports to the board and asks its owner to delete it (after the current
// event, never from within its own call).
class TelnetConnection : public Terminal, private TelnetProtocol::Listener,
	private StreamConnection::Owner {
public:
								TelnetConnection(BLooper* looper,
									Board& board, int descriptor,
									const BString& address,
									std::function<void(TelnetConnection*)>
										ended);
	virtual						~TelnetConnection();

	// Watches the socket and makes the host's offers; then the board.
			status_t			Start();

	virtual	void				Show(const std::string& text) override;
	virtual	void				ShowSoon(const std::string& text) override;
	virtual	size_t				Backlog() const override
									{ return fStream.Queued(); }
	virtual	void				Finish(CallEnd end, const char* notice)
									override;
	virtual	const BString&		Address() const override { return fAddress; }
	virtual	BString				TerminalType() const override;
	virtual	const char*			Kind() const override { return "telnet"; }
	virtual	bool				CarriesEightBits() const override
									{ return fProtocol.ReceivesBinary(); }
	virtual	int32				Columns() const override
									{ return fProtocol.Width(); }
	virtual	bool				OffersEncodingChoice() const override
									{ return true; }
	virtual	TerminalEncoding	Encoding() const override
									{ return fProtocol.Encoding(); }
	virtual	void				ChooseEncoding(TerminalEncoding encoding)
									override
									{ fProtocol.ChooseEncoding(encoding); }
	virtual	std::string			DoorKeys(const std::string& typed) override
									{ return fProtocol.DoorKeys(typed); }
	virtual	void				LoggedIn() override { fStream.ReleasePass(); }
	virtual	void				SendWaiting() override { fStream.Flush(); }
	// The looper's pacer, which gathers the door's texts into fewer sends.
			void				SetPacer(OutputPacer* pacer)
									{ fStream.SetPacer(pacer); }
	// The line's place among the connections not logged in.
			void				SetPass(const PeerGate::Pass& pass)
									{ fStream.HoldPass(pass); }

private:
	// Queues the text for the caller; false once the line is ending.
			bool				_Queue(const std::string& text);

	// The protocol's events
	virtual	void				KeysReceived(const std::string& keys) override;
	virtual	void				BytesToSend(const char* bytes,
									size_t size) override;
	virtual	void				ProtocolFailed(const char* reason) override;

	// The socket's events
	virtual	void				BytesReceived(const char* data, size_t size)
									override;
	virtual	void				OutputFlushed() override;
	virtual	void				StreamEnded(
									StreamConnection::EndReason reason)
									override;

			Board&				fBoard;
			BString				fAddress;
			std::function<void(TelnetConnection*)> fEnded;
			TelnetProtocol		fProtocol;
			StreamConnection	fStream;
			// Until Start: the board is told nothing of a line that never
			// began.
			bool				fStarted = false;
};
