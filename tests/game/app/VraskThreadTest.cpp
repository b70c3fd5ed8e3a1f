#include "ShellTest.h"

#include <VraskPaths.h>

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <sstream>


namespace {


typedef ShellTest VraskThreadTest;


// The value of a player file's line (1 to 14) as a number.
long
StoredNumber(const std::string& file, int line)
{
	std::istringstream input(file);
	std::string text;
	for (int i = 0; i < line; i++)
		std::getline(input, text);
	return strtol(text.c_str(), NULL, 10);
}


TEST_F(VraskThreadTest, KillInTheCavesEndsTheSessionWithoutAnotherPrompt)
{
	// Every cave holds one monster that always hits, against a character
	// with one hit point that can never hurt it.
	std::string monsters;
	for (int level = 1; level <= 10; level++)
		monsters += "#1\nCave Troll,Crushing Club,50,10000,10000,1,1\n";
	fVolume.WriteFile(kMonstersFile, monsters);

	StoredPlayer weak;
	weak.name = "Weak";
	weak.weaponStr = "0";
	weak.armorStr = "0";
	weak.maxHP = "1";
	weak.hp = "1";
	weak.str = "1";
	weak.def = "1";
	WritePlayer("Weak", weak.Text());

	std::string keys = "c";
	for (int fight = 0; fight < 15; fight++)
		keys += "fa";
	std::vector<std::string> texts = fDoor.Play("Weak", keys);

	// The last turn is a fight that ends with the troll's blow, and the
	// death is told at once, with no prompt after it.
	ASSERT_GE(texts.size(), 4u) << Describe(texts);
	std::string prompt = PromptLine("Weak", "Caves", 1)[0];
	size_t lastPrompt = texts.size();
	while (lastPrompt > 0 && texts[lastPrompt - 1] != prompt)
		lastPrompt--;
	ASSERT_GT(lastPrompt, 0u) << Describe(texts);
	EXPECT_EQ(texts[lastPrompt], "f");
	EXPECT_EQ(texts[lastPrompt + 1], "ind a beastie");
	EXPECT_EQ(texts[texts.size() - 2], " HP.") << Describe(texts);
	EXPECT_EQ(texts.back(), "\n You've been killed!  Try again tomorrow!")
		<< Describe(texts);

	std::string file = ReadPlayer("Weak");
	EXPECT_LT(StoredNumber(file, 8), 1) << file;
}


TEST_F(VraskThreadTest, HangUpDuringACommandKeepsTheFileAsSavedBeforeIt)
{
	StoredPlayer player;
	player.name = "Sev";
	player.level = "7";
	player.maxHP = "20";
	player.hp = "5";
	// The loop's save writes the gold back in the game's own form, which
	// shows that the file is the one saved before the command.
	player.gold = "015";
	WritePlayer("Sev", player.Text());

	// The host hangs up on the text that reports the heal, the 11th.
	fDoor.Host().QuitAfterTexts("Sev", 10);
	std::vector<std::string> texts = fDoor.Play("Sev", "ha");

	std::vector<std::string> expected = Concatenated({Greeting(),
		WelcomeBack("Sev"),
		PromptLine("Sev", "Town"), {"h", "ealer"},
		PromptLine("Sev", "Healers"), {"a", "\bHeal All.", "\nHealed "}});
	EXPECT_EQ(Describe(texts), Describe(expected));

	player.gold = "15";
	EXPECT_EQ(ReadPlayer("Sev"), player.Text());
}


TEST_F(VraskThreadTest, SaveRefusedByTheDiskIsToldAndThePlayGoesOn)
{
	StoredPlayer player;
	player.name = "Sev";
	// Written back as "15" by every save, so that each save has to write.
	player.gold = "015";
	WritePlayer("Sev", player.Text());
	const rlim_t kRoom = 20;
	ASSERT_GT(player.Text().size(), kRoom);

	// The door may write no file beyond a few bytes, as on a full disk; its
	// thread names still fit in the listing of threads.
	rlimit before;
	ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &before));
	rlimit full = before;
	full.rlim_cur = kRoom;
	sighandler_t signalBefore = signal(SIGXFSZ, SIG_IGN);
	ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &full));
	status_t started = fDoor.StartDoor();
	setrlimit(RLIMIT_FSIZE, &before);
	signal(SIGXFSZ, signalBefore);
	ASSERT_EQ(B_OK, started);

	ASSERT_EQ(B_OK, fDoor.Enter("Sev", "sq"));
	int exitCode = -1;
	ASSERT_EQ(B_OK, fDoor.WaitForDoorExit(&exitCode));
	EXPECT_EQ(0, exitCode);
	std::vector<std::string> texts = fDoor.Host().Texts("Sev");

	// Told at every save that the disk refused, before the prompt and at
	// the end; the game itself goes on as ever.
	const std::vector<std::string> refused = {"\nThe game could not be saved."};
	player.gold = "15";
	std::vector<std::string> expected = Concatenated({Greeting(),
		WelcomeBack("Sev"), refused,
		PromptLine("Sev", "Town"), {"s", "tatus"},
		StatusScreen(player, "32", "2", "2"), refused,
		PromptLine("Sev", "Town"), {"q", "uit"}, refused});
	EXPECT_EQ(Describe(texts), Describe(expected));

	// The file keeps the record it held, whole.
	player.gold = "015";
	EXPECT_EQ(ReadPlayer("Sev"), player.Text());
}


