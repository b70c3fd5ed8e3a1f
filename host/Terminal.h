#pragma once

#include "BridgeProtocol.h"

#include <Message.h>
#include <String.h>

#include <deque>
#include <string>
#include <vector>

// One terminal handed to the host by a bridge: the user at it, the keys
// typed and not yet asked for, the door's requests that wait for the user,
// and the bytes on their way to the bridge. Everything here belongs to the
// host's looper thread.
class Terminal {
public:
	enum class State {
		kGreeting,		// no hello yet
		kInDoor,		// entering or in the door
		kEnded,			// the session is over, or never began
	};

								Terminal(int32 id, int descriptor);
								Terminal(const Terminal&) = delete;
			Terminal&			operator=(const Terminal&) = delete;
	// Deletes unanswered requests (their senders get B_NO_REPLY) and closes
	// the socket.
								~Terminal();

			int32				ID() const { return fID; }
			int					Descriptor() const { return fDescriptor; }
			const BString&		UserName() const { return fUserName; }
			void				SetUserName(const BString& name)
									{ fUserName = name; }
			State				CurrentState() const { return fState; }
			void				SetState(State state) { fState = state; }

	// Keys
			// A 0 byte is never a key: to the door it means "gone".
			void				AddKeys(const char* keys, size_t size);
			void				EndInput() { fInputEnded = true; }
			bool				HasKey() const { return !fKeys.empty(); }
			char				TakeKey();
			// Every key before the end of the input was taken. The user is
			// gone only once the door asks for one more: the texts that the
			// last keys bring are still shown.
			bool				InputExhausted() const
									{ return fInputEnded && fKeys.empty(); }
			// The user has gone: hung up, or asked for a key past the end.
			bool				IsGone() const { return fGone; }
			void				SetGone() { fGone = true; }
			bool				IsConnected() const
									{ return fDescriptor >= 0; }

	// The door's requests that wait for the user
			BMessage*			fKeyRequest = nullptr;
			std::deque<BMessage*> fTextRequests;
			bool				HasWaitingRequests() const
									{ return fKeyRequest != nullptr
										|| !fTextRequests.empty(); }

	// Output to the bridge
			void				QueueFrame(uint8 type, const std::string& payload);
			std::string&		Output() { return fOutput; }
			bool				IsClosing() const { return fClosing; }
			void				SetClosing() { fClosing = true; }
			FrameReader&		Reader() { return fReader; }
			bool				fWatchingWritable = false;
			// Closes the socket; the terminal stays until its session ends.
			void				Disconnect();

private:
			int32				fID;
			int					fDescriptor;
			BString				fUserName;
			State				fState = State::kGreeting;
			std::deque<char>	fKeys;
			bool				fInputEnded = false;
			bool				fGone = false;
			FrameReader			fReader;
			std::string			fOutput;
			bool				fClosing = false;
};
