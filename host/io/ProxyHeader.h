#pragma once

#include <String.h>
#include <SupportDefs.h>

#include <stddef.h>

// The header a reverse proxy (HAProxy's send-proxy and send-proxy-v2,
// nginx's proxy_protocol) puts before a caller's bytes to name the caller:
// the text form ("PROXY TCP4 203.0.113.7 192.0.2.1 40000 23\r\n") or the
// binary one (a 12-byte signature, a command, a family and the addresses).
// It only reads bytes and never touches a socket. The bytes are a peer's:
// the header is capped, an address must be one inet_pton takes whole, and
// anything else is invalid rather than guessed at.
class ProxyHeader {
public:
	enum class Verdict {
		kNeedMore,		// every byte so far belongs to the header
		kComplete,
		kInvalid,
	};

	// The longest header taken, in either form.
	static const size_t kMaxLength = 16 + 512;

	// Reads the bytes received so far. With kNeedMore, all of them are
	// the header's, so a reader may take them off the line and never read
	// past the header's end; with kComplete, Length() says where the
	// caller's own bytes begin.
			Verdict				Parse(const uint8* data, size_t size);

			size_t				Length() const { return fLength; }
	// The caller's address as the host writes addresses (an IPv4 address
	// within IPv6 as IPv4); empty when the header names nobody (the
	// proxy's own check, "LOCAL" or "UNKNOWN"): the connection's own
	// address stands then.
			const BString&		Address() const { return fAddress; }
	// What was wrong, for the log.
			const char*			Problem() const { return fProblem; }

private:
			Verdict				_ParseText(const uint8* data, size_t size);
			Verdict				_ParseBinary(const uint8* data, size_t size);
			Verdict				_Invalid(const char* problem);

			size_t				fLength = 0;
			BString				fAddress;
			const char*			fProblem = "";
};
