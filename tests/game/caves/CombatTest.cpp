// Whole cave fights of the Drelmoor program against the scripted host. The
// door seeds its random numbers with the frozen clock, so a fight goes the
// same way at every run; each test picks the second whose draws give the
// outcome it is about, and the expected texts are the caves' own.

#include "ShellTest.h"

#include "VraskPaths.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>


namespace {

const char* const kFightKey = "ind a beastie";
const char* const kCavesClosed = "\n The caves are closed for repairs today.  "
	"Not a beastie stirs down there, so this fight does not count.";


// The first second of the frozen hour at whose seed the door's draws meet
// the condition. The condition walks the draws in the caves' order.
uint32
FindSecond(const std::function<bool()>& draws)
{
	for (uint32 second = kFrozenSecond; second < kFrozenSecond + 3600;
			second++) {
		srand(second);
		if (draws())
			return second;
	}
	ADD_FAILURE() << "no second of the hour gives the draws";
	return kFrozenSecond;
}


// The draws of a monster on cave level 1 that stays on its level; true for
// the marker of a special event.
bool
DrawOnTopLevel(bool* specialEvent)
{
	if (rand() % 100 >= 98)
		return false;
	*specialEvent = rand() % 15 == 0;
	return true;
}


bool
OrdinaryMonsterOnTopLevel()
{
	bool specialEvent;
	return DrawOnTopLevel(&specialEvent) && !specialEvent;
}


std::function<bool()>
LuckyEventOnTopLevel(int event)
{
	return [event]() {
		bool specialEvent;
		return DrawOnTopLevel(&specialEvent) && specialEvent
			&& rand() % 5 == event;
	};
}


// A monster of one hit point, strength 1 and defense 1, drawn on level 1 and
// hit by a blow of power 9 that the player's first landing blow kills;
// true when that blow does at least 7 damage. The monster's blows of
// strength 1 never land, and take three draws each.
std::function<bool()>
KillingBlowOnTopLevel(bool critical)
{
	return [critical]() {
		if (!OrdinaryMonsterOnTopLevel())
			return false;
		rand();		// the only monster of the section
		for (;;) {
			int powerRoll = rand() % 9;
			rand();
			int dealt = powerRoll > 0 ? rand() % powerRoll : 0;
			rand();
			rand();
			rand();
			if (dealt > 0)
				return (dealt >= 7) == critical;
		}
	};
}


std::string
EveryLevel(const std::string& section)
{
	std::string file;
	for (int level = 1; level <= 10; level++)
		file += "#" + section;
	return file;
}


std::vector<std::string>
Join(std::initializer_list<std::vector<std::string>> parts)
{
	std::vector<std::string> result;
	for (const std::vector<std::string>& part : parts)
		result.insert(result.end(), part.begin(), part.end());
	return result;
}


// The fight screen at the start of a round.
std::vector<std::string>
FightScreen(const std::string& monster, const std::string& monsterHP,
	const std::string& name, const std::string& hp, const std::string& maxHP)
{
	return {"\n\n{ ", monster, " } ", monsterHP, " HP", "\n[", name, "] ", hp,
		"/", maxHP, "\n\nWhat will you do?"};
}


// The value on a line (1 to 14) of a player file.
std::string
StoredLine(const std::string& file, int line)
{
	size_t start = 0;
	for (int skip = 1; skip < line; skip++)
		start = file.find('\n', start) + 1;
	return file.substr(start, file.find('\n', start) - start);
}


class CombatTest : public testing::Test {
protected:
	CombatTest()
	{
		fVolume.MakeFolder(kUsersFolder);
	}

	// Plays the user's keys with the door's clock frozen at the second.
	std::vector<std::string> Play(uint32 second, const std::string& user,
		const std::string& keys)
	{
		FrozenClock clock(second);
		DoorSession door;
		return door.Play(user, keys);
	}

	void WritePlayer(const std::string& user, const StoredPlayer& player)
	{
		fVolume.WriteFile(PlayerPath(user).c_str(), player.Text());
	}

	std::string ReadPlayer(const std::string& user)
	{
		return fVolume.ReadFile(PlayerPath(user).c_str());
	}

