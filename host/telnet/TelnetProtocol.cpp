#include "TelnetProtocol.h"

#include "PeerText.h"

#include <libtelnet.h>
#include <string.h>


static const telnet_telopt_t kOptions[] = {
	{ TELNET_TELOPT_ECHO, TELNET_WILL, TELNET_DONT },
	{ TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO },
	{ TELNET_TELOPT_NAWS, TELNET_WONT, TELNET_DO },
	{ TELNET_TELOPT_TTYPE, TELNET_WONT, TELNET_DO },
	{ TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO },
	{ -1, 0, 0 },
};

// Compression of what the caller sends (MCCP's COMPRESS and COMPRESS2):
// never offered, never taken. libtelnet would start inflating at a
// caller's "IAC SB COMPRESS2 IAC SE" even unasked, turning a few kilobytes
// on the wire into megabytes of keys.
static const unsigned char kTeloptCompress = 85;
static const unsigned char kTeloptCompress2 = 86;


TelnetProtocol::TelnetProtocol(Listener& listener)
	:
	fListener(listener)
{
	fTelnet = telnet_init(kOptions, &TelnetProtocol::_Event, 0, this);
	if (fTelnet == NULL)
		fFailed = true;
}


TelnetProtocol::~TelnetProtocol()
{
	if (fTelnet != NULL)
		telnet_free(fTelnet);
}


void
TelnetProtocol::Start()
{
	if (fTelnet == NULL)
		return;
	telnet_negotiate(fTelnet, TELNET_WILL, TELNET_TELOPT_ECHO);
	telnet_negotiate(fTelnet, TELNET_WILL, TELNET_TELOPT_SGA);
	telnet_negotiate(fTelnet, TELNET_DO, TELNET_TELOPT_NAWS);
	telnet_negotiate(fTelnet, TELNET_DO, TELNET_TELOPT_TTYPE);
	// A password is the bytes typed: a client that agrees sends UTF-8 (or
	// any 8-bit byte) as it is, where in the plain network terminal's
	// 7-bit mode it might strip or change it.
	telnet_negotiate(fTelnet, TELNET_WILL, TELNET_TELOPT_BINARY);
	telnet_negotiate(fTelnet, TELNET_DO, TELNET_TELOPT_BINARY);
}


void
TelnetProtocol::Receive(const char* bytes, size_t size)
{
	if (fTelnet == NULL || fFailed)
		return;
	std::string passed;
	_DropCompression(bytes, size, passed);
	if (!passed.empty())
		telnet_recv(fTelnet, passed.data(), passed.size());
}


// Follows the commands in the caller's bytes just far enough to leave out
// every subnegotiation of a compression option, whole, before libtelnet
// sees it. An IAC is held back until the byte after it is known, and "IAC
// SB" until the option after it: libtelnet ends a subnegotiation at any
// IAC but IAC IAC, and takes what follows as a command of its own, so a
// subnegotiation opened inside another is followed as libtelnet would.
void
TelnetProtocol::_DropCompression(const char* bytes, size_t size,
	std::string& passed)
{
	passed.reserve(size + 3);
	for (size_t i = 0; i < size; i++) {
		unsigned char byte = (unsigned char)bytes[i];
		switch (fCommandState) {
			case CommandState::kData:
				if (byte == TELNET_IAC)
					fCommandState = CommandState::kCommand;
				else
					passed += (char)byte;
				break;
			case CommandState::kCommand:
				_PassCommand(byte, passed);
				break;
			case CommandState::kOption:
				passed += (char)byte;
				fCommandState = CommandState::kData;
				break;
			case CommandState::kSubnegotiationOption:
				if (byte == kTeloptCompress || byte == kTeloptCompress2) {
					fCommandState = CommandState::kDroppedSubnegotiation;
					break;
				}
				passed += (char)TELNET_IAC;
				passed += (char)TELNET_SB;
				passed += (char)byte;
				fCommandState = CommandState::kSubnegotiation;
				break;
			case CommandState::kSubnegotiation:
				if (byte == TELNET_IAC)
					fCommandState = CommandState::kSubnegotiationCommand;
				else
					passed += (char)byte;
				break;
			case CommandState::kSubnegotiationCommand:
				if (byte == TELNET_IAC) {
					passed += (char)TELNET_IAC;
					passed += (char)TELNET_IAC;
					fCommandState = CommandState::kSubnegotiation;
				} else
					_PassCommand(byte, passed);
				break;
			case CommandState::kDroppedSubnegotiation:
				if (byte == TELNET_IAC)
					fCommandState = CommandState::kDroppedCommand;
				break;
			case CommandState::kDroppedCommand:
				if (byte == TELNET_IAC)
					fCommandState = CommandState::kDroppedSubnegotiation;
				else if (byte == TELNET_SE)
					fCommandState = CommandState::kData;
				else
					_PassCommand(byte, passed);
				break;
		}
	}
}


