#include "Board.h"

#include "BoardFakes.h"

#include <Message.h>
#include <ZenboProtocol.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>


// The board on its own: fake connections, a clock the test moves, and a
// link that records what the board asks of the host. No socket, no door.

namespace {

using namespace BoardFakes;


// A terminal that shows the host's log lines among its texts, as a
// bridge's does, so that the tests see what the board logs of its caller.
class FakeConnection : public FakeTerminal {
public:
	explicit FakeConnection(const char* address = "10.0.0.1")
		:
		FakeTerminal(address)
	{
		fShowsLogLines = true;
	}
};


class BoardTest : public ::testing::Test {
protected:
	BoardTest()
	{
		fSettings.grace = 30 * kSecond;
		fSettings.idle = 100 * kSecond;
		fSettings.failureDelay = kSecond;
		fAccounts.fAccounts["ash"] = { BString("Ash"), "hash:secret123" };
		fBoard = std::make_unique<Board>(fSettings, fAccounts, fLink);
	}

	// Types the keys and answers the password checks they bring.
	void Type(FakeConnection& connection, const std::string& keys)
	{
		fBoard->Typed(&connection, keys);
		while (!fLink.fChecks.empty()) {
			auto check = fLink.fChecks.front();
			fLink.fChecks.erase(fLink.fChecks.begin());
			fBoard->PasswordChecked(check.first, check.second);
		}
	}

	// Answers the password checks and hashes the board asked for.
	void Answer()
	{
		while (!fLink.fChecks.empty()) {
			auto check = fLink.fChecks.front();
			fLink.fChecks.erase(fLink.fChecks.begin());
			fBoard->PasswordChecked(check.first, check.second);
		}
		while (!fLink.fHashes.empty()) {
			auto hash = fLink.fHashes.front();
			fLink.fHashes.erase(fLink.fHashes.begin());
			fBoard->PasswordHashed(hash.first, hash.second);
		}
	}

	void LogIn(FakeConnection& connection, const char* name = "Ash",
		const char* shown = "you are in the front room")
	{
		fBoard->Connected(&connection);
		Type(connection, std::string(name) + "\nsecret123\n");
		ASSERT_NE(std::string::npos, connection.fShown.find(shown))
			<< connection.fShown;
	}

	// In the door, with the session's request for a key waiting.
	BMessage* EnterDoor(FakeConnection& connection)
	{
		Type(connection, "e");
		EXPECT_EQ(1u, fLink.fEntered.count("Ash"));
		fBoard->Entered(fLink.fEntered["Ash"], B_OK, BString(), BString());
		BMessage* text = new BMessage(kSendString);
		fBoard->SendString("Ash", "\n<Ash : Town> ", text);
		EXPECT_EQ(1u, fLink.fTexts.count(text));
		BMessage* key = new BMessage(kGetChar);
		fBoard->GetChar("Ash", key);
		EXPECT_EQ(0u, fLink.fKeys.count(key));
		return key;
	}

	void Pass(bigtime_t time)
	{
		fLink.fNow += time;
		fBoard->Tick();
	}

	BoardSettings fSettings;
	MemoryAccounts fAccounts;
	FakeLink fLink;
	std::unique_ptr<Board> fBoard;
};

}	// namespace


TEST_F(BoardTest, KeysTypedInTheDoorAnswerTheWaitingRequest)
{
	FakeConnection connection;
	LogIn(connection);
	BMessage* key = EnterDoor(connection);
	EXPECT_NE(std::string::npos, connection.TakeShown().find("<Ash : Town> "));
	Type(connection, "sq");
	ASSERT_EQ(1u, fLink.fKeys.count(key));
	EXPECT_EQ('s', fLink.fKeys[key]);
	// The next key waits for the next request.
	BMessage* next = new BMessage(kGetChar);
	fBoard->GetChar("ash", next);
	EXPECT_EQ('q', fLink.fKeys[next]);
}


// The echo of a key goes out at once; the rest of the screen may wait to go
// with what follows, until the door asks for the next key.
TEST_F(BoardTest, AnEchoGoesAtOnceAndAScreenWholeWhenTheDoorWaitsForAKey)
{
	FakeConnection connection;
	LogIn(connection);
	BMessage* key = EnterDoor(connection);
	EXPECT_EQ(1, connection.fSentWaiting);
	EXPECT_EQ("", connection.fKept);

	Type(connection, "s");
	ASSERT_EQ(1u, fLink.fKeys.count(key));
	fBoard->SendString("Ash", "s", new BMessage(kSendString));
	EXPECT_EQ("", connection.fKept) << "the echo was kept back";
	fBoard->SendString("Ash", "\nStatus for [Ash]", new BMessage(kSendString));
	fBoard->SendString("Ash", "\n<Ash : Town> ", new BMessage(kSendString));
	EXPECT_EQ("\nStatus for [Ash]\n<Ash : Town> ", connection.fKept);

	// A key typed ahead answers at once: the screen may still go on.
	Type(connection, "x");
	fBoard->GetChar("Ash", new BMessage(kGetChar));
	EXPECT_EQ(1, connection.fSentWaiting);
	fBoard->SendString("Ash", "x", new BMessage(kSendString));
	fBoard->SendString("Ash", "\nWhat?", new BMessage(kSendString));
	// None left: the door waits for the caller, who sees everything.
	fBoard->GetChar("Ash", new BMessage(kGetChar));
	EXPECT_EQ(2, connection.fSentWaiting);
	EXPECT_EQ("", connection.fKept);
	EXPECT_NE(std::string::npos,
		connection.TakeShown().find("s\nStatus for [Ash]\n<Ash : Town> x\nWhat?"));
}


// A caller who floods keys holds only a few kilobytes of the host: keys past
// the cap are dropped, and the first ones reach the door in order.
TEST_F(BoardTest, KeysTypedFarAheadOfTheDoorAreCapped)
{
	FakeConnection connection;
	LogIn(connection);
	BMessage* key = EnterDoor(connection);
	Type(connection, "a" + std::string(64 * 1024, 'b') + "c");
	EXPECT_EQ('a', fLink.fKeys[key]);
	size_t delivered = 0;
	bool sawLast = false;
	for (int i = 0; i < 100000; i++) {
		// An answered request is gone: its address may come again.
		fLink.fKeys.clear();
		BMessage* next = new BMessage(kGetChar);
		fBoard->GetChar("ash", next);
		if (fLink.fKeys.count(next) == 0) {
			// No key left: the request waits for one; the next key answers.
			Type(connection, "z");
			EXPECT_EQ('z', fLink.fKeys[next]);
			break;
		}
		sawLast |= fLink.fKeys[next] == 'c';
		delivered++;
	}
	EXPECT_LE(delivered, 4u * 1024);
	EXPECT_GE(delivered, 1024u);
	EXPECT_FALSE(sawLast);
}


