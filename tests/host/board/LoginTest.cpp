#include "Login.h"

#include "BoardFakes.h"
#include "LoginLimits.h"

#include <gtest/gtest.h>

#include <memory>


// A login on its own, at the board's prompt and before the terminal opens:
// the same name meets the same checks either way, and only how the caller
// hears the verdict differs.

using namespace BoardFakes;

namespace {

const char* const kLockedAccount = "That account is locked; ask the sysop.";


class LoginTest : public ::testing::Test {
protected:
	LoginTest()
		:
		fLimits(_Settings())
	{
		fAccounts.fAccounts["ash"] = { BString("Ash"), "hash:secret123" };
	}

	std::unique_ptr<Login> AtThePrompt(FakeTerminal& terminal)
	{
		auto login = std::make_unique<Login>(fLink, fAccounts, fLimits,
			&terminal, 7, Login::Way::kAtThePrompt);
		login->Welcome();
		terminal.TakeShown();
		return login;
	}

	std::unique_ptr<Login> BeforeTheTerminal(FakeTerminal& terminal)
	{
		return std::make_unique<Login>(fLink, fAccounts, fLimits, &terminal,
			8, Login::Way::kBeforeTheTerminal);
	}

	// Types the keys; the outcome of the last key that had one.
	LoginOutcome Type(Login& login, const std::string& keys)
	{
		LoginOutcome outcome = LoginOutcome::kGoesOn;
		for (char key : keys) {
			LoginOutcome next = login.KeyTyped(key);
			if (next != LoginOutcome::kGoesOn)
				outcome = next;
		}
		return outcome;
	}

	// Answers the check the login asked for.
	LoginOutcome Checked(Login& login)
	{
		EXPECT_EQ(1u, fLink.fChecks.size());
		if (fLink.fChecks.empty())
			return LoginOutcome::kGoesOn;
		bool matches = fLink.fChecks.back().second;
		fLink.fChecks.clear();
		return login.PasswordChecked(matches);
	}

	LoginOutcome Hashed(Login& login)
	{
		EXPECT_EQ(1u, fLink.fHashes.size());
		if (fLink.fHashes.empty())
			return LoginOutcome::kGoesOn;
		std::string hash = fLink.fHashes.back().second;
		fLink.fHashes.clear();
		return login.PasswordHashed(hash);
	}

	void Lock(const char* account)
	{
		fAccounts.fAccounts[account].second
			= "!" + fAccounts.fAccounts[account].second;
	}

	static BoardSettings _Settings()
	{
		BoardSettings settings;
		settings.failureDelay = kSecond;
		settings.lockFailures = 10;
		return settings;
	}

	MemoryAccounts fAccounts;
	FakeLink fLink;
	LoginLimits fLimits;
};

}	// namespace


TEST_F(LoginTest, NamesThatCannotLogInAreRefusedWithOneReasonEitherWay)
{
	fAccounts.fAccounts["cy"] = { BString("Cy"), "!hash:whatever1" };
	fAccounts.fAccounts["dale"] = { BString("Dale"), "hash:whatever2" };
	for (int i = 0; i < 10; i++)
		fLimits.Failed("dale", fLink.fNow);
	const std::pair<const char*, const char*> cases[] = {
		{ ".hidden", "That name starts with a space or a dot." },
		{ "Cy", kLockedAccount },
		{ "Dale", "That name is locked after too many failed logins; try"
			" again later." },
	};
	for (const auto& [name, reason] : cases) {
		FakeTerminal prompt;
		auto typed = AtThePrompt(prompt);
		EXPECT_EQ(LoginOutcome::kGoesOn, Type(*typed, std::string(name) + "\n"));
		EXPECT_EQ(std::string(name) + "\n" + reason + "\nName: ",
			prompt.TakeShown());

		FakeTerminal ssh;
		auto asked = BeforeTheTerminal(ssh);
		EXPECT_EQ(LoginOutcome::kGoesOn, asked->NameGiven(name));
		EXPECT_EQ(LoginQuestions::kNone, asked->Questions());
		EXPECT_EQ(LoginOutcome::kGoesOn, asked->PasswordGiven(name,
			"whatever1"));
		ASSERT_EQ(2u, ssh.fAnswers.size()) << name;
		for (size_t i = 0; i < 2; i++) {
			EXPECT_EQ(LoginAnswer::kRefused, ssh.fAnswers[i]);
			EXPECT_EQ(reason, ssh.fReasons[i]);
		}
		EXPECT_EQ("", ssh.fShown);
	}
	// Not one of them got as far as a password's check.
	EXPECT_TRUE(fLink.fChecks.empty());
}