TEST_F(VraskThreadTest, HangUpAtThePromptKeepsTheCommandsBeforeIt)
{
	StoredPlayer player;
	player.name = "Sev";
	player.level = "7";
	player.maxHP = "20";
	player.hp = "5";
	player.gold = "40";
	WritePlayer("Sev", player.Text());

	// The keys run out at the third prompt: the host reports the user gone.
	std::vector<std::string> texts = fDoor.Play("Sev", "ha");

	ASSERT_FALSE(texts.empty());
	EXPECT_EQ(texts.back(), PromptLine("Sev", "Healers")[0]);
	player.gold = "25";
	player.hp = "20";
	EXPECT_EQ(ReadPlayer("Sev"), player.Text());
}


TEST_F(VraskThreadTest, CharacterDeadYesterdayPlaysAgainToday)
{
	StoredPlayer player;
	player.name = "Lazarus";
	player.hp = "-3";
	player.fights = "0";
	player.lastDay = "20000101";
	WritePlayer("Lazarus", player.Text());

	std::vector<std::string> texts = fDoor.Play("Lazarus", "q");

	std::vector<std::string> expected = Concatenated({Greeting(),
		WelcomeBack("Lazarus"), PromptLine("Lazarus", "Town"), {"q", "uit"}});
	EXPECT_EQ(Describe(texts), Describe(expected));
	player.hp = "10";
	player.fights = "15";
	player.lastDay = TodayNumber();
	EXPECT_EQ(ReadPlayer("Lazarus"), player.Text());
}


TEST_F(VraskThreadTest, QuitEndsTheGameInEveryPlaceAndSaves)
{
	struct Case {
		const char*	keys;
		const char*	place;
	} cases[] = {
		{"q", "Town"}, {"Q", "Town"},
		{"cq", "Caves"}, {"cQ", "Caves"},
		{"bq", "Blacksmith"}, {"bQ", "Blacksmith"},
		{"hq", "Healers"}, {"hQ", "Healers"},
	};
	const char* arrivals[] = {"aves", "lacksmith", "ealer"};

	int game = 0;
	for (const Case& test : cases) {
		SCOPED_TRACE(test.keys);
		// Every game is another user's, with a player file of yesterday.
		std::string user = "Quinn" + std::to_string(++game);
		StoredPlayer player;
		player.name = "Quinn";
		player.gold = "7";
		player.lastDay = "20000101";
		WritePlayer(user, player.Text());

		std::vector<std::string> texts = fDoor.Play(user, test.keys);

		std::vector<std::string> expected = Concatenated({Greeting(),
			WelcomeBack("Quinn"), PromptLine("Quinn", "Town")});
		std::string keys = test.keys;
		if (keys.size() == 2) {
			expected.push_back(keys.substr(0, 1));
			expected.push_back(arrivals[keys[0] == 'c' ? 0
				: keys[0] == 'b' ? 1 : 2]);
			std::vector<std::string> prompt
				= PromptLine("Quinn", test.place, 1);
			expected.insert(expected.end(), prompt.begin(), prompt.end());
		}
		expected.push_back(keys.substr(keys.size() - 1));
		expected.push_back("uit");
		EXPECT_EQ(Describe(texts), Describe(expected));

		// The daily reset reaches the file through the session's saves.
		player.lastDay = TodayNumber();
		EXPECT_EQ(ReadPlayer(user), player.Text());
	}
}