TEST_F(BoardTest, SecondLoginTakesTheSeatAndShowsThePromptAgain)
{
	FakeConnection first;
	LogIn(first);
	BMessage* key = EnterDoor(first);

	FakeConnection second("10.0.0.2");
	LogIn(second, "ASH", "<Ash : Town> ");
	EXPECT_TRUE(first.fClosed);
	EXPECT_NE(std::string::npos, first.fShown.find(
		"Your session was taken over from another connection.\n"));
	EXPECT_NE(std::string::npos, second.fShown.find("<Ash : Town> "));
	// The first connection's hang-up changes nothing for the second.
	fBoard->HungUp(&first);
	Type(second, "x");
	EXPECT_EQ('x', fLink.fKeys[key]);
	EXPECT_EQ(1, fBoard->CountCallers());
}


// The door at a question that reads a line: it has asked it, taken the
// first key of the answer, echoed it and waits for the next.
static void
StartAnswer(Board& board, FakeConnection& connection, FakeLink& link,
	BMessage* key)
{
	board.SendString("Ash", "\n(1) Stick : 50 *** ", new BMessage(kSendString));
	board.SendString("Ash", "\n\nWhich would you like to buy?",
		new BMessage(kSendString));
	board.Typed(&connection, "1");
	EXPECT_EQ('1', link.fKeys[key]);
	board.SendString("Ash", "1", new BMessage(kSendString));
	board.GetChar("Ash", new BMessage(kGetChar));
}


static bool
EndsWith(const std::string& text, const std::string& end)
{
	return text.size() >= end.size()
		&& text.compare(text.size() - end.size(), end.size(), end) == 0;
}


TEST_F(BoardTest, ResumedCallerSeesTheQuestionWithTheAnswerTypedSoFar)
{
	FakeConnection first;
	LogIn(first);
	StartAnswer(*fBoard, first, fLink, EnterDoor(first));
	fBoard->HungUp(&first);

	FakeConnection again;
	LogIn(again, "Ash", "Which would you like to buy?1");
	std::string shown = again.TakeShown();
	EXPECT_TRUE(EndsWith(shown, "\nWhich would you like to buy?1")) << shown;
	EXPECT_EQ(std::string::npos, shown.find("Stick")) << shown;
}


TEST_F(BoardTest, TakeoverShowsTheQuestionWithTheAnswerTypedSoFar)
{
	FakeConnection first;
	LogIn(first);
	StartAnswer(*fBoard, first, fLink, EnterDoor(first));

	FakeConnection second("10.0.0.2");
	LogIn(second, "Ash", "Which would you like to buy?1");
	EXPECT_TRUE(EndsWith(second.fShown, "\nWhich would you like to buy?1"))
		<< second.fShown;
}


TEST_F(BoardTest, ResumeAfterAnEnterShowsTheScreenSinceTheKeyAsBefore)
{
	FakeConnection first;
	LogIn(first);
	BMessage* key = EnterDoor(first);
	Type(first, "b");
	EXPECT_EQ('b', fLink.fKeys[key]);
	for (const char* text : { "b", "lacksmith", "\n  (W)eapons\n",
			"\n<Ash : Blacksmith> " }) {
		fBoard->SendString("Ash", text, new BMessage(kSendString));
	}
	fBoard->GetChar("Ash", new BMessage(kGetChar));
	fBoard->HungUp(&first);

	// The line the key was typed on is not repeated: the texts that
	// answered it begin the screen again, as they always did.
	FakeConnection again;
	LogIn(again, "Ash", "<Ash : Blacksmith> ");
	std::string shown = again.TakeShown();
	EXPECT_TRUE(EndsWith(shown,
		"\nblacksmith\n  (W)eapons\n\n<Ash : Blacksmith> ")) << shown;
	EXPECT_EQ(std::string::npos, shown.find("Town>")) << shown;
}


TEST_F(BoardTest, DroppedLineKeepsTheSessionWaitingForTheGracePeriod)
{
	FakeConnection first;
	LogIn(first);
	BMessage* key = EnterDoor(first);
	fBoard->HungUp(&first);
	Pass(29 * kSecond);
	EXPECT_EQ(0u, fLink.fKeys.count(key));
	EXPECT_TRUE(fBoard->IsOnBoard("Ash"));

	FakeConnection again;
	LogIn(again, "Ash", "<Ash : Town> ");
	Pass(10 * kSecond);
	Type(again, "c");
	EXPECT_EQ('c', fLink.fKeys[key]);
}


TEST_F(BoardTest, SessionHearsThatTheUserIsGoneOnlyAfterTheGracePeriod)
{
	FakeConnection connection;
	LogIn(connection);
	BMessage* key = EnterDoor(connection);
	fBoard->HungUp(&connection);
	Pass(31 * kSecond);
	ASSERT_EQ(1u, fLink.fKeys.count(key));
	EXPECT_EQ(0, fLink.fKeys[key]);
	BMessage* text = new BMessage(kSendString);
	fBoard->SendString("Ash", "bye", text);
	EXPECT_TRUE(fLink.fTexts[text]);

	fBoard->SessionEnded(fLink.fEntered["Ash"], false);
	EXPECT_FALSE(fBoard->IsOnBoard("Ash"));
}


TEST_F(BoardTest, IdleCallerIsWarnedThenDroppedAndTheSessionToldAtOnce)
{
	FakeConnection connection;
	LogIn(connection);
	BMessage* key = EnterDoor(connection);
	connection.TakeShown();
	Pass(41 * kSecond);
	EXPECT_EQ("", connection.TakeShown());
	Pass(20 * kSecond);
	EXPECT_NE(std::string::npos, connection.TakeShown().find(
		"disconnected soon"));
	Pass(40 * kSecond);
	EXPECT_TRUE(connection.fClosed);
	EXPECT_NE(std::string::npos, connection.fShown.find("idle too long"));
	EXPECT_EQ(0, fLink.fKeys[key]);
}


TEST_F(BoardTest, CallerWhoDoesNotReadHoldsOnlyTheirOwnTexts)
{
	FakeConnection slow;
	LogIn(slow);
	EnterDoor(slow);
	slow.fBacklog = 1024 * 1024;
	BMessage* held = new BMessage(kSendString);
	fBoard->SendString("Ash", "a screenful", held);
	EXPECT_EQ(0u, fLink.fTexts.count(held));

	fAccounts.fAccounts["bo"] = { BString("Bo"), "hash:secret123" };
	FakeConnection other("10.0.0.9");
	LogIn(other, "Bo");
	Type(other, "e");
	fBoard->Entered(fLink.fEntered["Bo"], B_OK, BString(), BString());
	BMessage* answered = new BMessage(kSendString);
	fBoard->SendString("Bo", "text", answered);
	EXPECT_EQ(1u, fLink.fTexts.count(answered));

	slow.fBacklog = 0;
	fBoard->Drained(&slow);
	ASSERT_EQ(1u, fLink.fTexts.count(held));
	EXPECT_FALSE(fLink.fTexts[held]);
}