TEST_F(LoginTest, LockedAccountCostsNoPauseAndNoStrikeBeforeTheTerminal)
{
	Lock("ash");
	FakeTerminal ssh;
	auto login = BeforeTheTerminal(ssh);
	// More tries than lock the name, each refused at once.
	for (int i = 0; i < 5; i++) {
		EXPECT_EQ(LoginOutcome::kGoesOn,
			login->PasswordGiven("Ash", "secret123"));
		ASSERT_EQ(size_t(i + 1), ssh.fAnswers.size());
		EXPECT_EQ(LoginAnswer::kRefused, ssh.fAnswers.back());
		EXPECT_EQ(kLockedAccount, ssh.fReasons.back());
	}
	EXPECT_TRUE(fLink.fChecks.empty());
	EXPECT_FALSE(fLimits.IsLocked("ash", fLink.fNow));

	// Unlocked: the right password opens it on the next try, no pause
	// waited out.
	fAccounts.fAccounts["ash"].second = "hash:secret123";
	EXPECT_EQ(LoginOutcome::kGoesOn, login->PasswordGiven("Ash", "secret123"));
	EXPECT_EQ(LoginOutcome::kGoesOn, Checked(*login));
	EXPECT_EQ(LoginAnswer::kAdmitted, ssh.fAnswers.back());
	EXPECT_EQ(LoginOutcome::kLoggedIn, login->TerminalOpened());
	EXPECT_EQ(BString("Ash"), login->Name());
}


TEST_F(LoginTest, LockedAccountCostsNoPauseAndNoStrikeAtThePrompt)
{
	Lock("ash");
	FakeTerminal terminal;
	auto login = AtThePrompt(terminal);
	for (int i = 0; i < 5; i++) {
		EXPECT_EQ(LoginOutcome::kGoesOn, Type(*login, "Ash\n"));
		EXPECT_EQ(std::string("Ash\n") + kLockedAccount + "\nName: ",
			terminal.TakeShown());
	}
	EXPECT_FALSE(fLimits.IsLocked("ash", fLink.fNow));
	fAccounts.fAccounts["ash"].second = "hash:secret123";
	EXPECT_EQ(LoginOutcome::kGoesOn, Type(*login, "Ash\nsecret123\n"));
	EXPECT_EQ(LoginOutcome::kLoggedIn, Checked(*login));
}


TEST_F(LoginTest, AccountLockedDuringTheCheckIsRefusedEitherWay)
{
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	EXPECT_EQ(LoginOutcome::kGoesOn, Type(*typed, "Ash\nsecret123\n"));
	FakeTerminal ssh;
	auto given = BeforeTheTerminal(ssh);
	EXPECT_EQ(LoginOutcome::kGoesOn, given->PasswordGiven("ash", "secret123"));
	ASSERT_EQ(2u, fLink.fChecks.size());
	Lock("ash");
	EXPECT_EQ(LoginOutcome::kGoesOn, typed->PasswordChecked(true));
	EXPECT_NE(std::string::npos, terminal.TakeShown().find(
		std::string(kLockedAccount) + "\nName: "));
	EXPECT_EQ(LoginOutcome::kGoesOn, given->PasswordChecked(true));
	ASSERT_EQ(1u, ssh.fAnswers.size());
	EXPECT_EQ(LoginAnswer::kRefused, ssh.fAnswers[0]);
	EXPECT_EQ(kLockedAccount, ssh.fReasons[0]);
}