	// Plays the keys as Play does, but the user's line drops on the first
	// text that begins with dropOn: the host answers it that the user is
	// gone, and the session ends there, saving nothing more. A first whole
	// run at the same second finds that text; the player file is the
	// stored one at the start of each run.
	std::vector<std::string> PlayDroppingOn(uint32 second,
		const std::string& user, const StoredPlayer& stored,
		const std::string& keys, const std::string& dropOn)
	{
		WritePlayer(user, stored);
		std::vector<std::string> whole = Play(second, user, keys);
		auto drop = std::find_if(whole.begin(), whole.end(),
			[&dropOn](const std::string& text) {
				return text.compare(0, dropOn.size(), dropOn) == 0;
			});
		if (drop == whole.end()) {
			ADD_FAILURE() << "no text begins with " << Describe({dropOn})
				<< Describe(whole);
			return whole;
		}

		WritePlayer(user, stored);
		FrozenClock clock(second);
		DoorSession door;
		door.Host().QuitAfterTexts(user, (int32)(drop - whole.begin()));
		std::vector<std::string> texts = door.Play(user, keys);
		EXPECT_EQ(std::vector<std::string>(whole.begin(), drop + 1), texts);
		return texts;
	}

	// The pieces of the fight command's output: after the completion of the
	// fight key, up to the next prompt line.
	static std::vector<std::string> FightPieces(
		const std::vector<std::string>& texts, int fight = 1)
	{
		std::vector<std::string> pieces;
		int seen = 0;
		bool inFight = false;
		for (const std::string& text : texts) {
			if (inFight) {
				if (text.rfind("\n<", 0) == 0)
					break;
				pieces.push_back(text);
			} else if (text == kFightKey && ++seen == fight)
				inFight = true;
		}
		return pieces;
	}

	TestVolume			fVolume;
};


StoredPlayer
Hero(const std::string& name)
{
	StoredPlayer player;
	player.name = name;
	return player;
}

}	// namespace


TEST_F(CombatTest, NoFightLeftOnlyTellsThePlayerHeIsTired)
{
	// No monsters file: a monster drawn would close the caves.
	StoredPlayer tired = Hero("Tired");
	tired.fights = "0";
	WritePlayer("Tired", tired);

	std::vector<std::string> texts = Play(kFrozenSecond, "Tired", "cfq");

	EXPECT_EQ(FightPieces(texts), std::vector<std::string>(
		{"\n You are far too tired to do this all day, you know."}))
		<< Describe(texts);
	EXPECT_EQ("0", StoredLine(ReadPlayer("Tired"), 13));
}


TEST_F(CombatTest, MissingMonstersFileClosesTheCavesAndGivesTheFightBack)
{
	WritePlayer("Early", Hero("Early"));
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	std::vector<std::string> texts = Play(second, "Early", "cfq");

	EXPECT_EQ(FightPieces(texts), std::vector<std::string>({kCavesClosed}))
		<< Describe(texts);
	EXPECT_EQ("15", StoredLine(ReadPlayer("Early"), 13));
}


TEST_F(CombatTest, SectionWithoutMonstersClosesTheCaves)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("0\nRat,Bite,5,5,5,5,5\n"));
	WritePlayer("Early", Hero("Early"));
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	std::vector<std::string> texts = Play(second, "Early", "cfq");

	EXPECT_EQ(FightPieces(texts), std::vector<std::string>({kCavesClosed}))
		<< Describe(texts);
	EXPECT_EQ("15", StoredLine(ReadPlayer("Early"), 13));
}


TEST_F(CombatTest, RunningEndsTheFightAtOnceAndKeepsItSpent)
{
	fVolume.WriteFile(kMonstersFile,
		EveryLevel("1\nCave Newt,Tail Slap,12,4,3,10,5\n"));
	WritePlayer("Coward", Hero("Coward"));
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	std::vector<std::string> texts = Play(second, "Coward", "cfrq");

	EXPECT_EQ(FightPieces(texts), Join({
		{"\nYou are fighting a viscious looking ", "Cave Newt", "."},
		FightScreen("Cave Newt", "12", "Coward", "10", "10"),
		{"r", "Run!"}})) << Describe(texts);
	std::string file = ReadPlayer("Coward");
	EXPECT_EQ("10", StoredLine(file, 8));
	EXPECT_EQ("14", StoredLine(file, 13));
}


