#pragma once

#include "RloginProtocol.h"
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
// against the board's limits as one logging in does. The socket is read
// when readable and written from the connection's own queue (capped: a
// line that takes nothing is let go); on a hang-up, an error or once a
// Finish has sent everything it reports to the board and the registry,
// which hands it to its keeper for deletion after the event.
class RloginConnection : public Terminal,
	private RloginProtocol::Listener {
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
	virtual	size_t				Backlog() const override
									{ return fOutput.size(); }
	virtual	void				Finish(CallEnd end, const char* notice)
									override;
	virtual	const BString&		Address() const override { return fAddress; }
	virtual	BString				TerminalType() const override;
	virtual	const char*			Kind() const override { return "rlogin"; }

	// The board the call came from, once its handshake was taken.
			const BString&		BoardTag() const { return fTag; }

private:
	// The protocol's events
	virtual	void				HandshakeReceived(
									const RloginProtocol::Handshake&
										handshake) override;
	virtual	void				KeysReceived(const std::string& keys)
									override;
	virtual	void				WindowChanged(uint16 columns,
									uint16 rows) override;
	virtual	void				ProtocolFailed(const char* reason) override;

	// Takes the call (once its board is known), before anything is shown.
			void				_Answer();
			void				_Refuse(const std::string& notice);
			void				_Event(uint32 events);
			void				_Read();
			void				_Flush();
			void				_Watch(bool writable);
			void				_End();

			BLooper*			fLooper;
			Board&				fBoard;
			RloginCallers&		fCallers;
			int					fDescriptor;
			BString				fAddress;
			BString				fTag;
			RloginProtocol		fProtocol;
			std::string			fOutput;
			std::string			fTerminalType;
			uint16				fColumns = 0;
			uint16				fRows = 0;
	// The handshake was answered: from then on the line carries texts.
			bool				fAnswered = false;
			bool				fWatchingWritable = false;
			bool				fClosing = false;
			bool				fEnding = false;
			bool				fStarted = false;
};