TEST_F(LoginTest, WrongPasswordPausesAndStrikesTheNameEitherWay)
{
	for (int i = 0; i < 7; i++)
		fLimits.Failed("ash", fLink.fNow);
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	Type(*typed, "Ash\nwrong-one\n");
	EXPECT_EQ(LoginOutcome::kGoesOn, Checked(*typed));
	EXPECT_NE(std::string::npos,
		terminal.TakeShown().find("That password is wrong.\n"));
	EXPECT_EQ(LoginOutcome::kGoesOn, typed->Tick(fLink.fNow + kSecond - 1,
		60 * kSecond));
	EXPECT_EQ("", terminal.TakeShown());
	EXPECT_EQ(LoginOutcome::kGoesOn, typed->Tick(fLink.fNow + kSecond,
		60 * kSecond));
	EXPECT_EQ("Password: ", terminal.TakeShown());

	FakeTerminal ssh;
	auto given = BeforeTheTerminal(ssh);
	EXPECT_EQ(LoginOutcome::kGoesOn, given->PasswordGiven("Ash", "wrong-two"));
	EXPECT_EQ(LoginOutcome::kGoesOn, Checked(*given));
	// The refusal itself waits out the pause.
	EXPECT_EQ(LoginOutcome::kGoesOn,
		given->Tick(fLink.fNow + kSecond - 1, 60 * kSecond));
	EXPECT_TRUE(ssh.fAnswers.empty());
	EXPECT_EQ(LoginOutcome::kGoesOn,
		given->Tick(fLink.fNow + kSecond, 60 * kSecond));
	ASSERT_EQ(1u, ssh.fAnswers.size());
	EXPECT_EQ(LoginAnswer::kRefused, ssh.fAnswers[0]);

	// Nine strikes against the name; the tenth, either way, locks it.
	EXPECT_FALSE(fLimits.IsLocked("ash", fLink.fNow));
	Type(*typed, "wrong-three\n");
	Checked(*typed);
	EXPECT_TRUE(fLimits.IsLocked("ash", fLink.fNow));
}


TEST_F(LoginTest, TriesRunOutAtThePromptAfterThePauseAndBeforeTheTerminalAtTheNext)
{
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	FakeTerminal ssh;
	auto given = BeforeTheTerminal(ssh);
	Type(*typed, "Ash\n");
	bigtime_t now = fLink.fNow;
	for (int attempt = 0; attempt < 3; attempt++) {
		Type(*typed, "wrong\n");
		Checked(*typed);
		EXPECT_EQ(LoginOutcome::kGoesOn, given->PasswordGiven("Ash", "wrong"));
		Checked(*given);
		now += kSecond << attempt;
		LoginOutcome outcome = typed->Tick(now, 60 * kSecond);
		EXPECT_EQ(attempt < 2 ? LoginOutcome::kGoesOn : LoginOutcome::kLetGo,
			outcome);
		EXPECT_EQ(LoginOutcome::kGoesOn, given->Tick(now, 60 * kSecond));
	}
	EXPECT_EQ("Good-bye.\n", typed->Farewell());
	EXPECT_EQ(3u, ssh.fAnswers.size());
	// One try more than allowed, right password or not.
	EXPECT_EQ(LoginOutcome::kLetGo, given->PasswordGiven("Ash", "secret123"));
	EXPECT_TRUE(fLink.fChecks.empty());
}


TEST_F(LoginTest, NamesRefusedTimeAfterTimeEndTheCall)
{
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	FakeTerminal ssh;
	auto given = BeforeTheTerminal(ssh);
	for (int i = 0; i < 9; i++) {
		EXPECT_EQ(LoginOutcome::kGoesOn, Type(*typed, "a/b\n"));
		EXPECT_EQ(LoginOutcome::kGoesOn, given->NameGiven("a/b"));
		// An empty line is no name, and no refusal.
		EXPECT_EQ(LoginOutcome::kGoesOn, Type(*typed, "\n"));
	}
	EXPECT_EQ(LoginOutcome::kLetGo, Type(*typed, "a/b\n"));
	EXPECT_EQ("Good-bye.\n", typed->Farewell());
	EXPECT_EQ(LoginOutcome::kLetGo, given->NameGiven("a/b"));
}


