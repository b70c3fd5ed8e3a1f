#include "SshConnection.h"

#include "HostLog.h"
#include "PeerText.h"
#include "SshEvents.h"
#include "SshListener.h"
#include "StreamConnection.h"

#include <AppDefs.h>
#include <Errors.h>
#include <Looper.h>

#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <libssh/server.h>

#include <algorithm>
#include <string.h>
#include <sys/socket.h>


// NOTE: libssh marks its message interface deprecated in favour of
// callbacks, but a callback must answer a password before it returns, and
// the owner's answer comes later. The message interface is the one that
// lets an authentication request wait unanswered.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// What a caller may log in with: a password, or answers to questions
// (keyboard-interactive), through which an unknown name may register.
static const int kMethods = SSH_AUTH_METHOD_PASSWORD
	| SSH_AUTH_METHOD_INTERACTIVE;

// One write at a time is kept below the size of an SSH packet's payload.
static const size_t kWriteChunk = 32 * 1024;


SshConnection::SshConnection(SshListener& listener, BLooper& looper,
	SshEvents& events, ssh_session_struct* session, int descriptor,
	const BString& address)
	:
	fListener(listener),
	fEvents(events),
	fSession(session),
	fWatch(looper, descriptor,
		[this](int, uint32 events) { _DescriptorReady(events); }),
	fAddress(address)
{
}


SshConnection::~SshConnection()
{
	// Before the session closes the descriptor.
	fWatch.Stop();
	if (fPendingAuthentication != nullptr)
		ssh_message_free(fPendingAuthentication);
	// The session frees its channels with itself.
	ssh_free(fSession);
}


status_t
SshConnection::Start()
{
	ssh_set_blocking(fSession, 0);
	fEvents.ConnectionOpened(this);
	if (fState != State::kClosed)
		_DescriptorReady(B_DESCRIPTOR_READABLE);
	return B_OK;
}


void
SshConnection::AnswerAuthentication(bool accepted)
{
	if (fPendingAuthentication == nullptr)
		return;
	ssh_message message = fPendingAuthentication;
	fPendingAuthentication = nullptr;
	if (accepted && fState == State::kAuthenticating) {
		fUserName = fAuthenticatingName;
		ssh_message_auth_reply_success(message, 0);
		fState = State::kAuthenticated;
	} else {
		ssh_message_auth_set_methods(message, kMethods);
		ssh_message_reply_default(message);
	}
	ssh_message_free(message);
	if (!fPumping)
		_WatchAsNeeded();
}


void
SshConnection::AskQuestions(const char* instruction,
	const std::vector<Question>& questions)
{
	if (fPendingAuthentication == nullptr
		|| ssh_message_subtype(fPendingAuthentication)
			!= SSH_AUTH_METHOD_INTERACTIVE) {
		AnswerAuthentication(false);
		return;
	}
	std::vector<const char*> prompts;
	std::vector<char> echoes;
	for (const Question& question : questions) {
		prompts.push_back(question.prompt.String());
		echoes.push_back(question.echo ? 1 : 0);
	}
	ssh_message message = fPendingAuthentication;
	fPendingAuthentication = nullptr;
	ssh_message_auth_interactive_request(message, "", instruction,
		unsigned(prompts.size()), prompts.data(), echoes.data());
	ssh_message_free(message);
	if (!fPumping)
		_WatchAsNeeded();
}


// A caller who has not logged in may be dropped to make room for one from
// a less busy address.
void
SshConnection::SetPass(const PeerGate::Pass& pass)
{
	fPass = pass;
	fPass.SetDrop([this] { Close(CloseMode::kAtOnce); });
}


void
SshConnection::Send(const char* data, size_t size)
{
	if (fState != State::kTerminal)
		return;
	// The same cap as a stream connection's queue: a caller who does not
	// read is cut off, whoever made the output (the door or the host).
	// The one who sends goes on with the caller afterwards, so the end
	// comes on the descriptor's next turn: the socket is shut down now,
	// which makes it ready at once.
	if (size > StreamConnection::kDefaultMaxQueued - fOutput.size()) {
		HostLog("ssh %s: the caller did not read %zu bytes of output; the"
			" line is closed", fAddress.String(), fOutput.size() + size);
		fOutput.clear();
		fState = State::kClosing;
		fCutOff = true;
		int descriptor = ssh_get_fd(fSession);
		if (descriptor >= 0)
			shutdown(descriptor, SHUT_RDWR);
		_WatchAsNeeded();
		return;
	}
	fOutput.append(data, size);
	// Inside libssh's handling of a packet (an echo from BytesReceived)
	// the text only waits; the pump sends it when libssh has returned.
	if (fPumping)
		return;
	_Flush();
	_WatchAsNeeded();
}


void
SshConnection::Close(CloseMode mode)
{
	if (fState == State::kClosed)
		return;
	if (fState != State::kTerminal || mode == CloseMode::kAtOnce)
		fOutput.clear();
	fState = State::kClosing;
	// The session cannot be torn down under libssh's feet; the pump ends
	// it when it has returned.
	if (fPumping)
		return;
	if (fOutput.empty()) {
		_Finish();
		return;
	}
	_Flush();
	_WatchAsNeeded();
}