TEST_F(CombatTest, OtherKeysShowTheChoicesWithoutAnyBlow)
{
	fVolume.WriteFile(kMonstersFile,
		EveryLevel("1\nCave Newt,Tail Slap,12,4,3,10,5\n"));
	WritePlayer("Dither", Hero("Dither"));
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	std::vector<std::string> texts = Play(second, "Dither", "cfx\rRq");

	EXPECT_EQ(FightPieces(texts), Join({
		{"\nYou are fighting a viscious looking ", "Cave Newt", "."},
		FightScreen("Cave Newt", "12", "Dither", "10", "10"),
		{"x", "???\n (A)ttack\n (R)un"},
		FightScreen("Cave Newt", "12", "Dither", "10", "10"),
		{"\r", "???\n (A)ttack\n (R)un"},
		FightScreen("Cave Newt", "12", "Dither", "10", "10"),
		{"R", "Run!"}})) << Describe(texts);
}


TEST_F(CombatTest, CriticalHitSpraysTheMonsterAcrossTheGround)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nPaper Golem,Papercut,1,1,1,3,4\n"));
	WritePlayer("Ace", Hero("Ace"));
	uint32 second = FindSecond(KillingBlowOnTopLevel(true));

	std::vector<std::string> texts = Play(second, "Ace", "cfaq");

	EXPECT_EQ(FightPieces(texts), Join({
		{"\nYou are fighting a viscious looking ", "Paper Golem", "."},
		FightScreen("Paper Golem", "1", "Ace", "10", "10"),
		{"a", "Attack!",
			"\n\n***CRITICAL HIT!!!***\n You strike the Paper Golem with skill "
			"so great you startle even yourself.\n\n  7 hp are sprayed across "
			"the ground, splattered by your mighty Moderately Sharp Playing "
			"Card.",
			"\n  You killed the ", "Paper Golem", "!\n Got ", "3", " XP and ",
			"4", " gold."}})) << Describe(texts);
	std::string file = ReadPlayer("Ace");
	EXPECT_EQ("104", StoredLine(file, 6));
	EXPECT_EQ("3", StoredLine(file, 10));
}


TEST_F(CombatTest, KillPaysGoldThenExperienceAndShowsTheNewLevel)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nPaper Golem,Papercut,1,1,1,5,7\n"));
	StoredPlayer nearly = Hero("Nearly");
	nearly.xp = "30";
	nearly.hp = "9";
	WritePlayer("Nearly", nearly);
	uint32 second = FindSecond(KillingBlowOnTopLevel(false));

	std::vector<std::string> texts = Play(second, "Nearly", "cfaq");

	std::vector<std::string> pieces = FightPieces(texts);
	ASSERT_GT(pieces.size(), 23u) << Describe(texts);
	// The blow: 1 to 6 of the 9 a new character strikes with.
	const std::string dealt = pieces[22];
	EXPECT_TRUE(dealt >= "1" && dealt <= "6" && dealt.size() == 1) << dealt;

	StoredPlayer promoted = nearly;
	promoted.level = "2";
	promoted.maxHP = "15";
	promoted.hp = "13";
	promoted.xp = "35";
	promoted.str = "8";
	promoted.def = "8";
	promoted.gold = "107";
	promoted.fights = "14";
	EXPECT_EQ(pieces, Join({
		{"\nYou are fighting a viscious looking ", "Paper Golem", "."},
		FightScreen("Paper Golem", "1", "Nearly", "9", "10"),
		{"a", "Attack!", "\n\nYou hit the ", "Paper Golem", " with your ",
			"Moderately Sharp Playing Card", " for ", dealt, " HP.",
			"\n  You killed the ", "Paper Golem", "!\n Got ", "5", " XP and ",
			"7", " gold.", "\n You gained a level!\n"},
		StatusScreen(promoted, "64", "2", "2")})) << Describe(texts);
	EXPECT_EQ(promoted.Text(), ReadPlayer("Nearly"));
}


