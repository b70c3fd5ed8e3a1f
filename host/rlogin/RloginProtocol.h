#pragma once

#include "LineDiscipline.h"

#include <SupportDefs.h>

#include <string>

// One RLogin line (RFC 1282) as a state machine: bytes from the calling
// board in, its handshake, the keys its caller types and the caller's
// window sizes out; texts for the caller in, bytes for the line out. It
// never touches a socket (its connection does).
//
// The board opens with a 0 byte and three strings, each ended by a 0 byte:
// its own user name for the caller (the board's secret here), the user
// name on this side (the caller's name) and the terminal type with its
// speed ("ansi-bbs/38400"). The server answers with one 0 byte, and from
// then on the line carries the caller's keys one way and the screen the
// other. The server asks for the window's size with an urgent 0x80 byte;
// the client then sends, within its keys, 0xFF 0xFF 's' 's' and four
// 16-bit numbers (most significant byte first): rows, columns and the
// size in pixels, again at every change. Fields longer than a board sends
// fail the line, as does a first byte other than 0. Enter, backspace and
// output hygiene are the caller's line discipline.
class RloginProtocol {
public:
	struct Handshake {
		std::string			clientUser;
		std::string			serverUser;
		std::string			terminalType;
		// 0 when the board named none.
		uint32				speed = 0;
	};

	class Listener {
	public:
		virtual					~Listener() = default;
		virtual	void			HandshakeReceived(const Handshake&) = 0;
		virtual	void			KeysReceived(const std::string& keys) = 0;
		virtual	void			WindowChanged(uint16 columns,
									uint16 rows) = 0;
		virtual	void			ProtocolFailed(const char* reason) = 0;
	};

	// The longest field of the handshake a board sends (a secret, a name,
	// a terminal type with its speed).
	static constexpr size_t	kMaxFieldLength = 64;
	// The server's answer to a handshake it takes.
	static constexpr char	kAcknowledgement = '\0';
	// Sent urgent (out of band): "tell me your window's size".
	static constexpr uint8	kWindowSizeRequest = 0x80;

	explicit					RloginProtocol(Listener& listener);
								RloginProtocol(const RloginProtocol&) = delete;
			RloginProtocol&		operator=(const RloginProtocol&) = delete;

			void				Receive(const char* bytes, size_t size);
	// A text of the door or of the host, as the caller's terminal takes it.
			void				TranslateText(const std::string& text,
									std::string& output)
									{ fDiscipline.TranslateText(text,
										output); }
	// CR LF when the caller's cursor is within a line.
			void				EndLine(std::string& output)
									{ fDiscipline.EndLine(output); }

			bool				HasHandshake() const
									{ return fState == State::kData; }
			bool				HasFailed() const
									{ return fState == State::kFailed; }

private:
	enum class State {
		kStart,
		kClientUser,
		kServerUser,
		kTerminal,
		kData,
		kFailed,
	};

			size_t				_ReceiveHandshake(const char* bytes,
									size_t size);
			void				_ReceiveData(const char* bytes, size_t size);
			void				_Fail(const char* reason);

			Listener&			fListener;
			LineDiscipline		fDiscipline;
			State				fState = State::kStart;
			Handshake			fHandshake;
			std::string			fField;
	// The start of a window-size message held until it is whole (or proves
	// to be keys).
			std::string			fPending;
};
