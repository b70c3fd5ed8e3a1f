#pragma once

#include "Listener.h"
#include "OutputPacer.h"
#include "RloginBoards.h"

#include <String.h>

#include <map>
#include <string>

class BLooper;
class Board;
class RloginConnection;
class TerminalKeeper;

// The host's door server for other boards: the RLogin port and, for each
// call, an RloginConnection that the board knows as a terminal like a
// telnet line. It judges each handshake against the boards the sysop
// named (the boards file, read again when it changed, and the config
// file's), counts each board's callers at once, and hands its connections
// to the keeper (the host), which deletes one after the event in which it
// ended. Everything runs on the looper's thread.
class RloginCallers {
public:
	// Why a handshake was refused, or the name the caller plays under.
	struct Judgement {
		bool				admitted = false;
		BString				tag;
		// The failure's key (the calling address's) for the board's
		// pauses and locks; empty when the refusal is no failure (a
		// board with all its callers on).
		std::string			failureKey;
		std::string			notice;
	};

								RloginCallers(BLooper& looper, Board& board,
									TerminalKeeper& keeper,
									const BString& boardsPath,
									const RloginBoards& configured);
								RloginCallers(const RloginCallers&) = delete;
			RloginCallers&		operator=(const RloginCallers&) = delete;
								~RloginCallers();

	// Reads the boards file, then listens. On an error a message for the
	// sysop.
	[[nodiscard]] status_t		Listen(const char* address, uint16 port,
									BString* problem);
			uint16				Port() const { return fListener.Port(); }
	// Connections are counted at the host's gate; set before Listen.
			void				SetGate(PeerGate* gate)
									{ fListener.SetGate(gate); }
	// From now on a call is closed at once (the host is shutting down).
			void				RefuseCallers();

	// For the connections. The secret is never logged, even a wrong one
	// (it may be the right one mistyped); the caller's name is, escaped.
			Judgement			Judge(RloginConnection* connection,
									const std::string& address,
									const std::string& secret,
									const std::string& name);
	// What the board counts an address's failed calls by: no name of a
	// caller can be it.
	static	std::string			FailureKey(const std::string& address);
			void				ConnectionEnded(RloginConnection* connection);

	// The looper's pacer for the calls' output; it outlives them.
			void				SetPacer(OutputPacer* pacer)
									{ fPacer = pacer; }

private:
			void				_Arrived(int descriptor,
									const BString& address,
									const PeerGate::Pass& pass);
			void				_ReloadIfChanged();

			BLooper&			fLooper;
			Board&				fBoard;
			TerminalKeeper&		fKeeper;
			OutputPacer*		fPacer = nullptr;
			BString				fBoardsPath;
			RloginBoards		fConfigured;
			RloginBoards		fBoards;
			// The boards file's change time when it was read.
			int64				fBoardsChanged = -1;
			Listener			fListener;
			// The keeper's; the admitted ones by their board's tag.
			std::map<RloginConnection*, std::string> fAdmitted;
};