void
SshConnection::_DescriptorReady(uint32 events)
{
	(void)events;
	// What libssh still holds for a caller cut off is never sent.
	if (fCutOff) {
		_Finish();
		return;
	}
	fPumping = true;
	_Pump();
	fPumping = false;
	if (fState == State::kClosed)
		return;
	_Flush();
	if (fState == State::kClosing && fOutput.empty()
		&& (ssh_get_poll_flags(fSession) & SSH_WRITE_PENDING) == 0) {
		_Finish();
		return;
	}
	_WatchAsNeeded();
	if (fState == State::kTerminal)
		fEvents.OutputDrained(this);
}


// Lets libssh take what the socket holds and send what it has queued, then
// answers the requests that came with it. libssh polls the descriptor
// itself without waiting, so calling this when nothing is ready is harmless.
void
SshConnection::_Pump()
{
	if (fState == State::kKeyExchange) {
		int result = ssh_handle_key_exchange(fSession);
		if (result == SSH_AGAIN)
			return;
		if (result != SSH_OK) {
			// libssh's message may quote the client's version line.
			HostLog("ssh %s: key exchange failed: %s", fAddress.String(),
				PeerText::Escaped(std::string(ssh_get_error(fSession)))
					.c_str());
			_Finish();
			return;
		}
		fState = State::kAuthenticating;
	}

	while (fState != State::kClosed) {
		ssh_message message = ssh_message_get(fSession);
		if (message == nullptr)
			break;
		_HandleMessage(message);
	}
	if (fState == State::kClosed)
		return;
	if (fPeerEnded || (ssh_get_status(fSession)
			& (SSH_CLOSED | SSH_CLOSED_ERROR)) != 0)
		_Finish();
}


void
SshConnection::_HandleMessage(ssh_message message)
{
	switch (ssh_message_type(message)) {
		case SSH_REQUEST_AUTH:
			_HandleAuthentication(message);
			return;
		case SSH_REQUEST_CHANNEL_OPEN:
			_HandleChannelOpen(message);
			break;
		case SSH_REQUEST_CHANNEL:
			_HandleChannelRequest(message);
			break;
		default:
			// Global requests (tcpip-forward among them) and services
			// other than authentication are refused.
			ssh_message_reply_default(message);
			break;
	}
	ssh_message_free(message);
}


// Each request is kept unanswered until the owner has judged it; while
// one waits, the caller gets no other in.
void
SshConnection::_HandleAuthentication(ssh_message message)
{
	int method = ssh_message_subtype(message);
	if (fState != State::kAuthenticating || fPendingAuthentication != nullptr
		|| (method != SSH_AUTH_METHOD_PASSWORD
			&& method != SSH_AUTH_METHOD_INTERACTIVE)) {
		ssh_message_auth_set_methods(message, kMethods);
		ssh_message_reply_default(message);
		ssh_message_free(message);
		return;
	}
	fPendingAuthentication = message;
	if (method == SSH_AUTH_METHOD_PASSWORD) {
		fAuthenticatingName = ssh_message_auth_user(message);
		BString password(ssh_message_auth_password(message));
		fEvents.PasswordOffered(this, fAuthenticatingName, password);
	} else if (ssh_message_auth_kbdint_is_response(message) == 0) {
		fAuthenticatingName = ssh_message_auth_user(message);
		fEvents.QuestionsRequested(this, fAuthenticatingName);
	} else {
		std::vector<BString> answers;
		int count = ssh_userauth_kbdint_getnanswers(fSession);
		for (int i = 0; i < count; i++) {
			const char* answer = ssh_userauth_kbdint_getanswer(fSession,
				unsigned(i));
			answers.push_back(BString(answer != nullptr ? answer : ""));
		}
		fEvents.QuestionsAnswered(this, answers);
	}
}


void
SshConnection::_HandleChannelOpen(ssh_message message)
{
	// One session channel, and only for a caller who has logged in; direct
	// TCP/IP (ssh -L, ssh -W), X11 and agent channels are refused.
	if (fState != State::kAuthenticated || fChannel != nullptr
		|| ssh_message_subtype(message) != SSH_CHANNEL_SESSION) {
		// A client that keeps asking gets one line, and the count as the
		// connection ends.
		if (fRefusals++ == 0) {
			HostLog("ssh %s: refused a channel of kind %d", fAddress.String(),
				ssh_message_subtype(message));
		}
		ssh_message_reply_default(message);
		return;
	}
	fChannel = ssh_message_channel_request_open_reply_accept(message);
	if (fChannel == nullptr) {
		_Finish();
		return;
	}
	fChannelCallbacks = std::make_unique<ssh_channel_callbacks_struct>();
	memset(fChannelCallbacks.get(), 0, sizeof(ssh_channel_callbacks_struct));
	fChannelCallbacks->userdata = this;
	fChannelCallbacks->channel_data_function = _ChannelData;
	fChannelCallbacks->channel_eof_function = _ChannelEnded;
	fChannelCallbacks->channel_close_function = _ChannelEnded;
	ssh_callbacks_init(fChannelCallbacks.get());
	ssh_set_channel_callbacks(fChannel, fChannelCallbacks.get());
}