TEST_F(CombatTest, MissIsFollowedByTheMonstersStrike)
{
	// The player can hardly ever get through this hide, and the monster's
	// blows nearly always do.
	fVolume.WriteFile(kMonstersFile,
		EveryLevel("1\nIron Tortoise,Shell Bash,100,100000,1000000,1,1\n"));
	StoredPlayer tank = Hero("Tank");
	tank.maxHP = "1000000";
	tank.hp = "1000000";
	WritePlayer("Tank", tank);
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	std::vector<std::string> texts = Play(second, "Tank", "cfarq");

	std::string hp = StoredLine(ReadPlayer("Tank"), 8);
	std::string taken = std::to_string(1000000 - atoi(hp.c_str()));
	EXPECT_EQ(FightPieces(texts), Join({
		{"\nYou are fighting a viscious looking ", "Iron Tortoise", "."},
		FightScreen("Iron Tortoise", "100", "Tank", "1000000", "1000000"),
		{"a", "Attack!", "\n\nYou missed the ", "Iron Tortoise",
			".  Don't you look foolish.", "\n", "Iron Tortoise",
			" strikes with its ", "Shell Bash", " for ", taken, " HP."},
		FightScreen("Iron Tortoise", "100", "Tank", hp, "1000000"),
		{"r", "Run!"}})) << Describe(texts);
	EXPECT_NE("0", taken);
}


TEST_F(CombatTest, HitThatDoesNotKillIsFollowedByTheMonsterStumbling)
{
	// Strength 1 never gets through; defense 1 never stops a blow.
	fVolume.WriteFile(kMonstersFile,
		EveryLevel("1\nSleepy Blob,Yawn,1000,1,1,1,1\n"));
	WritePlayer("Poke", Hero("Poke"));
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	std::vector<std::string> texts = Play(second, "Poke", "cfarq");

	std::vector<std::string> pieces = FightPieces(texts);
	ASSERT_GT(pieces.size(), 30u) << Describe(texts);
	const std::string dealt = pieces[22];
	EXPECT_EQ(pieces, Join({
		{"\nYou are fighting a viscious looking ", "Sleepy Blob", "."},
		FightScreen("Sleepy Blob", "1000", "Poke", "10", "10"),
		{"a", "Attack!", "\n\nYou hit the ", "Sleepy Blob", " with your ",
			"Moderately Sharp Playing Card", " for ", dealt, " HP.", "\n",
			"Sleepy Blob", " stumbles around flailing miserably."},
		FightScreen("Sleepy Blob", std::to_string(1000 - atoi(dealt.c_str())),
			"Poke", "10", "10"),
		{"r", "Run!"}})) << Describe(texts);
}


TEST_F(CombatTest, ExchangeInWhichNeitherSideCanHurtEndsAsAMissAndAStumble)
{
	// A hand-edited player whose blows have a power of 2, against a monster
	// of strength 2: neither can ever do damage.
	fVolume.WriteFile(kMonstersFile,
		EveryLevel("1\nPillow Fiend,Feather Flurry,50,2,1,1,1\n"));
	StoredPlayer feeble = Hero("Feeble");
	feeble.weaponStr = "0";
	feeble.str = "1";
	WritePlayer("Feeble", feeble);
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	std::vector<std::string> texts = Play(second, "Feeble", "cfaarq");

	std::vector<std::string> round = {"\n\nYou missed the ", "Pillow Fiend",
		".  Don't you look foolish.", "\n", "Pillow Fiend",
		" stumbles around flailing miserably."};
	EXPECT_EQ(FightPieces(texts), Join({
		{"\nYou are fighting a viscious looking ", "Pillow Fiend", "."},
		FightScreen("Pillow Fiend", "50", "Feeble", "10", "10"),
		{"a", "Attack!"}, round,
		FightScreen("Pillow Fiend", "50", "Feeble", "10", "10"),
		{"a", "Attack!"}, round,
		FightScreen("Pillow Fiend", "50", "Feeble", "10", "10"),
		{"r", "Run!"}})) << Describe(texts);
}


TEST_F(CombatTest, SparklingPoolHealsWhatIsMissingAndCostsNoFight)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nRat,Bite,5,5,5,5,5\n"));
	StoredPlayer hurt = Hero("Hurt");
	hurt.hp = "4";
	WritePlayer("Hurt", hurt);

	std::vector<std::string> texts = Play(FindSecond(LuckyEventOnTopLevel(0)),
		"Hurt", "cfq");

	EXPECT_EQ(FightPieces(texts), std::vector<std::string>({
		"\n\n***Special Event!***\n\n",
		"You find a sparkling pool deep in the caverns.  Its subtle beauty "
			"refreshes you.",
		"\n\nYou heal ", "6", " HP.", "\n"})) << Describe(texts);
	std::string file = ReadPlayer("Hurt");
	EXPECT_EQ("10", StoredLine(file, 8));
	EXPECT_EQ("15", StoredLine(file, 13));
}


