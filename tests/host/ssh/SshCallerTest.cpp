#include "SshCaller.h"

#include "QuietBoard.h"
#include "RunningLooper.h"
#include "SshCallers.h"
#include "SshHostKey.h"
#include "TerminalKeeper.h"

#include <gtest/gtest.h>

#include <libssh/libssh.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>


namespace {

// The host's part: keeps the callers SshCallers makes, counts their ends.
class Keeper : public TerminalKeeper {
public:
	void KeepTerminal(std::unique_ptr<Terminal> connection) override
	{
		fKept.push_back(std::move(connection));
	}
	void TerminalEnded(Terminal*) override { fEnded++; }

	std::vector<std::unique_ptr<Terminal>> fKept;
	int fEnded = 0;
};


// SSH callers on a quiet board, on loopback, with a host key made for the
// test; the client is libssh's, on the test's thread.
class SshCallerTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_NE(nullptr, mkdtemp(fFolder));
		BString problem;
		ASSERT_EQ(B_OK, fHostKey.LoadOrMake(fFolder, &problem))
			<< problem.String();
		fCallers = std::make_unique<SshCallers>(fLooper.Looper(),
			fBoard.Get(), fHostKey, fKeeper);
		ASSERT_EQ(B_OK, fLooper.Locked([&] {
			return fCallers->Listen("127.0.0.1", 0, &problem);
		})) << problem.String();
	}

	void TearDown() override
	{
		if (fChannel != nullptr)
			ssh_channel_free(fChannel);
		if (fSession != nullptr) {
			ssh_disconnect(fSession);
			ssh_free(fSession);
		}
		fLooper.Locked([this] {
			fCallers.reset();
			fKeeper.fKept.clear();
		});
		std::string command = std::string("rm -rf ") + fFolder;
		EXPECT_EQ(0, system(command.c_str()));
	}

	int Connect(const char* user, const char* password)
	{
		fSession = ssh_new();
		int port = fCallers->Port();
		long timeout = 5;
		bool no = false;
		ssh_options_set(fSession, SSH_OPTIONS_HOST, "127.0.0.1");
		ssh_options_set(fSession, SSH_OPTIONS_PORT, &port);
		ssh_options_set(fSession, SSH_OPTIONS_USER, user);
		ssh_options_set(fSession, SSH_OPTIONS_TIMEOUT, &timeout);
		ssh_options_set(fSession, SSH_OPTIONS_PROCESS_CONFIG, &no);
		ssh_options_set(fSession, SSH_OPTIONS_KNOWNHOSTS, "/dev/null");
		if (ssh_connect(fSession) != SSH_OK)
			return SSH_AUTH_ERROR;
		return ssh_userauth_password(fSession, nullptr, password);
	}

	bool OpenTerminal(int columns, int rows)
	{
		fChannel = ssh_channel_new(fSession);
		return fChannel != nullptr
			&& ssh_channel_open_session(fChannel) == SSH_OK
			&& ssh_channel_request_pty_size(fChannel, "xterm", columns, rows)
				== SSH_OK
			&& ssh_channel_request_shell(fChannel) == SSH_OK;
	}

	std::string ReadUntil(const std::string& text)
	{
		std::string received;
		char buffer[1024];
		while (received.find(text) == std::string::npos) {
			int got = ssh_channel_read_timeout(fChannel, buffer,
				sizeof(buffer), 0, 5000);
			if (got <= 0)
				break;
			received.append(buffer, (size_t)got);
		}
		return received;
	}

	char fFolder[32] = "/tmp/ssh-caller-XXXXXX";
	RunningLooper fLooper;
	QuietBoard fBoard;
	SshHostKey fHostKey;
	Keeper fKeeper;
	std::unique_ptr<SshCallers> fCallers;
	ssh_session fSession = nullptr;
	ssh_channel fChannel = nullptr;
};

}	// namespace


TEST_F(SshCallerTest, NewCallerGetsTheBoardInAPtyOfItsSize)
{
	ASSERT_EQ(SSH_AUTH_SUCCESS, Connect("new", "anything"));
	ASSERT_TRUE(OpenTerminal(100, 30));
	std::string received = ReadUntil("Name: ");
	// The board's line feeds reach the terminal as CR LF.
	EXPECT_NE(std::string::npos,
		received.find("Welcome to the Drelmoor board.\r\n")) << received;

	std::vector<Board::CallerView> callers = fLooper.Locked([this] {
		return fBoard.Get().ListCallers();
	});
	ASSERT_EQ(1u, callers.size());
	EXPECT_STREQ("ssh", callers[0].kind.String());
	EXPECT_STREQ("127.0.0.1", callers[0].where.String());
	BString terminal = fLooper.Locked([this] {
		return fKeeper.fKept.at(0)->TerminalType();
	});
	EXPECT_NE(nullptr, strstr(terminal.String(), "100x30"))
		<< terminal.String();

	// Keys go through the caller's line discipline to the board.
	ASSERT_EQ(9, ssh_channel_write(fChannel, ".hidden\r\n", 9));
	received = ReadUntil("Name: ");
	EXPECT_NE(std::string::npos,
		received.find("That name starts with a space or a dot.")) << received;
}


TEST_F(SshCallerTest, HangUpEndsTheCallerOnce)
{
	ASSERT_EQ(SSH_AUTH_SUCCESS, Connect("new", "anything"));
	ASSERT_TRUE(OpenTerminal(80, 24));
	ReadUntil("Name: ");
	ssh_channel_free(fChannel);
	fChannel = nullptr;
	ssh_disconnect(fSession);
	ssh_free(fSession);
	fSession = nullptr;
	ASSERT_TRUE(fLooper.WaitFor([this] { return fKeeper.fEnded == 1; }));
	EXPECT_TRUE(fLooper.Locked([this] {
		return fBoard.Get().ListCallers().empty();
	}));
	snooze(50000);
	EXPECT_EQ(1, fLooper.Locked([this] { return fKeeper.fEnded; }));
}


TEST_F(SshCallerTest, NameThatCannotBeAUserNameIsRefused)
{
	EXPECT_EQ(SSH_AUTH_DENIED, Connect("\x1b[2Jsysop", "anything"));
	EXPECT_EQ(SSH_AUTH_DENIED, ssh_userauth_password(fSession, nullptr,
		"again"));
	EXPECT_TRUE(fLooper.Locked([this] {
		return fBoard.Get().ListCallers().size() <= 1
			&& fBoard.fEnteredNames.empty();
	}));
}