// The session can show its first screen before the door's report that it
// entered reaches the host; the caller still sees the report's line first.
TEST_F(BoardTest, ScreenBeforeTheEntranceReportFollowsItsLine)
{
	FakeConnection connection;
	LogIn(connection);
	Type(connection, "e");
	connection.TakeShown();
	BMessage* first = new BMessage(kSendString);
	fBoard->SendString("Ash", "What name would you like? [", first);
	BMessage* second = new BMessage(kSendString);
	fBoard->SendString("Ash", "Ash] : ", second);
	EXPECT_EQ("", connection.fShown);
	EXPECT_EQ(0u, fLink.fTexts.count(first));

	fBoard->Entered(fLink.fEntered["Ash"], B_OK, BString(), BString("team 7"));
	EXPECT_EQ("[log: Ash entered the door (team 7)]"
		"What name would you like? [Ash] : ", connection.TakeShown());
	ASSERT_EQ(1u, fLink.fTexts.count(first));
	ASSERT_EQ(1u, fLink.fTexts.count(second));
	EXPECT_FALSE(fLink.fTexts[first]);

	BMessage* later = new BMessage(kSendString);
	fBoard->SendString("Ash", "\n<Ash : Town> ", later);
	EXPECT_EQ("\n<Ash : Town> ", connection.TakeShown());
	EXPECT_EQ(1u, fLink.fTexts.count(later));
}


TEST_F(BoardTest, EntranceThatFailsAnswersWhatTheSessionAsked)
{
	FakeConnection connection;
	LogIn(connection);
	Type(connection, "e");
	BMessage* text = new BMessage(kSendString);
	fBoard->SendString("Ash", "What name would you like? [", text);
	BMessage* key = new BMessage(kGetChar);
	fBoard->GetChar("Ash", key);
	connection.TakeShown();

	fBoard->Entered(fLink.fEntered["Ash"], B_TIMED_OUT,
		BString("The door does not answer."), BString());
	ASSERT_EQ(1u, fLink.fTexts.count(text));
	EXPECT_TRUE(fLink.fTexts[text]);
	ASSERT_EQ(1u, fLink.fKeys.count(key));
	EXPECT_EQ(0, fLink.fKeys[key]);
	std::string shown = connection.TakeShown();
	EXPECT_EQ(std::string::npos, shown.find("What name")) << shown;
	EXPECT_NE(std::string::npos, shown.find("The door does not answer."))
		<< shown;
}


TEST_F(BoardTest, WrongPasswordsPauseLongerEachTimeAndEndTheCall)
{
	FakeConnection connection;
	fBoard->Connected(&connection);
	Type(connection, "Ash\n");
	bigtime_t pauses[] = { kSecond, 2 * kSecond, 4 * kSecond };
	for (bigtime_t pause : pauses) {
		connection.TakeShown();
		Type(connection, "wrong\n");
		EXPECT_NE(std::string::npos,
			connection.TakeShown().find("That password is wrong."));
		Pass(pause - 1);
		EXPECT_EQ(std::string::npos, connection.fShown.find("Password: "));
		Pass(1);
		if (pause < 4 * kSecond) {
			EXPECT_NE(std::string::npos,
				connection.fShown.find("Password: "));
		}
	}
	EXPECT_TRUE(connection.fClosed);
	EXPECT_NE(std::string::npos, connection.fShown.find("Good-bye."));
}


TEST_F(BoardTest, NameFailingTenTimesIsLockedWhateverTheAddress)
{
	fSettings.failureDelay = 0;
	fBoard = std::make_unique<Board>(fSettings, fAccounts, fLink);
	std::vector<std::unique_ptr<FakeConnection>> connections;
	for (int i = 0; i < 10; i++) {
		BString address("10.1.0.");
		address << (int32)i;
		connections.push_back(std::make_unique<FakeConnection>(
			address.String()));
		fBoard->Connected(connections.back().get());
		Type(*connections.back(), "Ash\nnope\n");
		Pass(0);
	}
	FakeConnection late("10.2.0.1");
	fBoard->Connected(&late);
	Type(late, "ash\n");
	EXPECT_NE(std::string::npos, late.TakeShown().find("locked"));
	// Ten minutes on, the right password opens it again.
	Pass(601 * kSecond);
	FakeConnection later("10.2.0.2");
	LogIn(later, "ash");
}


TEST_F(BoardTest, RegistrationAsksTwiceAndKeepsOnlyTheHash)
{
	FakeConnection connection;
	fBoard->Connected(&connection);
	Type(connection, "Wren\nshort\n");
	EXPECT_NE(std::string::npos, connection.TakeShown().find(
		"at least 8 characters"));
	Type(connection, "longenough\nnotthesame\n");
	EXPECT_NE(std::string::npos, connection.TakeShown().find("differ"));
	Type(connection, "longenough\nlongenough\n");
	// Nothing typed in a password is echoed.
	EXPECT_EQ(std::string::npos, connection.fShown.find("longenough"));
	ASSERT_EQ(1u, fLink.fHashes.size());
	fBoard->PasswordHashed(fLink.fHashes[0].first, fLink.fHashes[0].second);
	EXPECT_EQ("hash:longenough", fAccounts.fAccounts["wren"].second);
	EXPECT_NE(std::string::npos, connection.fShown.find(
		"Wren, you are in the front room"));
}


TEST_F(BoardTest, BadNamesAreRefusedWithTheReason)
{
	FakeConnection connection;
	fBoard->Connected(&connection);
	connection.TakeShown();
	Type(connection, ".hidden\n");
	EXPECT_NE(std::string::npos, connection.TakeShown().find(
		"That name starts with a space or a dot."));
	Type(connection, "a/b\n");
	EXPECT_NE(std::string::npos, connection.TakeShown().find("holds a \"/\""));
	Type(connection, std::string(31, 'x') + "\n");
	EXPECT_NE(std::string::npos, connection.TakeShown().find(
		"longer than 30"));
}


TEST_F(BoardTest, LimitsTurnCallersAway)
{
	fSettings.maxCallers = 6;
	fSettings.loginTimeout = 60 * kSecond;
	fBoard = std::make_unique<Board>(fSettings, fAccounts, fLink);
	FakeConnection lines[7];
	for (int i = 0; i < 6; i++)
		fBoard->Connected(&lines[i]);
	EXPECT_TRUE(lines[5].fClosed);
	EXPECT_NE(std::string::npos, lines[5].fShown.find("Too many callers"));
	for (int i = 0; i < 5; i++)
		EXPECT_FALSE(lines[i].fClosed);

	FakeConnection elsewhere("10.9.9.9");
	fBoard->Connected(&elsewhere);
	fBoard->Connected(&lines[6]);
	EXPECT_TRUE(lines[6].fClosed);
	EXPECT_NE(std::string::npos, lines[6].fShown.find(
		"The board is busy, please call again later."));

	// Nobody logged in within the minute.
	Pass(60 * kSecond);
	for (int i = 0; i < 5; i++)
		EXPECT_TRUE(lines[i].fClosed);
	EXPECT_NE(std::string::npos, lines[0].fShown.find("Time is up"));
}


TEST_F(BoardTest, LeavingTheDoorReturnsToTheFrontRoom)
{
	FakeConnection connection;
	LogIn(connection);
	EnterDoor(connection);
	connection.TakeShown();
	fBoard->SessionEnded(fLink.fEntered["Ash"], true);
	std::string shown = connection.TakeShown();
	EXPECT_NE(std::string::npos, shown.find("The door has closed.\n"));
	EXPECT_NE(std::string::npos, shown.find("you are in the front room"));
	Type(connection, "w");
	EXPECT_NE(std::string::npos, connection.TakeShown().find(
		"Ash                            front room"));
	Type(connection, "g");
	EXPECT_TRUE(connection.fClosed);
}