TEST_F(LoginTest, FreeNameRegistersWithItsPasswordTypedTwiceEitherWay)
{
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	Type(*typed, "Wren\nshort\nlongenough\nlongenougj\n");
	std::string shown = terminal.TakeShown();
	EXPECT_NE(std::string::npos, shown.find("There is no account Wren yet"));
	EXPECT_NE(std::string::npos, shown.find("at least 8 characters.\n"));
	EXPECT_NE(std::string::npos, shown.find("The passwords differ."));
	EXPECT_EQ(std::string::npos, shown.find("longenough"));
	Type(*typed, "longenough\nlongenough\n");
	EXPECT_EQ(LoginOutcome::kLoggedIn, Hashed(*typed));
	EXPECT_EQ("hash:longenough", fAccounts.fAccounts["wren"].second);

	FakeTerminal ssh;
	auto asked = BeforeTheTerminal(ssh);
	// A password alone does not register a free name.
	EXPECT_EQ(LoginOutcome::kGoesOn, asked->PasswordGiven("Yew", "longenough"));
	EXPECT_EQ(LoginAnswer::kRefused, ssh.fAnswers.back());
	EXPECT_EQ(LoginOutcome::kGoesOn, asked->NameGiven("Yew"));
	EXPECT_EQ(LoginQuestions::kNewPassword, asked->Questions());
	EXPECT_EQ(LoginOutcome::kGoesOn,
		asked->RegistrationGiven("short", "short"));
	EXPECT_EQ(LoginAnswer::kAskAgain, ssh.fAnswers.back());
	EXPECT_EQ("A password has 8 to 128 characters.", ssh.fReasons.back());
	EXPECT_EQ(LoginOutcome::kGoesOn,
		asked->RegistrationGiven("longenough", "longenough"));
	EXPECT_EQ(LoginOutcome::kGoesOn, Hashed(*asked));
	EXPECT_EQ(LoginAnswer::kAdmitted, ssh.fAnswers.back());
	EXPECT_EQ(LoginOutcome::kLoggedIn, asked->TerminalOpened());
	EXPECT_EQ(BString("Yew"), asked->Name());
}


TEST_F(LoginTest, NameRegisteredMeanwhileIsAskedForAgainEitherWay)
{
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	Type(*typed, "Wren\nlongenough\nlongenough\n");
	FakeTerminal ssh;
	auto asked = BeforeTheTerminal(ssh);
	EXPECT_EQ(LoginOutcome::kGoesOn, asked->NameGiven("wren"));
	EXPECT_EQ(LoginOutcome::kGoesOn,
		asked->RegistrationGiven("longenough", "longenough"));
	ASSERT_EQ(2u, fLink.fHashes.size());
	auto first = fLink.fHashes[0];
	auto second = fLink.fHashes[1];
	fLink.fHashes.clear();
	EXPECT_EQ(LoginOutcome::kLoggedIn, typed->PasswordHashed(first.second));
	EXPECT_EQ(LoginOutcome::kGoesOn, asked->PasswordHashed(second.second));
	EXPECT_EQ(LoginAnswer::kRefused, ssh.fAnswers.back());
	EXPECT_EQ("Somebody registered that name just now.", ssh.fReasons.back());
	EXPECT_EQ(Login::Stage::kName, asked->CurrentStage());
}


TEST_F(LoginTest, AccountsThatCannotBeReadLetTheCallerGoEitherWay)
{
	fAccounts.fBroken = true;
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	EXPECT_EQ(LoginOutcome::kLetGo, Type(*typed, "Birch\n"));
	FakeTerminal ssh;
	auto given = BeforeTheTerminal(ssh);
	EXPECT_EQ(LoginOutcome::kLetGo, given->PasswordGiven("Birch", "x"));
	EXPECT_EQ(typed->Farewell(), given->Farewell());
	EXPECT_NE(std::string::npos,
		given->Farewell().find("cannot read its accounts"));
}


TEST_F(LoginTest, NewCallerGetsTheBoardsPromptAndAFreshTimeWhenTheTerminalOpens)
{
	FakeTerminal ssh;
	auto login = BeforeTheTerminal(ssh);
	EXPECT_EQ(LoginOutcome::kGoesOn, login->NameGiven("New"));
	EXPECT_EQ(LoginQuestions::kNoneNeeded, login->Questions());
	fLink.fNow += 50 * kSecond;
	EXPECT_EQ(LoginOutcome::kGoesOn, login->TerminalOpened());
	EXPECT_EQ(Login::Way::kAtThePrompt, login->CurrentWay());
	EXPECT_NE(std::string::npos, ssh.TakeShown().find("Name: "));
	EXPECT_EQ(LoginOutcome::kGoesOn,
		login->Tick(fLink.fNow + 59 * kSecond, 60 * kSecond));
	EXPECT_EQ(LoginOutcome::kLetGo,
		login->Tick(fLink.fNow + 60 * kSecond, 60 * kSecond));
	EXPECT_EQ("\nTime is up for logging in. Good-bye.\n", login->Farewell());
}


