#include "Board.h"

#include "BoardFakes.h"
#include "FrontRoom.h"

#include <Message.h>
#include <ZenboProtocol.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>


// The board's side of its records: how each call ends in the log, the
// front room's last callers, and a caller's change of their password, with
// fakes around the board and a clock the test moves.

namespace {

using namespace BoardFakes;


class BoardRecordsTest : public ::testing::Test {
protected:
	BoardRecordsTest()
	{
		fSettings.grace = 30 * kSecond;
		fSettings.idle = 100 * kSecond;
		fSettings.failureDelay = kSecond;
		fAccounts.fAccounts["ash"] = { BString("Ash"), "hash:secret123" };
		fAccounts.fAccounts["bo"] = { BString("Bo"), "hash:secret123" };
		fBoard = std::make_unique<Board>(fSettings, fAccounts, fLink);
		fBoard->SetCallLog(&fCalls);
	}

	// Types the keys, then answers the checks and hashes they bring.
	void Type(FakeTerminal& connection, const std::string& keys)
	{
		fBoard->Typed(&connection, keys);
		while (!fLink.fChecks.empty() || !fLink.fHashes.empty()) {
			if (!fLink.fChecks.empty()) {
				auto check = fLink.fChecks.front();
				fLink.fChecks.erase(fLink.fChecks.begin());
				fBoard->PasswordChecked(check.first, check.second);
			} else {
				auto hash = fLink.fHashes.front();
				fLink.fHashes.erase(fLink.fHashes.begin());
				fBoard->PasswordHashed(hash.first, hash.second);
			}
		}
	}

	void LogIn(FakeTerminal& connection, const char* name = "Ash",
		const char* password = "secret123")
	{
		fBoard->Connected(&connection);
		Type(connection, std::string(name) + "\n" + password + "\n");
		ASSERT_NE(std::string::npos,
			connection.fShown.find("you are in the front room"))
			<< connection.fShown;
		connection.TakeShown();
	}

	void Pass(bigtime_t time)
	{
		fLink.fNow += time;
		fBoard->Tick();
	}

	const CallRecord& Call(size_t number) { return fCalls.fCalls.at(number); }

	BoardSettings fSettings;
	MemoryAccounts fAccounts;
	FakeLink fLink;
	MemoryCallLog fCalls;
	std::unique_ptr<Board> fBoard;
};

}	// namespace


TEST_F(BoardRecordsTest, EachCallEndsWithHowItEnded)
{
	FakeTerminal first("10.0.0.1");
	LogIn(first);
	Type(first, "g");
	FakeTerminal dropped("10.0.0.2");
	LogIn(dropped);
	fBoard->HungUp(&dropped);
	FakeTerminal taken("10.0.0.3");
	LogIn(taken);
	FakeTerminal taker("10.0.0.4");
	LogIn(taker);
	EXPECT_TRUE(fBoard->Kick("Ash", "The sysop disconnects you."));
	FakeTerminal idle("10.0.0.5");
	LogIn(idle, "Bo");
	Pass(101 * kSecond);
	FakeTerminal last("10.0.0.6");
	LogIn(last);
	fBoard->ShutDown("The host is shutting down.");

	const CallEnding endings[] = { CallEnding::kGoodBye, CallEnding::kDropped,
		CallEnding::kTakenOver, CallEnding::kKicked, CallEnding::kIdle,
		CallEnding::kShutDown };
	ASSERT_EQ(6u, fCalls.fCalls.size());
	for (size_t i = 0; i < 6; i++) {
		EXPECT_TRUE(Call(i).ended) << i;
		EXPECT_EQ(endings[i], Call(i).ending) << i << " "
			<< CallEndingName(Call(i).ending);
		EXPECT_STREQ("fake", Call(i).way.String());
	}
	EXPECT_STREQ("10.0.0.4", Call(3).address.String());
	EXPECT_STREQ("Bo", Call(4).name.String());
}