TEST_F(BoardTest, TerminalNamingItsUserGoesStraightIntoTheDoor)
{
	FakeConnection bridge("the terminal socket");
	ASSERT_TRUE(fBoard->TerminalArrived(&bridge, "Bo"));
	ASSERT_EQ(1u, fLink.fEntered.count("Bo"));
	fBoard->Typed(&bridge, std::string("a\0b", 3));
	fBoard->InputEnded(&bridge);

	// The keys before the end of the input, a 0 byte never among them;
	// then the user is gone.
	int32 expected[] = { 'a', 'b', 0 };
	for (int32 key : expected) {
		BMessage* request = new BMessage(kGetChar);
		fBoard->GetChar("Bo", request);
		EXPECT_EQ(key, fLink.fKeys[request]);
	}

	// A second terminal or a login of the name is refused meanwhile.
	FakeConnection second("the terminal socket");
	EXPECT_FALSE(fBoard->TerminalArrived(&second, "bo"));
	EXPECT_NE(std::string::npos, second.fShown.find("bo is already in the door."));
	fAccounts.fAccounts["bo"] = { BString("Bo"), "hash:secret123" };
	FakeConnection caller;
	fBoard->Connected(&caller);
	Type(caller, "Bo\nsecret123\n");
	EXPECT_TRUE(caller.fClosed);
	EXPECT_NE(std::string::npos, caller.fShown.find(
		"Bo is already in the door from another terminal."));

	// Its call ends with the session.
	fBoard->SessionEnded(fLink.fEntered["Bo"], true);
	EXPECT_TRUE(bridge.fClosed);
	EXPECT_EQ(CallEnd::kDoorClosed, bridge.fEnd);
	EXPECT_NE(std::string::npos, bridge.fShown.find("The door has closed."));
	EXPECT_FALSE(fBoard->IsOnBoard("Bo"));
}


TEST_F(BoardTest, TerminalWithABadNameIsRefusedWithTheReasonEscaped)
{
	FakeConnection bridge("the terminal socket");
	EXPECT_FALSE(fBoard->TerminalArrived(&bridge, "Ash\x1b[2J"));
	EXPECT_TRUE(bridge.fClosed);
	EXPECT_EQ("\"Ash\\x1b[2J\" cannot be a user name: the name holds a"
		" character other than printable ASCII.", bridge.fShown);
	EXPECT_EQ(0u, fLink.fEntered.size());
}


// #pragma mark - The sysop's view and actions


TEST_F(BoardTest, NoticeWaitsWhileTheDoorShowsTextsAndComesAtItsNextPrompt)
{
	FakeConnection connection;
	LogIn(connection);
	EnterDoor(connection);
	Type(connection, "b");
	connection.TakeShown();

	// The door is between its key and its next request: in the middle of
	// a screen, so nothing may come between its texts.
	EXPECT_EQ(1, fBoard->Announce("*** Notice"));
	EXPECT_EQ("", connection.TakeShown());
	for (const char* text : { "\n  (W)eapons\n", "\n<Ash : ", "Blacksmith",
			"> " }) {
		fBoard->SendString("Ash", text, new BMessage(kSendString));
	}
	EXPECT_EQ("\n  (W)eapons\n\n<Ash : Blacksmith> ", connection.TakeShown());

	fBoard->GetChar("Ash", new BMessage(kGetChar));
	EXPECT_EQ("\n*** Notice\n<Ash : Blacksmith> ", connection.TakeShown());
	// Once.
	Type(connection, "t");
	fBoard->GetChar("Ash", new BMessage(kGetChar));
	EXPECT_EQ("", connection.TakeShown());
}


TEST_F(BoardTest, NoticeShowsTheQuestionAgainWithTheAnswerTypedSoFar)
{
	FakeConnection connection;
	LogIn(connection);
	BMessage* key = EnterDoor(connection);
	fBoard->SendString("Ash", "\n\nWhich would you like to buy?",
		new BMessage(kSendString));
	Type(connection, "4");
	EXPECT_EQ('4', fLink.fKeys[key]);
	fBoard->SendString("Ash", "4", new BMessage(kSendString));
	fBoard->GetChar("Ash", new BMessage(kGetChar));
	connection.TakeShown();

	EXPECT_EQ(1, fBoard->Announce("*** Notice"));
	EXPECT_EQ("\n*** Notice\nWhich would you like to buy?4",
		connection.TakeShown());
}


// A line the caller types on and on, each key echoed by the door, is
// kept only to its end: what the seat keeps stays bounded.
TEST_F(BoardTest, LineTypedWithoutEndIsKeptOnlyToItsEnd)
{
	FakeConnection connection;
	LogIn(connection);
	EnterDoor(connection);
	fBoard->SendString("Ash", "\n\nWhich would you like to buy?",
		new BMessage(kSendString));
	const int kKeys = 20000;
	for (int i = 0; i < kKeys; i++) {
		Type(connection, i + 1 == kKeys ? "z" : "9");
		fBoard->SendString("Ash", i + 1 == kKeys ? "z" : "9",
			new BMessage(kSendString));
		fBoard->GetChar("Ash", new BMessage(kGetChar));
	}
	connection.TakeShown();

	EXPECT_EQ(1, fBoard->Announce("*** Notice"));
	std::string shown = connection.TakeShown();
	EXPECT_EQ(0u, shown.find("\n*** Notice\n9999")) << shown.substr(0, 80);
	EXPECT_EQ('z', shown.back());
	EXPECT_LE(shown.size(), 4096u + 12u);
	EXPECT_GT(shown.size(), 1024u);

	fBoard->HungUp(&connection);
	FakeConnection again;
	LogIn(again, "Ash", "9z");
	std::string replay = again.TakeShown();
	size_t start = replay.rfind("\n");
	EXPECT_EQ(replay.size() - start - 1, shown.size() - 12u);
}


TEST_F(BoardTest, NoticeReachesCallersAtAPromptAtOnceAndOthersInTheFrontRoom)
{
	FakeConnection inDoor;
	LogIn(inDoor);
	EnterDoor(inDoor);
	fAccounts.fAccounts["wren"] = { BString("Wren"), "hash:secret123" };
	FakeConnection frontRoom;
	LogIn(frontRoom, "Wren");
	FakeConnection loggingIn("10.0.0.2");
	fBoard->Connected(&loggingIn);
	for (FakeConnection* connection : { &inDoor, &frontRoom, &loggingIn })
		connection->TakeShown();

	EXPECT_EQ(3, fBoard->Announce("*** Notice"));
	EXPECT_EQ("\n*** Notice\n<Ash : Town> ", inDoor.TakeShown());
	EXPECT_EQ("\n*** Notice\nYour choice: ", frontRoom.TakeShown());
	EXPECT_EQ("", loggingIn.TakeShown());

	fAccounts.fAccounts["kit"] = { BString("Kit"), "hash:secret123" };
	Type(loggingIn, "Kit\nsecret123\n");
	std::string shown = loggingIn.TakeShown();
	size_t notice = shown.find("*** Notice");
	ASSERT_NE(std::string::npos, notice) << shown;
	EXPECT_LT(notice, shown.find("Kit, you are in the front room")) << shown;
}


