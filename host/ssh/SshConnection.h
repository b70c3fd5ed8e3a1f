#pragma once

#include "DescriptorWatch.h"
#include "PeerGate.h"

#include <String.h>
#include <SupportDefs.h>

#include <memory>
#include <string>
#include <vector>

class BLooper;
class SshEvents;
class SshListener;
struct ssh_channel_callbacks_struct;
struct ssh_channel_struct;
struct ssh_message_struct;
struct ssh_session_struct;

// One SSH caller: a libssh server session on a non-blocking socket that the
// looper watches. Everything happens on the looper's thread: libssh is only
// asked to read and write what the descriptor has ready, so no call here
// waits. It grants one session channel with a PTY and a shell, after a
// password the owner accepted, and refuses every other request (exec,
// subsystems such as sftp, port forwarding either way, X11, agent
// forwarding). Text to the caller waits in its own queue while the
// caller's window or socket is full, so a caller who stops reading holds
// up nobody. It applies no line discipline and keeps no account: those are
// the owner's. Made and deleted by SshListener.
class SshConnection {
public:
								SshConnection(SshListener& listener,
									BLooper& looper, SshEvents& events,
									ssh_session_struct* session,
									int descriptor, const BString& address);
								SshConnection(const SshConnection&) = delete;
			SshConnection&		operator=(const SshConnection&) = delete;
								~SshConnection();

	[[nodiscard]] status_t		Start();

	// Authentication: the owner's answer to PasswordOffered or
	// QuestionsAnswered, or a refusal of QuestionsRequested.
			void				AnswerAuthentication(bool accepted);
	// Keyboard-interactive: questions for the caller, in answer to
	// QuestionsRequested or QuestionsAnswered (a second round, as for a
	// password typed twice that did not match).
	struct Question {
		BString				prompt;
		bool				echo = false;
	};
			void				AskQuestions(const char* instruction,
									const std::vector<Question>& questions);

	// Output: queued, and sent as the caller's window allows, once the
	// terminal is open (nothing is sent before).
			void				Send(const char* data, size_t size);
			size_t				QueuedBytes() const { return fOutput.size(); }
	// Ends the call: once the queued text has gone, or at once (a caller
	// who stopped reading and is taken over).
	enum class CloseMode {
		kAfterOutput,
		kAtOnce,
	};
			void				Close(CloseMode mode = CloseMode::kAfterOutput);

	// What is known of the caller; the user name once accepted.
			const BString&		Address() const { return fAddress; }
	// The connection's place among those not logged in, from its accept
	// until the caller logs in or the connection ends.
			void				SetPass(const PeerGate::Pass& pass);
			void				ReleasePass() { fPass.Release(); }
			const BString&		UserName() const { return fUserName; }
			const BString&		TerminalType() const { return fTerminalType; }
			int32				Columns() const { return fColumns; }
			int32				Rows() const { return fRows; }
			bool				IsClosed() const
									{ return fState == State::kClosed; }

private:
	enum class State {
		kKeyExchange,
		kAuthenticating,
		kAuthenticated,
		kTerminal,
		kClosing,
		kClosed,
	};

			void				_DescriptorReady(uint32 events);
			void				_Pump();
			void				_HandleMessage(ssh_message_struct* message);
			void				_HandleAuthentication(
									ssh_message_struct* message);
			void				_HandleChannelOpen(ssh_message_struct* message);
			void				_HandleChannelRequest(
									ssh_message_struct* message);
			void				_Flush();
			void				_WatchAsNeeded();
			void				_Finish();

	static	int					_ChannelData(ssh_session_struct* session,
									ssh_channel_struct* channel, void* data,
									uint32_t size, int isStderr,
									void* cookie);
	static	void				_ChannelEnded(ssh_session_struct* session,
									ssh_channel_struct* channel,
									void* cookie);

			SshListener&		fListener;
			SshEvents&			fEvents;
			ssh_session_struct*	fSession;
			ssh_channel_struct*	fChannel = nullptr;
			std::unique_ptr<ssh_channel_callbacks_struct> fChannelCallbacks;
			// The authentication request the owner has yet to answer.
			ssh_message_struct*	fPendingAuthentication = nullptr;
			BString				fAuthenticatingName;
			DescriptorWatch		fWatch;
			State				fState = State::kKeyExchange;
			bool				fHasPty = false;
			bool				fPeerEnded = false;
			// True while libssh is handling input, when the session must
			// not be written to or ended.
			bool				fPumping = false;
			std::string			fOutput;
			BString				fAddress;
			PeerGate::Pass		fPass;
			// Cut off for not reading: ends on the descriptor's next turn.
			bool				fCutOff = false;
			uint64				fRefusals = 0;
			BString				fUserName;
			BString				fTerminalType;
			int32				fColumns = 80;
			int32				fRows = 24;
};