TEST_F(BoardRecordsTest, FailedLoginsAndBridgesTerminalsAreNoCallsOfAnAccount)
{
	FakeTerminal failed;
	fBoard->Connected(&failed);
	Type(failed, "Ash\nwrong\n");
	fBoard->HungUp(&failed);
	EXPECT_TRUE(fCalls.fCalls.empty());

	// A bridge's terminal is a call of its own that ends with the session.
	FakeTerminal bridge("terminal socket");
	ASSERT_TRUE(fBoard->TerminalArrived(&bridge, "Wren"));
	ASSERT_EQ(1u, fCalls.fCalls.size());
	fBoard->SessionEnded(fLink.fEntered["Wren"], false);
	EXPECT_EQ(CallEnding::kGoodBye, Call(0).ending);
}


TEST_F(BoardRecordsTest, TimeUpEndsTheCallAsTimeUp)
{
	FakeTerminal bridge("terminal socket");
	ASSERT_TRUE(fBoard->TerminalArrived(&bridge, "Wren"));
	fBoard->LimitTime(&bridge, 10 * kSecond);
	Pass(11 * kSecond);
	ASSERT_EQ(1u, fCalls.fCalls.size());
	EXPECT_EQ(CallEnding::kTimeUp, Call(0).ending);
}


TEST_F(BoardRecordsTest, LastCallersShowsTheLastTenWithoutAddresses)
{
	for (int i = 0; i < 12; i++) {
		FakeTerminal caller("192.0.2.77");
		LogIn(caller, i % 2 == 0 ? "Ash" : "Bo");
		fCalls.fNow += 65;
		Type(caller, "g");
	}
	FakeTerminal caller;
	LogIn(caller);
	Type(caller, "L");
	std::string shown = caller.TakeShown();
	EXPECT_NE(std::string::npos, shown.find("Last callers:")) << shown;
	EXPECT_EQ(std::string::npos, shown.find("192.0.2.77")) << shown;
	// The caller on the line now first, then ten that ended.
	std::istringstream lines(shown);
	std::string line;
	int rows = 0;
	while (std::getline(lines, line)) {
		EXPECT_LE(line.size(), 80u) << line;
		if (line.find("0:01:05") != std::string::npos)
			rows++;
	}
	EXPECT_EQ(9, rows) << shown;
	EXPECT_NE(std::string::npos, shown.find("online")) << shown;
	// Back at the menu.
	EXPECT_NE(std::string::npos, shown.find(FrontRoom::kPromptLine));
}


TEST_F(BoardRecordsTest, PasswordIsChangedWithTheOldOnceAndTheNewTwice)
{
	FakeTerminal caller;
	LogIn(caller);
	Type(caller, "c");
	std::string all = caller.fShown;
	EXPECT_NE(std::string::npos, caller.TakeShown().find(
		PasswordChange::kPasswordPrompt));
	Type(caller, "secret123\n");
	all += caller.fShown;
	EXPECT_NE(std::string::npos, caller.TakeShown().find(
		"Choose a password (at least 8 characters, not shown): "));
	Type(caller, "short\n");
	all += caller.fShown;
	EXPECT_NE(std::string::npos, caller.TakeShown().find(
		"A password has at least 8 characters.\nChoose a password: "));
	Type(caller, "newsecret\nnewsecrex\n");
	all += caller.fShown;
	EXPECT_NE(std::string::npos, caller.TakeShown().find(
		"The passwords differ.\nChoose a password: "));
	Type(caller, "newsecret\nnewsecret\n");
	std::string shown = caller.TakeShown();
	all += shown;
	EXPECT_NE(std::string::npos, shown.find(PasswordChange::kChangedNotice));
	EXPECT_NE(std::string::npos, shown.find("you are in the front room"));
	EXPECT_EQ("hash:newsecret", fAccounts.fAccounts["ash"].second);
	// Nothing typed was shown.
	EXPECT_EQ(std::string::npos, all.find("secret")) << all;

	FakeTerminal again("10.0.0.9");
	LogIn(again, "Ash", "newsecret");
}


