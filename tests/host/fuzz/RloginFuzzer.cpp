// Feeds arbitrary bytes to an RLogin line as a board's socket might deliver
// them, in pieces, and shows the same bytes as a door's text. Nothing may
// crash, hang or leak; the handshake comes at most once with fields no
// longer than their cap, no key may be a 0 byte or a CR, nothing comes
// after a failure, and the text leaves without a byte that a terminal acts
// on as a control.
#include "LineDiscipline.h"
#include "RloginProtocol.h"

#include <stdint.h>
#include <stdlib.h>
#include <string>


namespace {

class Recorder : public RloginProtocol::Listener {
public:
	void HandshakeReceived(const RloginProtocol::Handshake& handshake) override
	{
		if (fHandshakes++ > 0
			|| handshake.clientUser.size() > RloginProtocol::kMaxFieldLength
			|| handshake.serverUser.size() > RloginProtocol::kMaxFieldLength
			|| handshake.terminalType.size()
				> RloginProtocol::kMaxFieldLength) {
			abort();
		}
	}

	void KeysReceived(const std::string& keys) override
	{
		if (fHandshakes != 1 || fFailed)
			abort();
		fKeys += keys;
		for (char key : keys) {
			if (key == '\0' || key == '\r' || key == 0x7f)
				abort();
		}
	}

	void WindowChanged(uint16, uint16) override
	{
		if (fHandshakes != 1)
			abort();
	}

	void ProtocolFailed(const char*) override
	{
		if (fHandshakes != 0)
			abort();
		fFailed = true;
	}

	int fHandshakes = 0;
	bool fFailed = false;
	std::string fKeys;
};

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const char* bytes = reinterpret_cast<const char*>(data);
	Recorder recorder;
	RloginProtocol protocol(recorder);

	// The first byte decides how the rest is cut.
	size_t piece = size > 0 ? (size_t)(data[0] % 16) + 1 : 1;
	for (size_t at = 1; at < size; at += piece)
		protocol.Receive(bytes + at, std::min(piece, size - at));
	// A window change is taken out, never doubled into keys.
	if (recorder.fKeys.size() > size)
		abort();

	std::string shown;
	protocol.TranslateText(std::string(bytes, size), shown);
	char previous = '\0';
	for (char byte : shown) {
		if ((uint8)byte < 0x80 && !IsHarmlessTerminalByte((uint8)byte))
			abort();
		if (byte == '\n' && previous != '\r')
			abort();
		previous = byte;
	}
	return 0;
}