// The byte after an IAC that is no doubled IAC within a subnegotiation:
// the end of one, or a command of its own.
void
TelnetProtocol::_PassCommand(unsigned char byte, std::string& passed)
{
	if (byte == TELNET_SB) {
		fCommandState = CommandState::kSubnegotiationOption;
		return;
	}
	passed += (char)TELNET_IAC;
	passed += (char)byte;
	fCommandState = byte >= TELNET_WILL && byte <= TELNET_DONT
		? CommandState::kOption : CommandState::kData;
}


void
TelnetProtocol::SetDoorCharset(DoorCharset door)
{
	fDoorCharset = door;
	fDiscipline.SetCharacterSet(CharacterSet(door,
		CharacterSet::EncodingForTerminalType(fTerminalType.String(),
			TerminalEncoding::kEightBit)));
}


void
TelnetProtocol::ChooseEncoding(TerminalEncoding encoding)
{
	fEncodingChosen = true;
	fDiscipline.SetCharacterSet(CharacterSet(fDoorCharset, encoding));
}


void
TelnetProtocol::SendText(const std::string& text)
{
	if (fTelnet == NULL || fFailed)
		return;
	std::string translated;
	fDiscipline.TranslateText(text, translated);
	// On a telnet line a CR of its own is CR NUL; the discipline's line
	// ends are CR LF already.
	std::string line;
	for (size_t i = 0; i < translated.size(); i++) {
		line += translated[i];
		if (translated[i] == '\r'
			&& (i + 1 == translated.size() || translated[i + 1] != '\n')) {
			line += '\0';
		}
	}
	telnet_send(fTelnet, line.data(), line.size());
}


void
TelnetProtocol::_Event(telnet_t*, telnet_event_t* event, void* data)
{
	static_cast<TelnetProtocol*>(data)->_HandleEvent(event);
}


void
TelnetProtocol::_HandleEvent(telnet_event_t* event)
{
	switch (event->type) {
		case TELNET_EV_DATA:
		{
			std::string keys;
			fDiscipline.TranslateKeysAsTyped(event->data.buffer,
				event->data.size, keys);
			if (!keys.empty())
				fListener.KeysReceived(keys);
			break;
		}
		case TELNET_EV_SEND:
			fListener.BytesToSend(event->data.buffer, event->data.size);
			break;
		case TELNET_EV_WILL:
			if (event->neg.telopt == TELNET_TELOPT_TTYPE)
				telnet_ttype_send(fTelnet);
			if (event->neg.telopt == TELNET_TELOPT_BINARY)
				fReceivesBinary = true;
			break;
		case TELNET_EV_WONT:
			if (event->neg.telopt == TELNET_TELOPT_BINARY)
				fReceivesBinary = false;
			break;
		case TELNET_EV_TTYPE:
			if (event->ttype.cmd == TELNET_TTYPE_IS
				&& event->ttype.name != NULL) {
				std::string name = PeerText::TerminalType(event->ttype.name,
					strlen(event->ttype.name));
				fTerminalType.SetTo(name.c_str());
				if (!fEncodingChosen) {
					fDiscipline.SetCharacterSet(CharacterSet(fDoorCharset,
						CharacterSet::EncodingForTerminalType(name.c_str(),
							TerminalEncoding::kEightBit)));
				}
			}
			break;
		case TELNET_EV_SUBNEGOTIATION:
			if (event->sub.telopt == TELNET_TELOPT_NAWS
				&& event->sub.size == 4) {
				const unsigned char* size
					= (const unsigned char*)event->sub.buffer;
				fWidth = (size[0] << 8) | size[1];
				fHeight = (size[2] << 8) | size[3];
			}
			break;
		case TELNET_EV_ERROR:
			fFailed = true;
			fListener.ProtocolFailed(event->error.msg);
			break;
		default:
			break;
	}
}