TEST_F(BoardTest, KickEndsTheSessionAsAHangUpDoesEvenWhileTheCallerIsAway)
{
	FakeConnection connection;
	LogIn(connection);
	BMessage* key = EnterDoor(connection);
	EXPECT_TRUE(fBoard->Kick("ASH", "Kicked."));
	EXPECT_TRUE(connection.fClosed);
	EXPECT_NE(std::string::npos, connection.fShown.find("\nKicked.\n"));
	ASSERT_EQ(1u, fLink.fKeys.count(key));
	EXPECT_EQ(0, fLink.fKeys[key]);
	EXPECT_FALSE(fBoard->Kick("Nobody", "Kicked."));

	// A caller whose line dropped has a seat for the grace period.
	FakeConnection again;
	fBoard->SessionEnded(fLink.fEntered["Ash"], false);
	LogIn(again);
	// Freed requests' addresses come again.
	fLink.fEntered.clear();
	fLink.fKeys.clear();
	fLink.fTexts.clear();
	BMessage* waiting = EnterDoor(again);
	fBoard->HungUp(&again);
	EXPECT_EQ(0u, fLink.fKeys.count(waiting));
	EXPECT_TRUE(fBoard->IsOnBoard("Ash"));
	EXPECT_TRUE(fBoard->Kick("Ash", "Kicked."));
	EXPECT_EQ(0, fLink.fKeys[waiting]);
}


TEST_F(BoardTest, WhoListsEveryCallerWithTheWayInAndTheState)
{
	FakeConnection inDoor;
	LogIn(inDoor);
	EnterDoor(inDoor);
	FakeConnection loggingIn("10.0.0.2");
	fBoard->Connected(&loggingIn);
	fLink.fNow += 75 * kSecond;

	std::vector<Board::CallerView> callers = fBoard->ListCallers();
	ASSERT_EQ(2u, callers.size());
	EXPECT_STREQ("Ash", callers[0].name.String());
	EXPECT_STREQ("fake", callers[0].kind.String());
	EXPECT_STREQ("10.0.0.1", callers[0].where.String());
	EXPECT_STREQ("in the door", callers[0].state);
	EXPECT_EQ(75 * kSecond, callers[0].idle);
	EXPECT_STREQ("", callers[1].name.String());
	EXPECT_STREQ("logging in", callers[1].state);

	fBoard->HungUp(&inDoor);
	callers = fBoard->ListCallers();
	ASSERT_EQ(2u, callers.size());
	EXPECT_STREQ("Ash", callers[1].name.String());
	EXPECT_STREQ("away from the door", callers[1].state);
}


TEST_F(BoardTest, LockedAccountIsToldSoAndAskedForAnotherName)
{
	fAccounts.fAccounts["ash"].second = "!hash:secret123";
	FakeConnection connection;
	fBoard->Connected(&connection);
	Type(connection, "Ash\n");
	std::string shown = connection.TakeShown();
	EXPECT_NE(std::string::npos,
		shown.find("That account is locked; ask the sysop.\nName: ")) << shown;
	EXPECT_FALSE(connection.fClosed);

	// Locked while the right password was being checked.
	fAccounts.fAccounts["ash"].second = "hash:secret123";
	fBoard->Typed(&connection, "Ash\nsecret123\n");
	ASSERT_EQ(1u, fLink.fChecks.size());
	fAccounts.fAccounts["ash"].second = "!hash:secret123";
	fBoard->PasswordChecked(fLink.fChecks[0].first, true);
	shown = connection.TakeShown();
	EXPECT_EQ(std::string::npos, shown.find("front room")) << shown;
	EXPECT_NE(std::string::npos,
		shown.find("That account is locked; ask the sysop.\nName: ")) << shown;
}


TEST_F(BoardTest, CallerAdmittedBeforeTheTerminalSitsDownWhereTheSessionStood)
{
	FakeConnection first;
	LogIn(first);
	BMessage* key = EnterDoor(first);
	fBoard->HungUp(&first);

	FakeConnection second("10.0.0.2");
	ASSERT_TRUE(fBoard->Arrived(&second));
	EXPECT_EQ(LoginQuestions::kPassword, fBoard->QuestionsFor(&second, "ash"));
	fBoard->PasswordGiven(&second, "ash", "secret123");
	EXPECT_TRUE(second.fAnswers.empty());
	Answer();
	ASSERT_EQ(1u, second.fAnswers.size());
	EXPECT_EQ(LoginAnswer::kAdmitted, second.fAnswers[0]);
	// Nothing is shown, and the seat waits, until the terminal opens.
	EXPECT_EQ("", second.TakeShown());
	Type(second, "s");
	EXPECT_EQ(0u, fLink.fKeys.count(key));

	fBoard->TerminalOpened(&second);
	EXPECT_NE(std::string::npos, second.TakeShown().find("<Ash : Town> "));
	Type(second, "s");
	EXPECT_EQ('s', fLink.fKeys[key]);
}


TEST_F(BoardTest, WrongPasswordBeforeTheTerminalIsRefusedAfterEachPause)
{
	FakeConnection connection;
	ASSERT_TRUE(fBoard->Arrived(&connection));
	for (int attempt = 0; attempt < 3; attempt++) {
		bigtime_t pause = fSettings.failureDelay << attempt;
		fBoard->PasswordGiven(&connection, "Ash", "wrong-password");
		Answer();
		Pass(pause - kSecond / 10);
		EXPECT_EQ(size_t(attempt), connection.fAnswers.size());
		Pass(kSecond / 5);
		ASSERT_EQ(size_t(attempt + 1), connection.fAnswers.size());
		EXPECT_EQ(LoginAnswer::kRefused, connection.fAnswers.back());
		EXPECT_FALSE(connection.fClosed);
	}
	// One try more than allowed ends the call, right password or not.
	fBoard->PasswordGiven(&connection, "Ash", "secret123");
	EXPECT_TRUE(connection.fClosed);
	EXPECT_TRUE(fLink.fChecks.empty());
	EXPECT_FALSE(fBoard->IsOnBoard("Ash"));
}


TEST_F(BoardTest, NewNameBeforeTheTerminalRegistersWithAPasswordTypedTwice)
{
	FakeConnection connection;
	ASSERT_TRUE(fBoard->Arrived(&connection));
	// A password alone does not register a free name.
	fBoard->PasswordGiven(&connection, "Birch", "secret456");
	ASSERT_EQ(1u, connection.fAnswers.size());
	EXPECT_EQ(LoginAnswer::kRefused, connection.fAnswers[0]);

	EXPECT_EQ(LoginQuestions::kNewPassword,
		fBoard->QuestionsFor(&connection, "Birch"));
	fBoard->RegistrationGiven(&connection, "short", "short");
	EXPECT_EQ(LoginAnswer::kAskAgain, connection.fAnswers.back());
	EXPECT_NE(std::string::npos, connection.fReason.find("8"));
	fBoard->RegistrationGiven(&connection, "secret456", "secret457");
	EXPECT_EQ(LoginAnswer::kAskAgain, connection.fAnswers.back());
	EXPECT_EQ("The passwords differ.", connection.fReason);
	EXPECT_TRUE(fLink.fHashes.empty());

	fBoard->RegistrationGiven(&connection, "secret456", "secret456");
	Answer();
	EXPECT_EQ(LoginAnswer::kAdmitted, connection.fAnswers.back());
	EXPECT_EQ("hash:secret456", fAccounts.fAccounts["birch"].second);
	fBoard->TerminalOpened(&connection);
	EXPECT_NE(std::string::npos,
		connection.TakeShown().find("Birch, you are in the front room"));
}