TEST_F(CombatTest, AppleTreeGivesThreeMoreFights)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nRat,Bite,5,5,5,5,5\n"));
	WritePlayer("Hungry", Hero("Hungry"));

	std::vector<std::string> texts = Play(FindSecond(LuckyEventOnTopLevel(1)),
		"Hungry", "cfq");

	EXPECT_EQ(FightPieces(texts), std::vector<std::string>({
		"\n\n***Special Event!***\n\n",
		"You find a luscious-looking cave-apple tree.  After eating all the "
			"apples on the tree, you feel like you could take on the world!"
			"\n\nYou gain 3 cave fights!",
		"\n"})) << Describe(texts);
	EXPECT_EQ("18", StoredLine(ReadPlayer("Hungry"), 13));
}


TEST_F(CombatTest, MonkTrainsUpToTheCharactersLevelInStrength)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nRat,Bite,5,5,5,5,5\n"));
	StoredPlayer pupil = Hero("Pupil");
	pupil.level = "4";
	pupil.str = "13";
	WritePlayer("Pupil", pupil);

	std::vector<std::string> texts = Play(FindSecond(LuckyEventOnTopLevel(2)),
		"Pupil", "cfq");

	std::string file = ReadPlayer("Pupil");
	int gained = atoi(StoredLine(file, 11).c_str()) - 13;
	EXPECT_GE(gained, 1);
	EXPECT_LE(gained, 4);
	EXPECT_EQ(FightPieces(texts), std::vector<std::string>({
		"\n\n***Special Event!***\n\n",
		"You happen upon a lonely monk who offers to train you in the "
			"fighting arts.  After several hours of moving rocks and standing "
			"on your head you feel more than just a little silly.  When you "
			"get done with your last exercise of covering your eyes, you find "
			"that the monk has left.\n\nYou gain " + std::to_string(gained)
			+ " Strength!",
		"\n"})) << Describe(texts);
	EXPECT_EQ("15", StoredLine(file, 13));
}


TEST_F(CombatTest, CorpseGivesUpToTenGoldPerLevel)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nRat,Bite,5,5,5,5,5\n"));
	StoredPlayer looter = Hero("Looter");
	looter.level = "3";
	WritePlayer("Looter", looter);

	std::vector<std::string> texts = Play(FindSecond(LuckyEventOnTopLevel(3)),
		"Looter", "cfq");

	std::string file = ReadPlayer("Looter");
	int found = atoi(StoredLine(file, 6).c_str()) - 100;
	EXPECT_GE(found, 1);
	EXPECT_LE(found, 30);
	EXPECT_EQ(FightPieces(texts), std::vector<std::string>({
		"\n\n***Special Event!***\n\n",
		"You find the rotting corpse of a not-as-lucky-as-you-are warrior.  "
			"Pilfering through its pockets, you find " + std::to_string(found)
			+ " gold that the others somehow missed!",
		"\n"})) << Describe(texts);
}


TEST_F(CombatTest, BramblePatchGivesOneDefenseAtLevelOne)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nRat,Bite,5,5,5,5,5\n"));
	WritePlayer("Scratch", Hero("Scratch"));

	std::vector<std::string> texts = Play(FindSecond(LuckyEventOnTopLevel(4)),
		"Scratch", "cfq");

	EXPECT_EQ(FightPieces(texts), std::vector<std::string>({
		"\n\n***Special Event!***\n\n",
		"As you stumble blindly about in the dark caves, you accidentally walk "
			"through a giant wild bramble patch.  When you finally make your "
			"way out of the thicket, you turn to discover that the patch has "
			"mysteriously vanished.  Your scratches have healed, hardening "
			"your skin.\n\nYou gain 1 Defense!",
		"\n"})) << Describe(texts);
	EXPECT_EQ("8", StoredLine(ReadPlayer("Scratch"), 12));
}


