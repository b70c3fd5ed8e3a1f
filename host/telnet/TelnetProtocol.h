#pragma once

#include "LineDiscipline.h"

#include <String.h>

#include <string>

struct telnet_t;
union telnet_event_t;

// One caller's telnet line as a state machine: bytes from the caller in,
// the keys typed out; texts for the caller in, bytes for the line out. It
// never touches a socket (its connection does). The host offers to echo
// and to suppress go-ahead, so that clients send a key at a time and show
// only what the door echoes; it asks for the window size and the terminal
// type and keeps the answers; it asks for binary both ways, so that 8-bit
// bytes (a UTF-8 password) pass unchanged, and refuses every other
// option, and never takes compression, even started unasked. Enter, backspace and output hygiene are the line discipline's;
// an IAC byte in a text goes out doubled. Subnegotiations longer than
// libtelnet's buffer are a protocol error, after which the line is closed.
class TelnetProtocol {
public:
	class Listener {
	public:
		virtual					~Listener() = default;
		virtual	void			KeysReceived(const std::string& keys) = 0;
		virtual	void			BytesToSend(const char* bytes,
									size_t size) = 0;
		virtual	void			ProtocolFailed(const char* reason) = 0;
	};

	explicit					TelnetProtocol(Listener& listener);
								TelnetProtocol(const TelnetProtocol&) = delete;
			TelnetProtocol&		operator=(const TelnetProtocol&) = delete;
								~TelnetProtocol();

	// The host's offers and questions, once at the start of the call.
			void				Start();
			void				Receive(const char* bytes, size_t size);
			void				SendText(const std::string& text);
	// The door's character set; the terminal's type then says whether the
	// caller's terminal takes it as it is or in UTF-8 (as it is until a
	// type that speaks UTF-8 arrives).
			void				SetDoorCharset(DoorCharset door);
	// The caller's own choice, which a terminal type told later does not
	// undo.
			void				ChooseEncoding(TerminalEncoding encoding);
			TerminalEncoding	Encoding() const
									{ return fDiscipline.Characters().Edge(); }
			std::string			DoorKeys(const std::string& typed)
									{ return fDiscipline.DoorKeys(typed); }

			const BString&		TerminalType() const { return fTerminalType; }
			int32				Width() const { return fWidth; }
			int32				Height() const { return fHeight; }
			bool				HasFailed() const { return fFailed; }
	// Whether the client agreed to send in binary: its 8-bit bytes are
	// then the bytes typed.
			bool				ReceivesBinary() const
									{ return fReceivesBinary; }

private:
	static	void				_Event(telnet_t* telnet, telnet_event_t* event,
									void* data);
			void				_HandleEvent(telnet_event_t* event);
			void				_DropCompression(const char* bytes,
									size_t size, std::string& passed);
			void				_PassCommand(unsigned char byte,
									std::string& passed);

	// Where the caller's bytes stand between commands, across reads.
	enum class CommandState {
		kData,
		kCommand,					// after IAC
		kOption,					// after IAC WILL, WONT, DO or DONT
		kSubnegotiationOption,		// after IAC SB
		kSubnegotiation,
		kSubnegotiationCommand,		// after IAC within one
		kDroppedSubnegotiation,		// of a compression option
		kDroppedCommand,			// after IAC within that
	};

			Listener&			fListener;
			telnet_t*			fTelnet = nullptr;
			LineDiscipline		fDiscipline;
			BString				fTerminalType;
			DoorCharset			fDoorCharset = DoorCharset::kCp437;
			bool				fEncodingChosen = false;
			int32				fWidth = 0;
			int32				fHeight = 0;
			bool				fFailed = false;
			bool				fReceivesBinary = false;
			CommandState		fCommandState = CommandState::kData;
};
