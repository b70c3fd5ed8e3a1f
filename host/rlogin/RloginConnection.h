#pragma once

#include "PeerGate.h"
#include "RloginProtocol.h"
#include "StreamConnection.h"
#include "Terminal.h"

#include <functional>
#include <string>

class BLooper;
class Board;
class RloginCallers;

// One caller of another board over RLogin, on the host's looper: the
// board's handshake is judged by the callers' registry (its address, its
// secret, its callers at once), after which the caller of the name plays
// in the door as Name@TAG until the session ends and the call goes back to
// the caller's board. Until the handshake is answered the caller counts
// against the board's limits as one logging in does. Its bytes come and go
// on its StreamConnection; on a hang-up, an error or once a Finish has
// sent everything it reports to the board and the registry, which hands it
// to its keeper for deletion after the event.
class RloginConnection : public Terminal,
	private RloginProtocol::Listener, private StreamConnection::Owner {
public:
								RloginConnection(BLooper* looper,
									Board& board, RloginCallers& callers,
									int descriptor, const BString& address);
								RloginConnection(const RloginConnection&)
									= delete;
			RloginConnection&	operator=(const RloginConnection&) = delete;
	virtual						~RloginConnection();

	[[nodiscard]] status_t		Start();

	virtual	void				Show(const std::string& text) override;
	virtual	void				ShowSoon(const std::string& text) override;
	virtual	size_t				Backlog() const override
									{ return fStream.Queued(); }
	virtual	void				Finish(CallEnd end, const char* notice)
									override;
	virtual	const BString&		Address() const override { return fAddress; }
	virtual	BString				TerminalType() const override;
	virtual	const char*			Kind() const override { return "rlogin"; }
	virtual	int32				Columns() const override { return fColumns; }
	virtual	void				LoggedIn() override { fStream.ReleasePass(); }
	virtual	void				SendWaiting() override { fStream.Flush(); }
	// The looper's pacer, which gathers the door's texts into fewer sends.
			void				SetPacer(OutputPacer* pacer)
									{ fStream.SetPacer(pacer); }
	// The call's place among the connections not logged in.
			void				SetPass(const PeerGate::Pass& pass)
									{ fStream.HoldPass(pass); }

	// The board the call came from, once its handshake was taken.
			const BString&		BoardTag() const { return fTag; }

private:
	// Queues the text for the caller; false once the line is ending.
			bool				_Queue(const std::string& text);

	// The protocol's events
	virtual	void				HandshakeReceived(
									const RloginProtocol::Handshake&
										handshake) override;
	virtual	void				KeysReceived(const std::string& keys)
									override;
	virtual	void				WindowChanged(uint16 columns,
									uint16 rows) override;
	virtual	void				ProtocolFailed(const char* reason) override;

	// The socket's events
	virtual	void				BytesReceived(const char* data, size_t size)
									override;
	virtual	void				OutputFlushed() override;
	virtual	void				StreamEnded(
									StreamConnection::EndReason reason)
									override;

	// Takes the call (once its board is known), before anything is shown.
			void				_Answer();
			void				_Refuse(const std::string& notice);

			Board&				fBoard;
			RloginCallers&		fCallers;
	// The stream's, kept for the one urgent byte it does not send.
			int					fDescriptor;
			BString				fAddress;
			BString				fTag;
			RloginProtocol		fProtocol;
			StreamConnection	fStream;
			std::string			fTerminalType;
			uint16				fColumns = 0;
			uint16				fRows = 0;
	// The handshake was answered: from then on the line carries texts.
			bool				fAnswered = false;
			bool				fStarted = false;
};