TEST_F(LoginTest, TerminalThatOpensBeforeTheVerdictLetsTheCallerGo)
{
	FakeTerminal ssh;
	auto login = BeforeTheTerminal(ssh);
	EXPECT_EQ(LoginOutcome::kGoesOn, login->PasswordGiven("Ash", "secret123"));
	EXPECT_EQ(LoginOutcome::kLetGo, login->TerminalOpened());
	EXPECT_EQ("", login->Farewell());
}


TEST_F(LoginTest, NamesOfOtherBoardsCannotBeRegisteredEitherWay)
{
	const std::string reason
		= "A name with an @ is another board's caller's; choose one without.";
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	EXPECT_EQ(LoginOutcome::kGoesOn, Type(*typed, "Ash@DARK\n"));
	EXPECT_EQ("Ash@DARK\n" + reason + "\nName: ", terminal.TakeShown());

	FakeTerminal ssh;
	auto given = BeforeTheTerminal(ssh);
	EXPECT_EQ(LoginOutcome::kGoesOn, given->NameGiven("Ash@DARK"));
	EXPECT_EQ(LoginQuestions::kNone, given->Questions());
	EXPECT_EQ(LoginOutcome::kGoesOn,
		given->PasswordGiven("Ash@DARK", "whatever1"));
	ASSERT_EQ(2u, ssh.fAnswers.size());
	for (size_t i = 0; i < 2; i++) {
		EXPECT_EQ(LoginAnswer::kRefused, ssh.fAnswers[i]);
		EXPECT_EQ(reason, ssh.fReasons[i]);
	}
	EXPECT_TRUE(fLink.fHashes.empty());

	// Refused as a name the rule refuses: tried time after time, the call
	// ends.
	for (int i = 1; i < 9; i++)
		EXPECT_EQ(LoginOutcome::kGoesOn, Type(*typed, "Ash@DARK\n"));
	EXPECT_EQ(LoginOutcome::kLetGo, Type(*typed, "Ash@DARK\n"));
}


TEST_F(LoginTest, VouchedNameIsLoggedInWithNoPasswordOnlyBeforeTheTerminal)
{
	FakeTerminal call;
	auto vouched = BeforeTheTerminal(call);
	EXPECT_EQ(LoginOutcome::kLoggedIn, vouched->Vouched("Ash@DARK"));
	EXPECT_EQ(BString("Ash@DARK"), vouched->Name());
	EXPECT_TRUE(fLink.fChecks.empty());
	EXPECT_TRUE(call.fAnswers.empty());
	EXPECT_EQ("", call.fShown);
	// Once is all: the name cannot change afterwards.
	EXPECT_EQ(LoginOutcome::kGoesOn, vouched->Vouched("Bo@DARK"));
	EXPECT_EQ(BString("Ash@DARK"), vouched->Name());

	// Nobody at the board's own prompt is vouched for.
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	EXPECT_EQ(LoginOutcome::kGoesOn, typed->Vouched("Ash"));
	EXPECT_EQ(Login::Stage::kName, typed->CurrentStage());
}


TEST_F(LoginTest, VouchedNameTheRuleRefusesLetsTheCallerGoWithItEscaped)
{
	FakeTerminal call;
	auto vouched = BeforeTheTerminal(call);
	EXPECT_EQ(LoginOutcome::kLetGo, vouched->Vouched("Bad/Name@DARK"));
	EXPECT_EQ(0u, vouched->Farewell().find(
		"\"Bad/Name@DARK\" cannot be a user name here: the name "));
	EXPECT_EQ('\n', vouched->Farewell().back());

	// A name that would drive the caller's terminal is told as text.
	FakeTerminal hostile;
	auto escaped = BeforeTheTerminal(hostile);
	EXPECT_EQ(LoginOutcome::kLetGo, escaped->Vouched("\x1b[2J@DARK"));
	EXPECT_EQ(std::string::npos, escaped->Farewell().find('\x1b'));
	EXPECT_NE(std::string::npos, escaped->Farewell().find("[2J@DARK"));
}


