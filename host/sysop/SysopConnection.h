#pragma once

#include "BridgeProtocol.h"
#include "LineDiscipline.h"
#include "Onlooker.h"
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
//
// A spy, a chat or a wait stays open: the connection is then the sysop's
// Onlooker on the board, sending what the caller is shown as it goes, and
// passing the sysop's keys and end on. A sysop's terminal that does not
// keep up is let go, with a word why, before it makes the host hold much
// for it; the board is told when the connection goes.
class SysopConnection : private StreamConnection::Owner, public Onlooker {
public:
	// The answer to a request: done with a text for standard output, or
	// failed with an exit status and a message; or, for a request that
	// stays open, nothing yet.
	struct Answer {
		bool				done = true;
		uint8				exitStatus = 0;
		std::string			text;
		bool				staysOpen = false;
	};
	typedef std::function<Answer(const std::vector<std::string>&,
		SysopConnection&)> Handler;

								SysopConnection(BLooper* looper,
									int descriptor, Handler handler,
									std::function<void(SysopConnection*)>
										ended);
								SysopConnection(const SysopConnection&)
									= delete;
			SysopConnection&	operator=(const SysopConnection&) = delete;
	virtual						~SysopConnection();

			status_t			Start();

	// For a request that stays open: the sysop's keys (through a terminal's
	// line discipline), the sysop's end of it, and the connection's going
	// (run once, after the event in which it ended, or when it falls
	// behind), each on the looper.
			void				SetKeysTyped(
									std::function<void(const std::string&)>
										typed) { fKeysTyped = typed; }
			void				SetEndAsked(std::function<void()> asked)
									{ fEndAsked = asked; }
			void				SetGone(std::function<void()> gone)
									{ fGone = gone; }

	// Onlooker
	virtual	void				Shown(const std::string& text) override;
	virtual	void				Ended(const std::string& why) override;

	// What a sysop's terminal may leave unread before it is let go: far
	// more than a screen, far less than the stream's own cap.
	static	const size_t		kMaxWatchBacklog = 64 * 1024;

private:
	// The socket's events
	virtual	void				BytesReceived(const char* data, size_t size)
									override;
	virtual	void				StreamEnded(
									StreamConnection::EndReason reason)
									override;

			void				_Answer(const std::vector<std::string>& words);
			void				_Send(const Answer& answer);
			void				_SessionFrame(uint8 type,
									const std::string& payload);
			void				_Go();

			int					fDescriptor;
			Handler				fHandler;
			std::function<void(SysopConnection*)> fEnded;
			FrameReader			fReader;
			StreamConnection	fStream;
			bool				fAnswered = false;
			bool				fOpen = false;
			bool				fDone = false;
			LineDiscipline		fDiscipline;
			std::function<void(const std::string&)> fKeysTyped;
			std::function<void()> fEndAsked;
			std::function<void()> fGone;
};
