// A small host for the SSH tests: SshListener on a looper, with a password
// judged on a later turn of the loop (as the host's Argon2id check answers
// from a worker), and a terminal that echoes keys back in capitals.
// "F" floods the caller with text, kept just under the host's cap on what
// waits as the caller takes it, "G" sends more than the cap at once, "Q"
// says good-bye and closes, "K" cuts every other caller off at once,
// unsent text and all. The name
// "newcomer" registers through questions (a password typed twice).
#include "SshConnection.h"
#include "SshEvents.h"
#include "SshHostKey.h"
#include "SshListener.h"
#include "StreamConnection.h"

#include <EchoScreen.h>
#include <Looper.h>
#include <Message.h>
#include <StopSignals.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>


enum {
	kMsgJudgePassword = 'Jpwd',
};

static const char* const kPassword = "opensesame";
// Far more than an SSH window and the socket buffers hold together.
static const size_t kFloodSize = 16 * 1024 * 1024;


class EchoHost : public BLooper, public SshEvents {
public:
	EchoHost(const SshHostKey& key)
		:
		BLooper("ssh echo host"),
		fListener(*this, *this, key)
	{
	}

	status_t Listen(BString* error)
	{
		return fListener.Listen("127.0.0.1", 0, error);
	}

	uint16 Port() const { return fListener.Port(); }

	void ConnectionOpened(SshConnection* connection) override
	{
		fConnections.insert(connection);
		printf("opened %s\n", connection->Address().String());
	}

	void PasswordOffered(SshConnection* connection, const BString& userName,
		const BString& password) override
	{
		BMessage message(kMsgJudgePassword);
		message.AddInt64("connection", int64(reinterpret_cast<intptr_t>(connection)));
		message.AddBool("accepted", password == kPassword);
		printf("password offered by %s\n", userName.String());
		PostMessage(&message);
	}

	void QuestionsRequested(SshConnection* connection,
		const BString& userName) override
	{
		if (userName != "newcomer") {
			printf("questions refused for %s\n", userName.String());
			SshEvents::QuestionsRequested(connection, userName);
			return;
		}
		printf("questions for %s\n", userName.String());
		connection->AskQuestions("A new name: choose its password.",
			{{"New password: ", false}, {"The same again: ", false}});
	}

	void QuestionsAnswered(SshConnection* connection,
		const std::vector<BString>& answers) override
	{
		bool accepted = answers.size() == 2 && answers[0] == answers[1]
			&& answers[0].Length() >= 8;
		printf("registration %s\n", accepted ? "accepted" : "refused");
		connection->AnswerAuthentication(accepted);
	}

	void TerminalOpened(SshConnection* connection) override
	{
		std::string greeting = "Hello " + std::string(
			connection->UserName().String()) + ", "
			+ std::to_string(connection->Columns()) + "x"
			+ std::to_string(connection->Rows()) + " "
			+ connection->TerminalType().String() + "\r\n";
		connection->Send(greeting.data(), greeting.size());
		printf("terminal for %s\n", connection->UserName().String());
	}

	void WindowResized(SshConnection* connection, int32 columns,
		int32 rows) override
	{
		std::string text = EchoScreen::WindowLine(columns, rows);
		connection->Send(text.data(), text.size());
	}

	void BytesReceived(SshConnection* connection, const char* data,
		size_t size) override
	{
		std::string echo;
		for (size_t i = 0; i < size; i++) {
			if (data[i] == 'F') {
				fFlooding[connection] = kFloodSize;
				_TopUp(connection);
				printf("flooding %s\n", connection->UserName().String());
			} else if (data[i] == 'G') {
				std::string flood(StreamConnection::kDefaultMaxQueued + 1,
					'.');
				connection->Send(flood.data(), flood.size());
				printf("overflowing %s\n", connection->UserName().String());
			} else if (data[i] == 'K') {
				std::set<SshConnection*> others = fConnections;
				others.erase(connection);
				for (SshConnection* other : others) {
					printf("cutting off %s %s\n", other->UserName().String(),
						other->QueuedBytes() > 0 ? "with text unsent" : "");
					other->Close(SshConnection::CloseMode::kAtOnce);
				}
				echo += "Cut off\r\n";
			} else if (data[i] == 'Q') {
				connection->Send("Bye\r\n", 5);
				connection->Close();
				return;
			} else
				echo += EchoScreen::Echo(data + i, 1);
		}
		connection->Send(echo.data(), echo.size());
	}

	void OutputDrained(SshConnection* connection) override
	{
		_TopUp(connection);
	}

	void ConnectionClosed(SshConnection* connection) override
	{
		fFlooding.erase(connection);
		fConnections.erase(connection);
		printf("closed %s\n", connection->UserName().String());
	}

	void MessageReceived(BMessage* message) override
	{
		if (message->what != kMsgJudgePassword) {
			BLooper::MessageReceived(message);
			return;
		}
		int64 pointer = 0;
		bool accepted = false;
		message->FindInt64("connection", 0, &pointer);
		message->FindBool("accepted", 0, &accepted);
		SshConnection* connection = reinterpret_cast<SshConnection*>(
			intptr_t(pointer));
		// The caller may have hung up while the password was judged.
		if (fConnections.count(connection) == 0)
			return;
		printf("password %s\n", accepted ? "accepted" : "refused");
		connection->AnswerAuthentication(accepted);
	}

private:
	// As much of the flood as the host lets wait; the rest as the caller
	// takes it.
	void _TopUp(SshConnection* connection)
	{
		auto flooding = fFlooding.find(connection);
		if (flooding == fFlooding.end())
			return;
		size_t room = StreamConnection::kDefaultMaxQueued - 1
			- connection->QueuedBytes();
		size_t size = std::min(room, flooding->second);
		if (size == 0)
			return;
		flooding->second -= size;
		std::string flood(size, '.');
		connection->Send(flood.data(), flood.size());
	}

	SshListener				fListener;
	std::map<SshConnection*, size_t> fFlooding;
	std::set<SshConnection*> fConnections;
};


int
main(int argumentCount, char** arguments)
{
	if (argumentCount != 2 || strcmp(arguments[1], "--help") == 0) {
		fprintf(stderr, "usage: %s FOLDER\n"
			"Serves SSH callers on an ephemeral port of 127.0.0.1 with the"
			" host key in FOLDER,\nechoing their keys in capitals, until"
			" SIGTERM or SIGINT.\n", arguments[0]);
		return argumentCount == 2 ? 0 : 2;
	}
	setvbuf(stdout, nullptr, _IOLBF, 0);

	StopSignals signals;

	SshHostKey key;
	BString error;
	if (key.LoadOrMake(arguments[1], &error) != B_OK) {
		fprintf(stderr, "%s\n", error.String());
		return 1;
	}
	EchoHost* host = new EchoHost(key);
	host->Lock();
	status_t status = host->Listen(&error);
	host->Unlock();
	if (status != B_OK) {
		fprintf(stderr, "%s\n", error.String());
		return 1;
	}
	printf("fingerprint %s\n", key.Fingerprint().String());
	printf("key %s\n", key.PublicKeyLine().String());
	printf("port %u\n", unsigned(host->Port()));
	host->Run();

	signals.Wait();
	host->Quit();
	delete host;
	return 0;
}