TEST_F(CombatTest, FinalMonsterCannotBeRunFromAndItsDeathResetsTheWinner)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nRat,Bite,5,5,5,5,5\n"));
	// A hand-edited champion whose blows nearly always kill the beast at
	// once, and whose armor it can hardly ever pierce.
	StoredPlayer champion = Hero("Champ");
	champion.weapon = "Vorpal Spoon";
	champion.weaponStr = "30";
	champion.armor = "Bubble Wrap";
	champion.armorStr = "30";
	champion.gold = "5000";
	champion.xp = "32";
	champion.fights = "7";
	WritePlayer("Champ", champion);
	uint32 second = FindSecond([]() {
		return rand() % 100 > 4 && rand() % 15 == 0 && rand() % 10 == 1;
	});

	std::vector<std::string> texts = Play(second, "Champ",
		"cdddddddddfrxacq");

	std::vector<std::string> pieces = FightPieces(texts);
	ASSERT_GT(pieces.size(), 48u) << Describe(texts);
	StoredPlayer promoted = champion;
	promoted.level = "2";
	promoted.maxHP = "15";
	promoted.hp = "15";
	promoted.xp = "33";
	promoted.str = "8";
	promoted.def = "8";
	promoted.gold = "5001";
	promoted.fights = "6";
	std::vector<std::string> screen
		= FightScreen("Giant Vrask Beastie", "30000", "Champ", "10", "10");
	std::vector<std::string> expected = Join({
		{"\n\n***Special Event!***\n\n",
			"\nYou are fighting a viscious looking ", "Giant Vrask Beastie",
			"."},
		screen,
		{"r", "You try to run, but the gigantic beastie is just too fast!"},
		screen,
		{"x", "???\n (A)ttack\n (R)un"},
		screen,
		{"a", "Attack!"}});
	ASSERT_EQ(std::vector<std::string>(pieces.begin(),
		pieces.begin() + expected.size()), expected) << Describe(texts);

	// The blow, critical or not, is followed by the kill, the level, the
	// status and the victory.
	std::vector<std::string> ending = Join({
		{"\n  You killed the ", "Giant Vrask Beastie", "!\n Got ", "1",
			" XP and ", "1", " gold.", "\n You gained a level!\n"},
		StatusScreen(promoted, "64", "1073741824", "1073741824"),
		{"*** YOU WIN!!! ***\n\n  You walk out of the caves, victorious over "
			"the nastiest of the beasties in the caves.  Stories of your "
			"glorious victory over the beast soon spread among the townsfolk.  "
			"But, like all great battle tales, the stories soon become "
			"embellished and grow into Legend.\n  More rapidly than you might "
			"like, the stories and your experiences fade into obscurity, until "
			"another hero is born to slay the greatest of the beasties..."
			"\n\n  Thank you for playing Drelmoor!  Your character has now "
			"been reset."}});
	ASSERT_GE(pieces.size(), expected.size() + ending.size());
	EXPECT_EQ(std::vector<std::string>(pieces.end() - ending.size(),
		pieces.end()), ending) << Describe(texts);

	// Back in town with a new character of the old name and 100 gold, still
	// on the deepest cave level.
	StoredPlayer reset = Hero("Champ");
	EXPECT_EQ(reset.Text(), ReadPlayer("Champ"));
	std::vector<std::string> afterWin = PromptLine("Champ", "Town");
	auto win = std::find(texts.begin(), texts.end(), ending.back());
	ASSERT_NE(win, texts.end());
	EXPECT_EQ(afterWin[0], *(win + 1));
	auto caves = std::find(win, texts.end(), "aves");
	ASSERT_NE(caves, texts.end());
	EXPECT_EQ(PromptLine("Champ", "Caves", 10)[0], *(caves + 1));
}


TEST_F(CombatTest, ExchangeThatWouldTakeAgesToLandEndsAsAMissAndAStumble)
{
	// The player's blows get through this hide once in hundreds of millions
	// of tries, and the monster's never get through at all.
	fVolume.WriteFile(kMonstersFile,
		EveryLevel("1\nAdamant Snail,Slow Slime,50,1,2000000000,1,1\n"));
	WritePlayer("Patient", Hero("Patient"));
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	std::vector<std::string> texts = Play(second, "Patient", "cfarq");

	EXPECT_EQ(FightPieces(texts), Join({
		{"\nYou are fighting a viscious looking ", "Adamant Snail", "."},
		FightScreen("Adamant Snail", "50", "Patient", "10", "10"),
		{"a", "Attack!", "\n\nYou missed the ", "Adamant Snail",
			".  Don't you look foolish.", "\n", "Adamant Snail",
			" stumbles around flailing miserably."},
		FightScreen("Adamant Snail", "50", "Patient", "10", "10"),
		{"r", "Run!"}})) << Describe(texts);
}