TEST_F(BoardTest, CallerNamedNewLogsInAtTheBoardsOwnPrompt)
{
	FakeConnection connection;
	ASSERT_TRUE(fBoard->Arrived(&connection));
	EXPECT_EQ(LoginQuestions::kNoneNeeded,
		fBoard->QuestionsFor(&connection, "NEW"));
	EXPECT_EQ(LoginQuestions::kNone,
		fBoard->QuestionsFor(&connection, "Ash"));
	fBoard->TerminalOpened(&connection);
	std::string shown = connection.TakeShown();
	EXPECT_NE(std::string::npos, shown.find("Welcome to the Drelmoor board."));
	EXPECT_NE(std::string::npos, shown.find("Name: "));
	Type(connection, "Ash\nsecret123\n");
	EXPECT_NE(std::string::npos,
		connection.TakeShown().find("Ash, you are in the front room"));
}


TEST_F(BoardTest, TerminalThatOpensBeforeItsCallerLoggedInIsLetGo)
{
	FakeConnection connection;
	ASSERT_TRUE(fBoard->Arrived(&connection));
	EXPECT_EQ(LoginQuestions::kPassword,
		fBoard->QuestionsFor(&connection, "Ash"));
	fBoard->TerminalOpened(&connection);
	EXPECT_TRUE(connection.fClosed);
	EXPECT_EQ(0, fBoard->CountCallers());
}


TEST_F(BoardTest, LockedAccountBeforeTheTerminalIsRefusedAtOnceUntilUnlocked)
{
	const std::string locked = "That account is locked; ask the sysop.";
	fAccounts.fAccounts["ash"].second = "!hash:secret123";
	// The right password, more often than one call's tries and than the
	// failures that lock a name: each refused at once, with the reason,
	// never checked, never paused for, never counted.
	std::vector<std::unique_ptr<FakeConnection>> connections;
	for (int call = 0; call < 3; call++) {
		connections.push_back(std::make_unique<FakeConnection>());
		FakeConnection& connection = *connections.back();
		ASSERT_TRUE(fBoard->Arrived(&connection));
		EXPECT_EQ(LoginQuestions::kNone,
			fBoard->QuestionsFor(&connection, "Ash"));
		for (int i = 0; i < 4; i++)
			fBoard->PasswordGiven(&connection, "Ash", "secret123");
		EXPECT_TRUE(fLink.fChecks.empty());
		ASSERT_EQ(5u, connection.fAnswers.size());
		for (LoginAnswer answer : connection.fAnswers)
			EXPECT_EQ(LoginAnswer::kRefused, answer);
		EXPECT_EQ(locked, connection.fReason);
		EXPECT_FALSE(connection.fClosed);
		fBoard->HungUp(&connection);
	}

	// Unlocked by the sysop: the right password logs in on the next try.
	fAccounts.fAccounts["ash"].second = "hash:secret123";
	FakeConnection connection;
	ASSERT_TRUE(fBoard->Arrived(&connection));
	fBoard->PasswordGiven(&connection, "Ash", "secret123");
	Answer();
	ASSERT_EQ(1u, connection.fAnswers.size());
	EXPECT_EQ(LoginAnswer::kAdmitted, connection.fAnswers[0]);
	fBoard->TerminalOpened(&connection);
	EXPECT_NE(std::string::npos,
		connection.TakeShown().find("Ash, you are in the front room"));
}


// #pragma mark - Time left and other boards' callers


TEST_F(BoardTest, CallerOutOfTimeIsWarnedAtAPromptThenLetGo)
{
	FakeConnection bridge("node 4");
	ASSERT_TRUE(fBoard->TerminalArrived(&bridge, "Bo"));
	fBoard->LimitTime(&bridge, 150 * kSecond);
	fBoard->Entered(fLink.fEntered["Bo"], B_OK, BString(), BString());
	BMessage* text = new BMessage(kSendString);
	fBoard->SendString("Bo", "\n<Bo : Town> ", text);
	BMessage* key = new BMessage(kGetChar);
	fBoard->GetChar("Bo", key);
	bridge.TakeShown();

	EXPECT_EQ(150 * kSecond, fBoard->ListCallers()[0].timeLeft);
	// Two minutes and a half: the two minutes' warning when they come.
	Pass(29 * kSecond);
	EXPECT_EQ("", bridge.TakeShown());
	Pass(kSecond);
	EXPECT_EQ("\nYou have 2 minutes left.\n<Bo : Town> ", bridge.TakeShown());
	Pass(60 * kSecond);
	EXPECT_EQ("\nYou have 1 minute left.\n<Bo : Town> ", bridge.TakeShown());
	EXPECT_FALSE(bridge.fClosed);
	Pass(60 * kSecond);
	// As a hang-up ends it: the session hears its user is gone.
	EXPECT_TRUE(bridge.fClosed);
	EXPECT_EQ(CallEnd::kSessionEnded, bridge.fEnd);
	EXPECT_NE(std::string::npos, bridge.fShown.find("Your time is up."));
	EXPECT_EQ(0, fLink.fKeys[key]);
}


TEST_F(BoardTest, VouchedCallerGoesIntoTheDoorAndResumesAfterADrop)
{
	FakeConnection call("192.0.2.7");
	ASSERT_TRUE(fBoard->Arrived(&call));
	fBoard->Vouched(&call, "Ash@DARK");
	ASSERT_EQ(1u, fLink.fEntered.count("Ash@DARK"));
	fBoard->Entered(fLink.fEntered["Ash@DARK"], B_OK, BString(), BString());
	BMessage* text = new BMessage(kSendString);
	fBoard->SendString("Ash@DARK", "\n<Ash@DARK : Town> ", text);
	BMessage* key = new BMessage(kGetChar);
	fBoard->GetChar("Ash@DARK", key);
	EXPECT_EQ(std::string::npos, call.fShown.find("front room"));

	// A dropped line waits for the grace period, as any caller's.
	fBoard->HungUp(&call);
	EXPECT_TRUE(fBoard->IsOnBoard("Ash@DARK"));
	FakeConnection again("192.0.2.7");
	ASSERT_TRUE(fBoard->Arrived(&again));
	fBoard->Vouched(&again, "Ash@DARK");
	EXPECT_NE(std::string::npos, again.fShown.find("<Ash@DARK : Town> "));
	fBoard->Typed(&again, "q");
	EXPECT_EQ('q', fLink.fKeys[key]);

	// Leaving the door ends the call, back to the caller's board.
	fBoard->SessionEnded(fLink.fEntered["Ash@DARK"], false);
	EXPECT_TRUE(again.fClosed);
	EXPECT_EQ(CallEnd::kSessionEnded, again.fEnd);
	EXPECT_FALSE(fBoard->IsOnBoard("Ash@DARK"));
}