TEST_F(VraskThreadTest, HealerChargesNothingUpToLevelFour)
{
	for (int level = 1; level <= 4; level++) {
		SCOPED_TRACE(level);
		std::string user = "Penny" + std::to_string(level);
		StoredPlayer player;
		player.name = "Penny";
		player.level = std::to_string(level);
		player.gold = "0";
		player.maxHP = "30";
		player.hp = "12";
		WritePlayer(user, player.Text());

		std::vector<std::string> texts = fDoor.Play(user, "haq");

		std::vector<std::string> expected = Concatenated({Greeting(),
			WelcomeBack("Penny"),
			PromptLine("Penny", "Town"), {"h", "ealer"},
			PromptLine("Penny", "Healers"), {"a", "\bHeal All.",
				"\nHealed ", "18", " HP for ", "0", " gold."},
			PromptLine("Penny", "Healers"), {"q", "uit"}});
		EXPECT_EQ(Describe(texts), Describe(expected));
		player.hp = "30";
		EXPECT_EQ(ReadPlayer(user), player.Text());
	}
}


TEST_F(VraskThreadTest, TwentyFourUsersPlayAtOnceInOneDoor)
{
	const int kUsers = 24;
	std::vector<std::string> users;
	std::vector<StoredPlayer> before;
	for (int i = 0; i < kUsers; i++) {
		char name[16];
		snprintf(name, sizeof(name), "%s%02d", i % 2 == 0 ? "New" : "Old", i);
		users.push_back(name);

		StoredPlayer player;
		if (i % 2 != 0) {
			// Returning players at level 7 who buy 15 hit points each.
			player.name = std::string("Hero ") + name;
			player.level = "7";
			player.maxHP = "20";
			player.hp = "5";
			player.gold = std::to_string(20 + i);
			WritePlayer(name, player.Text());
		}
		before.push_back(player);
	}

	ASSERT_EQ(fDoor.StartDoor(), B_OK);
	// No session gets past its first key until every user has entered, so
	// the door cannot run out of users half way; then all play at once.
	for (int i = 0; i < kUsers; i++) {
		std::string keys = i % 2 == 0
			? "Hero " + users[i] + "\nysq" : std::string("hasq");
		fDoor.Host().HoldKeys(users[i]);
		ASSERT_EQ(fDoor.Enter(users[i], keys), B_OK) << users[i];
	}
	for (int i = 0; i < kUsers; i++)
		ASSERT_TRUE(fDoor.Host().WaitUntilAsked(users[i], 20000000)) << users[i];
	for (int i = 0; i < kUsers; i++)
		fDoor.Host().ReleaseKeys(users[i]);

	int exitCode = -1;
	ASSERT_EQ(fDoor.WaitForDoorExit(&exitCode, 60000000), B_OK);
	EXPECT_EQ(exitCode, 0);

	for (int i = 0; i < kUsers; i++) {
		SCOPED_TRACE(users[i]);
		std::string hero = "Hero " + users[i];
		StoredPlayer after = before[i];
		std::vector<std::string> expected = Greeting();
		if (i % 2 == 0) {
			std::vector<std::string> echoes;
			AppendEchoes(echoes, hero + "\n");
			after.name = hero;
			expected = Concatenated({expected,
				{"\n\nIt looks like you're new here.\n",
					"\nWhat name would you like? [", users[i], "] : "},
				echoes, {"\n[", hero, "] is this correct?", "y"},
				PromptLine(hero, "Town"), {"s", "tatus"},
				StatusScreen(after, "32", "2", "2"),
				PromptLine(hero, "Town"), {"q", "uit"}});
		} else {
			after.gold = std::to_string(5 + i);
			after.hp = "20";
			expected = Concatenated({expected, WelcomeBack(hero),
				PromptLine(hero, "Town"), {"h", "ealer"},
				PromptLine(hero, "Healers"), {"a", "\bHeal All.",
					"\nHealed ", "15", " HP for ", "15", " gold."},
				PromptLine(hero, "Healers"), {"s", "tatus"},
				StatusScreen(after, "2048", "2", "2"),
				PromptLine(hero, "Healers"), {"q", "uit"}});
		}
		EXPECT_EQ(Describe(fDoor.Host().Texts(users[i])), Describe(expected));
		EXPECT_EQ(ReadPlayer(users[i]), after.Text());
	}
}


}	// namespace
