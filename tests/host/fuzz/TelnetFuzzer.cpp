// Feeds arbitrary bytes to a caller's telnet line as a socket might deliver
// them, in pieces, through libtelnet and our handling of its events, and
// shows the same bytes as a door's text. Nothing may crash, hang or leak;
// no key may be a 0 byte or a CR (Enter is always one line feed), there
// are never more keys than bytes came in (nothing is inflated), and the
// text must leave with every line feed after a CR, every other CR followed
// by a NUL, and without a byte that a terminal acts on as a control.
#include "LineDiscipline.h"
#include "TelnetProtocol.h"

#include <stdint.h>
#include <stdlib.h>
#include <string>


namespace {

class Recorder : public TelnetProtocol::Listener {
public:
	void KeysReceived(const std::string& keys) override
	{
		for (char key : keys) {
			if (key == '\0' || key == '\r' || key == 0x7f)
				abort();
		}
		fKeys += keys.size();
	}

	void BytesToSend(const char* bytes, size_t size) override
	{
		fSent.append(bytes, size);
	}

	void ProtocolFailed(const char*) override
	{
		fFailed = true;
	}

	std::string fSent;
	size_t fKeys = 0;
	bool fFailed = false;
};


// The text as it left, with libtelnet's doubled IAC undone: a text never
// carries a telnet command.
void
CheckText(const std::string& sent)
{
	char previous = '\0';
	for (size_t i = 0; i < sent.size(); i++) {
		uint8 byte = (uint8)sent[i];
		if (byte == 0xff) {
			if (i + 1 >= sent.size() || (uint8)sent[i + 1] != 0xff)
				abort();
			i++;
		}
		bool padding = byte == '\0' && previous == '\r';
		if (byte < 0x80 && !IsHarmlessTerminalByte(byte) && !padding)
			abort();
		if (byte == '\n' && previous != '\r')
			abort();
		if (previous == '\r' && byte != '\n' && byte != '\0')
			abort();
		previous = (char)byte;
	}
	if (previous == '\r')
		abort();
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const char* bytes = reinterpret_cast<const char*>(data);
	Recorder recorder;
	TelnetProtocol protocol(recorder);
	protocol.Start();

	// The first byte decides how the rest is cut.
	size_t piece = size > 0 ? (size_t)(data[0] % 16) + 1 : 1;
	for (size_t at = 1; at < size && !recorder.fFailed; at += piece)
		protocol.Receive(bytes + at, std::min(piece, size - at));
	if (recorder.fKeys > size)
		abort();

	recorder.fSent.clear();
	protocol.SendText(std::string(bytes, size));
	if (!protocol.HasFailed())
		CheckText(recorder.fSent);
	if (protocol.TerminalType().Length() > 40)
		abort();
	return 0;
}