TEST_F(BoardTest, RefusedHandshakesPauseGrowAndLockTheirKey)
{
	const std::string key = "\1rlogin 192.0.2.9";
	bigtime_t expected[] = { 1, 2, 4, 4 };
	for (bigtime_t pause : expected) {
		FakeConnection call("192.0.2.9");
		ASSERT_TRUE(fBoard->Arrived(&call));
		fBoard->VouchRefused(&call, key, "No.\n");
		Pass(pause * kSecond - 1);
		EXPECT_FALSE(call.fClosed);
		Pass(1);
		EXPECT_TRUE(call.fClosed);
		EXPECT_EQ("No.\n", call.fShown);
		fBoard->HungUp(&call);
	}
	for (int32 i = 4; i < fSettings.lockFailures; i++) {
		FakeConnection call("192.0.2.9");
		ASSERT_TRUE(fBoard->Arrived(&call));
		fBoard->VouchRefused(&call, key, "No.\n");
		fBoard->HungUp(&call);
	}
	EXPECT_TRUE(fBoard->IsLocked(key));
	EXPECT_FALSE(fBoard->IsLocked("\1rlogin 192.0.2.10"));
}


TEST_F(BoardTest, NamesOfOtherBoardsCannotBeRegisteredHere)
{
	FakeConnection caller;
	fBoard->Connected(&caller);
	Type(caller, "Ash@DARK\n");
	EXPECT_NE(std::string::npos, caller.fShown.find(
		"A name with an @ is another board's caller's; choose one without."));
	EXPECT_TRUE(fLink.fHashes.empty());

	// A vouched name that breaks the name rule is refused with the reason.
	FakeConnection call("192.0.2.7");
	ASSERT_TRUE(fBoard->Arrived(&call));
	fBoard->Vouched(&call, "Bad/Name@DARK");
	EXPECT_TRUE(call.fClosed);
	EXPECT_NE(std::string::npos, call.fShown.find(
		"\"Bad/Name@DARK\" cannot be a user name here"));
	EXPECT_TRUE(fLink.fEntered.empty());
}


TEST_F(BoardTest, TimeWarningWhileTheDoorIsBusyWaitsForItsNextPrompt)
{
	FakeConnection bridge("node 4");
	ASSERT_TRUE(fBoard->TerminalArrived(&bridge, "Bo"));
	// A minute and a half: no five or two minutes' warning, ever.
	fBoard->LimitTime(&bridge, 90 * kSecond);
	fBoard->Entered(fLink.fEntered["Bo"], B_OK, BString(), BString());
	bridge.TakeShown();
	Pass(30 * kSecond);
	// No request for a key waits: the door's text is not to be cut.
	EXPECT_EQ("", bridge.TakeShown());
	BMessage* text = new BMessage(kSendString);
	fBoard->SendString("Bo", "\n<Bo : Town> ", text);
	BMessage* key = new BMessage(kGetChar);
	fBoard->GetChar("Bo", key);
	EXPECT_EQ("\n<Bo : Town> \nYou have 1 minute left.\n<Bo : Town> ",
		bridge.TakeShown());
	EXPECT_EQ(60 * kSecond, fBoard->ListCallers()[0].timeLeft);
	Pass(60 * kSecond);
	EXPECT_TRUE(bridge.fClosed);
	EXPECT_EQ("\nYour time is up.\n", bridge.TakeShown());
	EXPECT_EQ(0, fLink.fKeys[key]);
}


TEST_F(BoardTest, VouchedCallTakesOverOnlyAnotherCallOfItsBoard)
{
	// A bridge's caller of the name keeps it.
	FakeConnection bridge("node 2");
	ASSERT_TRUE(fBoard->TerminalArrived(&bridge, "Bo@DARK"));
	FakeConnection refused("192.0.2.7");
	ASSERT_TRUE(fBoard->Arrived(&refused));
	fBoard->Vouched(&refused, "Bo@DARK");
	EXPECT_TRUE(refused.fClosed);
	EXPECT_EQ("Bo@DARK is already in the door from another terminal.\n",
		refused.fShown);
	EXPECT_FALSE(bridge.fClosed);

	// A second call of the same board's caller takes the session over.
	FakeConnection first("192.0.2.7");
	ASSERT_TRUE(fBoard->Arrived(&first));
	fBoard->Vouched(&first, "Ash@DARK");
	fBoard->Entered(fLink.fEntered["Ash@DARK"], B_OK, BString(), BString());
	int32 seats = fLink.fNextSeat;
	FakeConnection second("192.0.2.7");
	ASSERT_TRUE(fBoard->Arrived(&second));
	fBoard->Vouched(&second, "Ash@DARK");
	EXPECT_TRUE(first.fClosed);
	EXPECT_NE(std::string::npos, first.fShown.find(
		"Your session was taken over from another connection."));
	EXPECT_FALSE(second.fClosed);
	EXPECT_EQ(seats, fLink.fNextSeat);
	EXPECT_EQ(std::string::npos, second.fShown.find("front room"));
}


TEST_F(BoardTest, RefusedHandshakeCannotBeVouchedForAfterwards)
{
	FakeConnection call("192.0.2.9");
	ASSERT_TRUE(fBoard->Arrived(&call));
	fBoard->VouchRefused(&call, "\1rlogin 192.0.2.9", "No.\n");
	fBoard->Vouched(&call, "Ash@DARK");
	EXPECT_TRUE(fLink.fEntered.empty());
	EXPECT_FALSE(fBoard->IsOnBoard("Ash@DARK"));
	EXPECT_FALSE(call.fClosed);
	Pass(kSecond);
	EXPECT_TRUE(call.fClosed);
	EXPECT_EQ(CallEnd::kFailure, call.fEnd);
	EXPECT_EQ("No.\n", call.fShown);
}


// #pragma mark - The sysop's spies and chats


namespace {

// The sysop's side of a spy or a chat: what it was shown, and why it ended.
class FakeOnlooker : public Onlooker {
public:
	void Shown(const std::string& text) override { fShown += text; }
	void Ended(const std::string& why) override
	{
		fEnded = true;
		fWhy = why;
	}

	std::string TakeShown()
	{
		std::string shown;
		shown.swap(fShown);
		return shown;
	}

	std::string fShown;
	bool fEnded = false;
	std::string fWhy;
};

}	// namespace


