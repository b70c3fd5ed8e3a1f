#include "RloginProtocol.h"

#include <stdlib.h>


// 0xFF 0xFF 's' 's', then rows, columns, width and height in pixels.
static const char kWindowMagic[] = { '\xff', '\xff', 's', 's' };
static const size_t kWindowMagicLength = sizeof(kWindowMagic);
static const size_t kWindowMessageLength = kWindowMagicLength + 8;


static uint16
NumberAt(const std::string& bytes, size_t at)
{
	return (uint16)(((uint8)bytes[at] << 8) | (uint8)bytes[at + 1]);
}


RloginProtocol::RloginProtocol(Listener& listener)
	:
	fListener(listener)
{
}


void
RloginProtocol::Receive(const char* bytes, size_t size)
{
	if (fState == State::kFailed)
		return;
	if (fState != State::kData) {
		size_t taken = _ReceiveHandshake(bytes, size);
		bytes += taken;
		size -= taken;
		if (fState != State::kData)
			return;
	}
	if (size > 0)
		_ReceiveData(bytes, size);
}


size_t
RloginProtocol::_ReceiveHandshake(const char* bytes, size_t size)
{
	size_t at = 0;
	while (at < size && fState != State::kData && fState != State::kFailed) {
		char byte = bytes[at++];
		if (fState == State::kStart) {
			if (byte != '\0') {
				_Fail("the handshake does not start with a 0 byte");
				return at;
			}
			fState = State::kClientUser;
			continue;
		}
		if (byte != '\0') {
			if (fField.size() >= kMaxFieldLength) {
				_Fail("a field of the handshake is too long");
				return at;
			}
			fField += byte;
			continue;
		}
		switch (fState) {
			case State::kClientUser:
				fHandshake.clientUser = fField;
				fState = State::kServerUser;
				break;
			case State::kServerUser:
				fHandshake.serverUser = fField;
				fState = State::kTerminal;
				break;
			case State::kTerminal:
			{
				size_t slash = fField.find('/');
				fHandshake.terminalType = fField.substr(0, slash);
				if (slash != std::string::npos) {
					std::string speed = fField.substr(slash + 1);
					if (!speed.empty() && speed.size() <= 9
						&& speed.find_first_not_of("0123456789")
							== std::string::npos) {
						fHandshake.speed = (uint32)strtoul(speed.c_str(),
							NULL, 10);
					}
				}
				fState = State::kData;
				break;
			}
			default:
				break;
		}
		fField.clear();
	}
	if (fState == State::kData) {
		// Reported last: the listener may answer at once, and keys that
		// came with the handshake follow it.
		fListener.HandshakeReceived(fHandshake);
	}
	return at;
}


void
RloginProtocol::_ReceiveData(const char* bytes, size_t size)
{
	std::string data = fPending;
	data.append(bytes, size);
	fPending.clear();

	std::string keys;
	size_t at = 0;
	while (at < data.size()) {
		size_t magic = data.find(kWindowMagic, at, kWindowMagicLength);
		if (magic == std::string::npos) {
			// The end may hold the start of a message cut in two.
			size_t keep = 0;
			for (size_t length = kWindowMagicLength - 1; length > 0;
					length--) {
				if (data.size() - at >= length
					&& data.compare(data.size() - length, length, kWindowMagic,
						length) == 0) {
					keep = length;
					break;
				}
			}
			keys.append(data, at, data.size() - at - keep);
			fPending = data.substr(data.size() - keep);
			break;
		}
		keys.append(data, at, magic - at);
		if (data.size() - magic < kWindowMessageLength) {
			fPending = data.substr(magic);
			break;
		}
		if (!keys.empty()) {
			std::string translated;
			fDiscipline.TranslateKeys(keys.data(), keys.size(), translated);
			keys.clear();
			if (!translated.empty())
				fListener.KeysReceived(translated);
		}
		uint16 rows = NumberAt(data, magic + kWindowMagicLength);
		uint16 columns = NumberAt(data, magic + kWindowMagicLength + 2);
		fListener.WindowChanged(columns, rows);
		at = magic + kWindowMessageLength;
	}
	if (!keys.empty()) {
		std::string translated;
		fDiscipline.TranslateKeys(keys.data(), keys.size(), translated);
		if (!translated.empty())
			fListener.KeysReceived(translated);
	}
}


void
RloginProtocol::_Fail(const char* reason)
{
	fState = State::kFailed;
	fListener.ProtocolFailed(reason);
}