// The PTY's type, capped and cleaned as a telnet caller's is, by the one
// rule, so that the who's-online row holds it whole.
static BString
TerminalTypeOf(ssh_message message)
{
	const char* type = ssh_message_channel_request_pty_term(message);
	return BString(PeerText::TerminalType(type,
		type != NULL ? strlen(type) : 0).c_str());
}


void
SshConnection::_HandleChannelRequest(ssh_message message)
{
	int kind = ssh_message_subtype(message);
	if (ssh_message_channel_request_channel(message) != fChannel
		|| fChannel == nullptr) {
		ssh_message_reply_default(message);
		return;
	}
	switch (kind) {
		case SSH_CHANNEL_REQUEST_PTY:
			if (fHasPty || fState != State::kAuthenticated)
				break;
			fHasPty = true;
			fTerminalType = TerminalTypeOf(message);
			fColumns = ssh_message_channel_request_pty_width(message);
			fRows = ssh_message_channel_request_pty_height(message);
			ssh_message_channel_request_reply_success(message);
			return;
		case SSH_CHANNEL_REQUEST_SHELL:
			// The game needs a terminal: a shell without a PTY (ssh -T)
			// is refused as firmly as a command is.
			if (!fHasPty || fState != State::kAuthenticated)
				break;
			fState = State::kTerminal;
			ssh_message_channel_request_reply_success(message);
			fEvents.TerminalOpened(this);
			return;
		case SSH_CHANNEL_REQUEST_WINDOW_CHANGE:
			if (!fHasPty)
				break;
			fColumns = ssh_message_channel_request_pty_width(message);
			fRows = ssh_message_channel_request_pty_height(message);
			// A window change asks for no answer; one is given only if
			// the caller wants it.
			ssh_message_channel_request_reply_success(message);
			if (fState == State::kTerminal)
				fEvents.WindowResized(this, fColumns, fRows);
			return;
		case SSH_CHANNEL_REQUEST_ENV:
			// Quietly refused: clients send LANG and the like unasked.
			break;
		default:
			if (fRefusals++ == 0) {
				HostLog("ssh %s: refused a channel request of kind %d",
					fAddress.String(), kind);
			}
			break;
	}
	ssh_message_reply_default(message);
}


void
SshConnection::_Flush()
{
	if (fChannel == nullptr)
		return;
	while (!fOutput.empty()) {
		uint32 window = ssh_channel_window_size(fChannel);
		size_t size = std::min({fOutput.size(), size_t(window), kWriteChunk});
		if (size == 0)
			break;
		int written = ssh_channel_write(fChannel, fOutput.data(),
			uint32_t(size));
		if (written < 0) {
			fPeerEnded = true;
			return;
		}
		if (written == 0)
			break;
		fOutput.erase(0, size_t(written));
	}
}


// The looper's poll is level-triggered, so writability is asked for only
// while libssh has bytes the socket did not take.
void
SshConnection::_WatchAsNeeded()
{
	if (fState == State::kClosed)
		return;
	uint32 wanted = B_DESCRIPTOR_READABLE;
	if ((ssh_get_poll_flags(fSession) & SSH_WRITE_PENDING) != 0)
		wanted |= B_DESCRIPTOR_WRITABLE;
	status_t status = fWatch.Set(wanted);
	if (status != B_OK) {
		HostLog("ssh %s: cannot watch the connection: %s", fAddress.String(),
			strerror_status(status));
		_Finish();
	}
}


void
SshConnection::_Finish()
{
	if (fState == State::kClosed)
		return;
	fState = State::kClosed;
	fWatch.Stop();
	fPass.Release();
	if (fRefusals > 1) {
		HostLog("ssh %s: refused %llu channels and requests in all",
			fAddress.String(), (unsigned long long)fRefusals);
	}
	if (fPendingAuthentication != nullptr) {
		ssh_message_free(fPendingAuthentication);
		fPendingAuthentication = nullptr;
	}
	if (fChannel != nullptr && ssh_channel_is_open(fChannel))
		ssh_channel_close(fChannel);
	// The session's socket is closed here, and its channels freed; the
	// descriptor is not watched any more.
	ssh_disconnect(fSession);
	fChannel = nullptr;
	fEvents.ConnectionClosed(this);
	fListener.Forget(this);
}


int
SshConnection::_ChannelData(ssh_session_struct*, ssh_channel_struct*,
	void* data, uint32_t size, int isStderr, void* cookie)
{
	SshConnection* connection = static_cast<SshConnection*>(cookie);
	if (isStderr == 0 && connection->fState == State::kTerminal)
		connection->fEvents.BytesReceived(connection,
			static_cast<const char*>(data), size);
	return int(size);
}


void
SshConnection::_ChannelEnded(ssh_session_struct*, ssh_channel_struct*,
	void* cookie)
{
	// Ended after libssh has finished with the packet, in _Pump.
	static_cast<SshConnection*>(cookie)->fPeerEnded = true;
}