TEST_F(BoardTest, SpySeesTheCallersLineThenEverythingTheCallerIsShown)
{
	FakeConnection connection;
	LogIn(connection);
	EnterDoor(connection);
	Type(connection, "4");
	fBoard->SendString("Ash", "4", new BMessage(kSendString));
	connection.TakeShown();

	FakeOnlooker spy;
	BString who;
	ASSERT_EQ(Board::Watch::kStarted, fBoard->Spy("ash", &spy, &who));
	EXPECT_EQ("Ash", std::string(who.String()));
	// The line the caller stands on, with what was typed on it.
	EXPECT_EQ("<Ash : Town> 4", spy.TakeShown());
	fBoard->SendString("Ash", "\nHello\n", new BMessage(kSendString));
	fBoard->GetChar("Ash", new BMessage(kGetChar));
	// The notice that the sysop watches comes at the prompt, to both.
	EXPECT_EQ(connection.TakeShown(), spy.TakeShown());
	// A second spy waits its turn.
	FakeOnlooker second;
	EXPECT_EQ(Board::Watch::kAlreadyWatched,
		fBoard->Spy("Ash", &second, &who));
	EXPECT_EQ(Board::Watch::kNobody, fBoard->Spy("Wren", &second, &who));

	fBoard->Unwatch(&spy);
	fBoard->SendString("Ash", "more", new BMessage(kSendString));
	EXPECT_EQ("", spy.TakeShown());
	EXPECT_FALSE(spy.fEnded);
}


TEST_F(BoardTest, KickShowsTheSpyTheFarewellAndEndsTheWatch)
{
	FakeConnection connection;
	LogIn(connection);
	FakeOnlooker spy;
	BString who;
	ASSERT_EQ(Board::Watch::kStarted, fBoard->Spy("Ash", &spy, &who));
	ASSERT_TRUE(fBoard->Kick("Ash", "Go away.\nReason: flood", "flood"));
	EXPECT_NE(std::string::npos, spy.fShown.find("Reason: flood"));
	EXPECT_TRUE(spy.fEnded);
	EXPECT_EQ("Ash has left the board.", spy.fWhy);
}


TEST_F(BoardTest, ChatHoldsTheSessionAndGivesTheLineBackWhole)
{
	FakeConnection connection;
	LogIn(connection);
	BMessage* key = EnterDoor(connection);
	fBoard->SendString("Ash", "\n\nWhich would you like to buy?",
		new BMessage(kSendString));
	Type(connection, "4");
	fBoard->SendString("Ash", "4", new BMessage(kSendString));
	BMessage* next = new BMessage(kGetChar);
	fBoard->GetChar("Ash", next);
	EXPECT_EQ('4', fLink.fKeys[key]);
	// A request's address may come again: only answers from here on count.
	fLink.fKeys.clear();

	FakeOnlooker sysop;
	BString who;
	ASSERT_EQ(Board::Watch::kStarted, fBoard->Chat("Ash", &sysop, &who));
	connection.TakeShown();
	// Each side's keys reach both screens; none reaches the door.
	fBoard->ChatTyped(&sysop, "Hi\n");
	Type(connection, "yo\bu\n");
	EXPECT_EQ("Hi\nyo\b \bu\n", connection.TakeShown());
	EXPECT_NE(std::string::npos, sysop.TakeShown().find("Hi\nyo\b \bu\n"));
	EXPECT_EQ(0u, fLink.fKeys.count(next));
	// The door's texts meanwhile are kept for the screen, not shown.
	BMessage* text = new BMessage(kSendString);
	fBoard->SendString("Ash", "!", text);
	EXPECT_EQ(1u, fLink.fTexts.count(text));
	EXPECT_EQ("", connection.TakeShown());

	fBoard->Unwatch(&sysop);
	EXPECT_EQ("\nEnd of the chat with the sysop.\n"
		"\nWhich would you like to buy?4!", connection.TakeShown());
	Type(connection, "\n");
	EXPECT_EQ('\n', fLink.fKeys[next]);
}


TEST_F(BoardTest, ChatLinesWrapAndControlBytesNeverReachTheCaller)
{
	FakeConnection connection;
	LogIn(connection);
	FakeOnlooker sysop;
	BString who;
	ASSERT_EQ(Board::Watch::kStarted, fBoard->Chat("Ash", &sysop, &who));
	connection.TakeShown();
	fBoard->ChatTyped(&sysop, "\x1b[2J\x07" + std::string(200, 'x'));
	std::string shown = connection.TakeShown();
	EXPECT_EQ(std::string::npos, shown.find('\x1b'));
	EXPECT_EQ(std::string::npos, shown.find('\x07'));
	size_t start = 0;
	while (start < shown.size()) {
		size_t end = shown.find('\n', start);
		if (end == std::string::npos)
			end = shown.size();
		EXPECT_LE(end - start, 79u);
		start = end + 1;
	}
	// The front room's prompt comes back after the chat.
	fBoard->Unwatch(&sysop);
	EXPECT_EQ("\nEnd of the chat with the sysop.\nYour choice: ",
		connection.TakeShown());
}


TEST_F(BoardTest, PageReachesTheWaitingSysopOnceAMinute)
{
	FakeConnection connection;
	LogIn(connection);
	Type(connection, "p");
	EXPECT_NE(std::string::npos,
		connection.TakeShown().find("The sysop has been paged."));
	std::vector<Board::CallerView> callers = fBoard->ListCallers();
	ASSERT_EQ(1u, callers.size());
	EXPECT_TRUE(callers[0].paged);

	// A flood is one page.
	Type(connection, "pppp");
	EXPECT_NE(std::string::npos, connection.TakeShown().find(
		"You paged the sysop less than a minute ago."));

	// A sysop who comes to wait takes the waiting page.
	FakeOnlooker sysop;
	fBoard->WaitForPage(&sysop);
	EXPECT_NE(std::string::npos, sysop.TakeShown().find("Chat with the sysop"));
	EXPECT_FALSE(fBoard->ListCallers()[0].paged);
	fBoard->Unwatch(&sysop);

	// The next page, a minute on, goes to the next sysop who waits.
	FakeOnlooker next;
	fBoard->WaitForPage(&next);
	EXPECT_EQ("", next.TakeShown());
	Pass(61 * kSecond);
	Type(connection, "p");
	EXPECT_NE(std::string::npos, next.TakeShown().find("Chat with the sysop"));
	connection.TakeShown();
	fBoard->HungUp(&connection);
	EXPECT_TRUE(next.fEnded);
}


TEST_F(BoardTest, FiguresCountCallersSessionsLoginsAndKeys)
{
	FakeConnection ash;
	LogIn(ash);
	FakeConnection stranger("10.0.0.2");
	fBoard->Connected(&stranger);
	Type(stranger, "Ash\nwrong\n");
	EnterDoor(ash);
	Type(ash, "abc");

	Board::Figures figures = fBoard->CountFigures();
	EXPECT_EQ(2, figures.callersByWay["fake"]);
	EXPECT_EQ(1, figures.sessions);
	EXPECT_EQ(1, figures.loginsToday);
	EXPECT_EQ(1, figures.failedLoginsToday);
	EXPECT_GT(figures.keysPerSecond, 0);
	EXPECT_GT(figures.exchangesPerSecond, 0);

	// A line dropped leaves the session away; a minute on, with nothing
	// typed, the rates are back to 0.
	fBoard->HungUp(&ash);
	EXPECT_EQ(1, fBoard->CountFigures().callersByWay["away"]);
	Pass(61 * kSecond);
	figures = fBoard->CountFigures();
	EXPECT_EQ(0, figures.keysPerSecond);
	EXPECT_EQ(0, figures.exchangesPerSecond);
}
