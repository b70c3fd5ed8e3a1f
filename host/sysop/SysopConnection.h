#pragma once

#include "BridgeProtocol.h"

#include <functional>
#include <string>
#include <vector>

class BLooper;

// The host's end of one sysop command's connection (SysopProtocol.h), on
// the host's looper: it reads the one request, has it answered, writes the
// answer from its own queue and closes. A peer that is not the host's user,
// or that sends anything else, is closed without an answer. Once closed it
// asks its owner to delete it (after the current event).
class SysopConnection {
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
								~SysopConnection();

			status_t			Start();

private:
			void				_Event(uint32 events);
			void				_Read();
			void				_Flush();
			void				_End();

			BLooper*			fLooper;
			int					fDescriptor;
			Handler				fHandler;
			std::function<void(SysopConnection*)> fEnded;
			FrameReader			fReader;
			std::string			fOutput;
			bool				fAnswered = false;
			bool				fWatchingWritable = false;
			bool				fEnding = false;
};