TEST_F(BoardRecordsTest, EmptyLineLeavesThePasswordAndALockedOneStaysLocked)
{
	FakeTerminal caller;
	LogIn(caller);
	Type(caller, "c\n");
	EXPECT_NE(std::string::npos, caller.TakeShown().find(
		"you are in the front room"));
	EXPECT_EQ("hash:secret123", fAccounts.fAccounts["ash"].second);

	fAccounts.fAccounts["ash"].second = "!hash:secret123";
	Type(caller, "csecret123\n");
	// The sysop's lock holds: no check, no change.
	EXPECT_EQ("!hash:secret123", fAccounts.fAccounts["ash"].second);
	std::string shown = caller.TakeShown();
	EXPECT_NE(std::string::npos, shown.find(
		"That account is locked; ask the sysop.")) << shown;
	EXPECT_NE(std::string::npos, shown.find("you are in the front room"));
}


TEST_F(BoardRecordsTest, WrongOldPasswordsPauseCountAndEndTheCallAsAtLogin)
{
	FakeTerminal caller;
	LogIn(caller);
	Type(caller, "c");
	bigtime_t pauses[] = { kSecond, 2 * kSecond, 4 * kSecond };
	for (bigtime_t pause : pauses) {
		caller.TakeShown();
		Type(caller, "wrongpass\n");
		EXPECT_NE(std::string::npos,
			caller.TakeShown().find("That password is wrong."));
		// Keys during the pause are no answer.
		Type(caller, "secret123\n");
		Pass(pause - 1);
		EXPECT_EQ(std::string::npos, caller.fShown.find(
			PasswordChange::kPasswordPrompt));
		Pass(1);
	}
	EXPECT_TRUE(caller.fClosed);
	EXPECT_NE(std::string::npos, caller.fShown.find("Good-bye."));
	EXPECT_EQ("hash:secret123", fAccounts.fAccounts["ash"].second);

	// Seven more failures lock the name, as ten at login would.
	for (int i = 0; i < 7; i++) {
		FakeTerminal guesser("10.9.0.1");
		fBoard->Connected(&guesser);
		Type(guesser, "Ash\nnope\n");
		Pass(0);
		fBoard->HungUp(&guesser);
	}
	FakeTerminal late("10.9.0.2");
	fBoard->Connected(&late);
	Type(late, "Ash\n");
	EXPECT_NE(std::string::npos, late.TakeShown().find("locked"));
}


TEST_F(BoardRecordsTest, KeptPasswordThatCannotBeWrittenLeavesTheOldOne)
{
	FakeTerminal caller;
	LogIn(caller);
	fAccounts.fBroken = true;
	// Each answer after its question: keys typed ahead are no answer.
	Type(caller, "csecret123\n");
	Type(caller, "newsecret\nnewsecret\n");
	std::string shown = caller.TakeShown();
	EXPECT_NE(std::string::npos, shown.find("the old one still works"))
		<< shown;
	EXPECT_EQ("hash:secret123", fAccounts.fAccounts["ash"].second);
	EXPECT_FALSE(caller.fClosed);
}


TEST(FrontRoomTest, LastCallersFitEightyColumnsWithLongHostileNames)
{
	std::vector<CallRecord> calls(3);
	calls[0].name = "\x1b[2Jabcdefghijklmnopqrstuvwxyz1";
	calls[0].way = "telnet";
	calls[0].start = 1700000000;
	calls[0].end = 1700003725;
	calls[0].ended = true;
	calls[1].name = "Ash";
	calls[1].way = "web";
	calls[1].start = 1700000000;
	calls[1].ended = true;		// the host died under it
	calls[2].name = "Bo";
	calls[2].way = "ssh";
	calls[2].start = 1700000000;
	std::string list = FrontRoom::LastCallers(calls);
	EXPECT_EQ(std::string::npos, list.find('\x1b'));
	EXPECT_NE(std::string::npos, list.find("1:02:05"));
	EXPECT_NE(std::string::npos, list.find(" ?\n"));
	EXPECT_NE(std::string::npos, list.find("online"));
	std::istringstream lines(list);
	std::string line;
	while (std::getline(lines, line))
		EXPECT_LE(line.size(), 80u) << line;
	EXPECT_NE(std::string::npos, FrontRoom::LastCallers({}).find(
		"Nobody has called yet."));
}