TEST_F(LoginTest, RefusedHandshakeWaitsOutItsPauseThenGoesWithItsNotice)
{
	const std::string key = "\1rlogin 192.0.2.9";
	const bigtime_t pauses[] = { kSecond, 2 * kSecond };
	for (bigtime_t pause : pauses) {
		FakeTerminal call("192.0.2.9");
		auto login = BeforeTheTerminal(call);
		login->HandshakeRefused(key, "No.\n");
		bigtime_t refused = fLink.fNow;
		// Nothing the call sends meanwhile takes the refusal back.
		EXPECT_EQ(LoginOutcome::kGoesOn, login->Vouched("Ash@DARK"));
		EXPECT_EQ(LoginOutcome::kGoesOn, login->PasswordGiven("Ash",
			"secret123"));
		EXPECT_TRUE(fLink.fChecks.empty());
		EXPECT_EQ(LoginOutcome::kGoesOn,
			login->Tick(refused + pause - 1, 60 * kSecond));
		EXPECT_EQ(LoginOutcome::kLetGo,
			login->Tick(refused + pause, 60 * kSecond));
		EXPECT_EQ("No.\n", login->Farewell());
		EXPECT_EQ("", call.fShown);
		EXPECT_TRUE(call.fAnswers.empty());
	}
	EXPECT_FALSE(fLimits.IsLocked(key, fLink.fNow));
}


TEST_F(LoginTest, LockThatFellWhileAtThePasswordRefusesTheGuessUncheckedEitherWay)
{
	// Both callers gave the name before the lock.
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	Type(*typed, "Ash\n");
	FakeTerminal ssh;
	auto given = BeforeTheTerminal(ssh);
	ASSERT_EQ(LoginOutcome::kGoesOn, given->NameGiven("Ash"));
	for (int i = 0; i < 10; i++)
		fLimits.Failed("ash", fLink.fNow);
	ASSERT_TRUE(fLimits.IsLocked("ash", fLink.fNow));
	terminal.TakeShown();

	// The right password is not even checked while the lock holds.
	Type(*typed, "secret123\n");
	EXPECT_TRUE(fLink.fChecks.empty());
	EXPECT_EQ("\nThat name is locked after too many failed logins; try again"
		" later.\nName: ", terminal.TakeShown());
	EXPECT_EQ(LoginOutcome::kGoesOn, given->PasswordGiven("Ash", "secret123"));
	EXPECT_TRUE(fLink.fChecks.empty());
	EXPECT_EQ(LoginAnswer::kRefused, ssh.fAnswers.back());

	// Once the lock is over the right password logs in.
	fLink.fNow += 601 * kSecond;
	Type(*typed, "Ash\nsecret123\n");
	EXPECT_EQ(LoginOutcome::kLoggedIn, Checked(*typed));
}


TEST_F(LoginTest, GuessesSentAtOnceAreCheckedNoMoreThanTheNameAllows)
{
	std::vector<std::unique_ptr<FakeTerminal>> terminals;
	std::vector<std::unique_ptr<Login>> logins;
	for (int i = 0; i < 12; i++) {
		terminals.push_back(std::make_unique<FakeTerminal>());
		logins.push_back(AtThePrompt(*terminals.back()));
		Type(*logins.back(), "Ash\n");
	}
	for (auto& login : logins)
		Type(*login, "wrong-guess\n");
	// Ten checks under way, none answered yet; the other two are refused.
	EXPECT_EQ(10u, fLink.fChecks.size());
	EXPECT_EQ(10, fLimits.ChecksUnderWay("ash"));
	EXPECT_NE(std::string::npos, terminals[11]->TakeShown().find("locked"));

	// A caller who hangs up while checked gives the check back.
	logins[0].reset();
	EXPECT_EQ(9, fLimits.ChecksUnderWay("ash"));
	for (int i = 1; i < 10; i++)
		EXPECT_EQ(LoginOutcome::kGoesOn, logins[i]->PasswordChecked(false));
	EXPECT_EQ(0, fLimits.ChecksUnderWay("ash"));
	EXPECT_FALSE(fLimits.IsLocked("ash", fLink.fNow));
}


