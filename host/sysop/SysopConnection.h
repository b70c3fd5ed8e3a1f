#pragma once

#include "BridgeProtocol.h"
#include "StreamConnection.h"

#include <functional>
#include <string>
#include <vector>

class BLooper;

// The host's end of one sysop command's connection (SysopProtocol.h), on
// the host's looper: it reads the one request from its StreamConnection,
// has it answered, sends the answer and closes. A peer that is not the host's user,
// or that sends anything else, is closed without an answer. Once closed it
// asks its owner to delete it (after the current event).
class SysopConnection : private StreamConnection::Owner {
public:
	// The answer to a request: done with a text for standard output, or
	// failed with an exit status and a message.
	struct Answer {
		bool				done = true;
		uint8				exitStatus = 0;
		std::string			text;
	};
	typedef std::function<Answer(const std::vector<std::string>&)> Handler;

								SysopConnection(BLooper* looper,
									int descriptor, Handler handler,
									std::function<void(SysopConnection*)>
										ended);
								SysopConnection(const SysopConnection&)
									= delete;
			SysopConnection&	operator=(const SysopConnection&) = delete;
	virtual						~SysopConnection();

			status_t			Start();

private:
	// The socket's events
	virtual	void				BytesReceived(const char* data, size_t size)
									override;
	virtual	void				StreamEnded(
									StreamConnection::EndReason reason)
									override;

			void				_Answer(const std::vector<std::string>& words);

			int					fDescriptor;
			Handler				fHandler;
			std::function<void(SysopConnection*)> fEnded;
			FrameReader			fReader;
			StreamConnection	fStream;
			bool				fAnswered = false;
};
