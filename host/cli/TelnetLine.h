#pragma once

#include "TelnetProtocol.h"

#include <SupportDefs.h>

#include <string>

// A caller's telnet line that a board hands a bridge (a DOOR32.SYS of comm
// type 2 names the inherited socket): the bridge speaks telnet on it itself,
// through the host's own TelnetProtocol, so that its caller meets the same
// offers, Enter, echo and output rules as the host's telnet callers. The
// socket is the board's: it stays open and unchanged when the session ends,
// for the board's next screen. Blocking writes, on the bridge's one thread.
class TelnetLine : private TelnetProtocol::Listener {
public:
	explicit					TelnetLine(int descriptor);
								TelnetLine(const TelnetLine&) = delete;
			TelnetLine&			operator=(const TelnetLine&) = delete;

	// B_BAD_VALUE when the handle is no open socket.
			status_t			InitCheck() const;
	// The host's offers (echo, go-ahead, window size, terminal type).
			status_t			Start();
	// Bytes from the caller: the keys typed, as the door receives them,
	// and the protocol's answers sent. B_OK with *ended set when the caller
	// hung up or the line broke.
			status_t			Receive(std::string* keys, bool* ended);
			status_t			Show(const std::string& text);
	// CR LF when the cursor is within a line.
			status_t			EndLine();

			int					Descriptor() const { return fDescriptor; }

private:
	virtual	void				KeysReceived(const std::string& keys) override;
	virtual	void				BytesToSend(const char* bytes,
									size_t size) override;
	virtual	void				ProtocolFailed(const char* reason) override;

			status_t			_Send();

			int					fDescriptor;
			TelnetProtocol		fProtocol;
			std::string			fKeys;
			std::string			fOutput;
			bool				fAtLineStart = true;
			bool				fFailed = false;
};
