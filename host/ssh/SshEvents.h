#pragma once

#include <SupportDefs.h>

#include <vector>

class BString;
class SshConnection;

// What an SSH caller's connection tells its owner, the host's core, on the
// looper's thread. Every call is made from inside the looper's dispatch; the
// owner answers through the connection (AnswerAuthentication,
// AskQuestions, Send, Close) at
// once or later, but always on the looper's thread. ConnectionClosed is the
// last call for a connection, whatever ended it; the connection object is
// deleted on the looper's next turn, so the owner forgets it there.
class SshEvents {
public:
	virtual						~SshEvents() = default;

	// A caller connected (nothing is known of them but their address).
	virtual	void				ConnectionOpened(SshConnection* connection) = 0;
	// The caller offers a name and a password; the owner answers with
	// AnswerAuthentication, which may come after slow checks. Nothing else
	// is taken from the caller meanwhile.
	virtual	void				PasswordOffered(SshConnection* connection,
									const BString& userName,
									const BString& password) = 0;
	// The caller would rather answer questions (keyboard-interactive), as
	// a new name registering does. The owner asks them with AskQuestions,
	// or refuses with AnswerAuthentication(false) and the caller's client
	// falls back to a password.
	virtual	void				QuestionsRequested(SshConnection* connection,
									const BString& userName);
	// The answers, in the order of the questions: the owner accepts,
	// refuses, or asks again.
	virtual	void				QuestionsAnswered(SshConnection* connection,
									const std::vector<BString>& answers);
	// The caller has a terminal (a PTY and a shell): keys may come and
	// text may go. Its size and type are on the connection.
	virtual	void				TerminalOpened(SshConnection* connection) = 0;
	virtual	void				WindowResized(SshConnection* connection,
									int32 columns, int32 rows) = 0;
	// Bytes as the caller's terminal sent them: no Enter or backspace
	// rules applied yet.
	virtual	void				BytesReceived(SshConnection* connection,
									const char* data, size_t size) = 0;
	// Text queued for the caller has gone out (some or all of it): an
	// owner that holds back more while the queue is long looks again.
	virtual	void				OutputDrained(SshConnection*) {}
	virtual	void				ConnectionClosed(SshConnection* connection) = 0;
};