// #pragma mark - Lines that drop in the middle of a fight


TEST_F(CombatTest, LineDroppedAtTheNextRoundKeepsTheBlowAndTheSpentFight)
{
	fVolume.WriteFile(kMonstersFile,
		EveryLevel("1\nIron Tortoise,Shell Bash,100,100000,1000000,1,1\n"));
	StoredPlayer tank = Hero("Tank");
	tank.maxHP = "1000000";
	tank.hp = "1000000";
	WritePlayer("Tank", tank);
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	// The keys run out at the second round's question: the user is gone
	// while the session waits for a key, and the session ends there.
	std::vector<std::string> texts = Play(second, "Tank", "cfa");

	ASSERT_EQ("\n\nWhat will you do?", texts.back()) << Describe(texts);
	std::string file = ReadPlayer("Tank");
	std::vector<std::string> round = FightPieces(texts);
	ASSERT_GT(round.size(), 35u) << Describe(texts);
	// The hit points that the second round's screen shows.
	EXPECT_EQ(round[35], StoredLine(file, 8)) << Describe(texts);
	EXPECT_NE("1000000", StoredLine(file, 8));
	EXPECT_EQ("14", StoredLine(file, 13));
}


TEST_F(CombatTest, LineDroppedAsTheFightBeginsKeepsItSpent)
{
	fVolume.WriteFile(kMonstersFile,
		EveryLevel("1\nCave Newt,Tail Slap,12,4,3,10,5\n"));
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	PlayDroppingOn(second, "Coward", Hero("Coward"), "cfrq",
		"\nYou are fighting a viscious looking ");

	std::string file = ReadPlayer("Coward");
	EXPECT_EQ("10", StoredLine(file, 8));
	EXPECT_EQ("14", StoredLine(file, 13));
}


TEST_F(CombatTest, DeathIsOnDiskThoughTheLineDropsAsItIsTold)
{
	// A troll that always hits, against a character of one hit point that
	// can never hurt it: the first exchange kills.
	fVolume.WriteFile(kMonstersFile,
		EveryLevel("1\nCave Troll,Crushing Club,50,10000,10000,1,1\n"));
	StoredPlayer weak = Hero("Weak");
	weak.weaponStr = "0";
	weak.str = "1";
	weak.maxHP = "1";
	weak.hp = "1";
	uint32 second = FindSecond(OrdinaryMonsterOnTopLevel);

	std::vector<std::string> texts = PlayDroppingOn(second, "Weak", weak,
		"cfa", "\n\nYou missed the ");

	EXPECT_EQ("Attack!", texts[texts.size() - 2]) << Describe(texts);
	std::string file = ReadPlayer("Weak");
	EXPECT_LT(atoi(StoredLine(file, 8).c_str()), 1) << file;
	EXPECT_EQ("14", StoredLine(file, 13));
}


TEST_F(CombatTest, SpecialEventIsOnDiskThoughTheLineDropsAsItIsTold)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nRat,Bite,5,5,5,5,5\n"));

	PlayDroppingOn(FindSecond(LuckyEventOnTopLevel(1)), "Hungry",
		Hero("Hungry"), "cfq", "\n\n***Special Event!***");

	EXPECT_EQ("18", StoredLine(ReadPlayer("Hungry"), 13));
}


TEST_F(CombatTest, VictoryIsOnDiskThoughTheLineDropsAsItIsTold)
{
	fVolume.WriteFile(kMonstersFile, EveryLevel("1\nRat,Bite,5,5,5,5,5\n"));
	StoredPlayer champion = Hero("Champ");
	champion.weapon = "Vorpal Spoon";
	champion.weaponStr = "30";
	champion.armor = "Bubble Wrap";
	champion.armorStr = "30";
	champion.gold = "5000";
	champion.xp = "32";
	champion.fights = "7";
	uint32 second = FindSecond([]() {
		return rand() % 100 > 4 && rand() % 15 == 0 && rand() % 10 == 1;
	});

	PlayDroppingOn(second, "Champ", champion, "cdddddddddfacq",
		"*** YOU WIN!!! ***");

	EXPECT_EQ(Hero("Champ").Text(), ReadPlayer("Champ"));
}