TEST_F(LoginTest, NameWithACharacterAndNoAccountIsNotFreeEitherWay)
{
	fLink.fCharacters.insert("rowan");
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	Type(*typed, "ROWAN\n");
	EXPECT_EQ("ROWAN\nThat name is taken; choose another.\nName: ",
		terminal.TakeShown());
	FakeTerminal ssh;
	auto given = BeforeTheTerminal(ssh);
	EXPECT_EQ(LoginOutcome::kGoesOn, given->NameGiven("Rowan"));
	EXPECT_EQ(LoginAnswer::kRefused, ssh.fAnswers.back());
	EXPECT_EQ("That name is taken; choose another.", ssh.fReasons.back());
	EXPECT_EQ(0u, fAccounts.fAccounts.count("rowan"));

	// A character made while the hash was made keeps its name too.
	Type(*typed, "Holly\nlongenough\nlongenough\n");
	fLink.fCharacters.insert("holly");
	EXPECT_EQ(LoginOutcome::kGoesOn, Hashed(*typed));
	EXPECT_EQ(0u, fAccounts.fAccounts.count("holly"));

	// With an account the name logs in as any other.
	fAccounts.fAccounts["rowan"] = { BString("Rowan"), "hash:longenough" };
	Type(*typed, "Rowan\nlongenough\n");
	EXPECT_EQ(LoginOutcome::kLoggedIn, Checked(*typed));
}


TEST_F(LoginTest, PasswordIsTheBytesTypedBeyondAsciiEitherWay)
{
	const std::string utf8 = "p\xc3\xa4sswo\xcc\x88rd\xe2\x9c\x93";
	FakeTerminal terminal;
	auto typed = AtThePrompt(terminal);
	Type(*typed, "Wren\n" + utf8 + "\n" + utf8 + "\n");
	EXPECT_EQ(LoginOutcome::kLoggedIn, Hashed(*typed));
	EXPECT_EQ("hash:" + utf8, fAccounts.fAccounts["wren"].second);
	EXPECT_EQ(std::string::npos, terminal.TakeShown().find("\xc3"));

	FakeTerminal ssh;
	auto given = BeforeTheTerminal(ssh);
	EXPECT_EQ(LoginOutcome::kGoesOn, given->PasswordGiven("Wren", utf8));
	EXPECT_EQ(LoginOutcome::kGoesOn, Checked(*given));
	EXPECT_EQ(LoginAnswer::kAdmitted, ssh.fAnswers.back());
}


TEST_F(LoginTest, PasswordALineWouldAlterIsRefusedAloudAtRegistration)
{
	FakeTerminal terminal;
	terminal.fCarriesEightBits = false;
	auto typed = AtThePrompt(terminal);
	Type(*typed, "Wren\n");
	terminal.TakeShown();
	Type(*typed, "p\xc3\xa4sswort\n");
	EXPECT_EQ("\nThis line cannot carry characters beyond plain ASCII"
		" unchanged; choose a password without them.\nChoose a password: ",
		terminal.TakeShown());
	// Keys that no other way in sends alike (Tab, an arrow's Esc).
	Type(*typed, "pass\tword\n");
	EXPECT_EQ("\nA password cannot hold control keys (such as Tab or Esc)."
		"\nChoose a password: ", terminal.TakeShown());
	Type(*typed, "plainword\nplainword\n");
	EXPECT_EQ(LoginOutcome::kLoggedIn, Hashed(*typed));

	FakeTerminal ssh;
	auto asked = BeforeTheTerminal(ssh);
	ASSERT_EQ(LoginOutcome::kGoesOn, asked->NameGiven("Yew"));
	EXPECT_EQ(LoginOutcome::kGoesOn,
		asked->RegistrationGiven("pass\x1bword", "pass\x1bword"));
	EXPECT_EQ(LoginAnswer::kAskAgain, ssh.fAnswers.back());
	EXPECT_TRUE(fLink.fHashes.empty());
}
