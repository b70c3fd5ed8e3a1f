#include "Player.h"

#include <gtest/gtest.h>

#include <StorageDefs.h>
#include <ZenboUserName.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <set>
#include <signal.h>
#include <stdint.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "LocalTimeZone.h"
#include "TestVolume.h"
#include "VraskPaths.h"

namespace {

// 2026-12-07 12:00:00 UTC.
const uint32 kDecemberSeventhNoon = 1796644800;

const char* kRookFile = kUsersFolder "rook";


std::string
Lines(std::initializer_list<std::string> lines)
{
	std::string text;
	for (const std::string& line : lines)
		text += line + "\n";
	return text;
}


// Rook as the game saves him: 14 lines, the numbers in plain decimal.
std::string
RookFile(const std::string& gold = "100", const std::string& hp = "10",
	const std::string& fights = "15", const std::string& day = "20261207")
{
	return Lines({"Rook", "Moderately Sharp Playing Card", "T-Shirt and Jeans",
		"1", "1", gold, "10", hp, "1", "0", "7", "7", fights, day});
}


// Every value of a record on one line, so that a comparison shows them all.
std::string
Describe(const CPlayer& player)
{
	BString text;
	text << player.GetName() << "|" << player.GetWeapon() << "|"
		<< player.GetArmor() << "|" << (int32)player.GetWeaponStr() << "|"
		<< (int32)player.GetArmorStr() << "|" << (int32)player.GetBalance()
		<< "|" << (int32)player.GetMaxHP() << "|" << (int32)player.GetHP()
		<< "|" << (int32)player.GetLevel() << "|" << (int32)player.GetXP()
		<< "|" << (int32)player.GetStr() << "|" << (int32)player.GetDef()
		<< "|" << (int32)player.GetFights() << "|"
		<< (int32)player.GetLastDay() << "|" << player.GetLocation() << "|"
		<< (int32)player.GetCaveLevel();
	return text.String();
}


// A record unlike a new one in every value that the file holds.
CPlayer
VeteranRecord()
{
	CPlayer player;
	player.SetName("Ash");
	player.SetWeapon("Rusty Sword", 3);
	player.SetArmor("Chain Mail", 4);
	player.AddGold(-250);
	player.AddXP(70);
	player.AddXP(0);
	player.Damaged(5);
	player.AddStr(2);
	player.AddDef(1);
	player.AddFights(-4);
	return player;
}


// Every file and folder of the volume, for checking what a call left behind.
std::set<std::string>
VolumeContents(const TestVolume& volume)
{
	std::set<std::string> paths;
	for (const auto& entry : std::filesystem::recursive_directory_iterator(
			volume.Folder()))
		paths.insert(entry.path().string());
	return paths;
}


// A test volume with the users folder, on a frozen day in a fixed zone.
class PlayerFileTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fVolume.MakeFolder(kUsersFolder);
	}

	LocalTimeZone	fZone{"UTC"};
	FrozenClock		fClock{kDecemberSeventhNoon};
	TestVolume		fVolume;
};


// The record that a saving process writes in its round g of saves: its
// gold and strength both tell g, so a record mixed from two saves shows.
CPlayer
GenerationRecord(int32 generation)
{
	CPlayer player;
	player.SetName("Rook");
	player.SetWeapon("A Weapon Whose Name Makes The File Longer", 2);
	player.AddGold(generation);
	player.AddStr(generation);
	return player;
}


void
ExpectWholeGeneration(const CPlayer& player)
{
	EXPECT_EQ(BString("Rook"), player.GetName());
	EXPECT_EQ(BString("A Weapon Whose Name Makes The File Longer"),
		player.GetWeapon());
	EXPECT_EQ(player.GetBalance() + 7, player.GetStr());
	EXPECT_EQ(20261207, player.GetLastDay());
}

}	// namespace


TEST_F(PlayerFileTest, LoadingUserWithoutFileKeepsRecord)
{
	CPlayer player = VeteranRecord();
	player.SetLocation("Caves");
	std::string before = Describe(player);

	EXPECT_FALSE(player.LoadPlayer("nobody"));
	EXPECT_EQ(before, Describe(player));
}


TEST_F(PlayerFileTest, SaveWritesFourteenLinesByteForByte)
{
	CPlayer player;
	player.SetName("Rook");
	player.AddGold(100);
	player.SavePlayer("rook");
	EXPECT_EQ(RookFile(), fVolume.ReadFile(kRookFile));

	player.Damaged(15);
	player.AddGold(-300);
	player.SavePlayer("rook");
	EXPECT_EQ(RookFile("-200", "-5"), fVolume.ReadFile(kRookFile));
}


TEST_F(PlayerFileTest, SaveAndLoadOnSameDayGiveBackEveryValue)
{
	CPlayer saved = VeteranRecord();
	saved.SavePlayer("ash");

	CPlayer loaded;
	loaded.SetLocation("Caves");
	loaded.GoDown();
	loaded.GoDown();
	ASSERT_TRUE(loaded.LoadPlayer("ash"));

	// The location and the cave level are the loading record's own.
	saved.SetLocation("Caves");
	saved.GoDown();
	saved.GoDown();
	EXPECT_EQ(Describe(saved), Describe(loaded));
}


TEST_F(PlayerFileTest, FirstLoadOfNewDayRestoresHitPointsAndFights)
{
	fVolume.WriteFile(kRookFile, Lines({"Rook", "Club", "Rags", "2", "3",
		"55", "22", "3", "3", "70", "10", "10", "2", "20261206"}));
	std::string stored = fVolume.ReadFile(kRookFile);

	CPlayer player;
	ASSERT_TRUE(player.LoadPlayer("rook"));
	EXPECT_EQ("Rook|Club|Rags|2|3|55|22|22|3|70|10|10|15|20261207|Town|1",
		Describe(player));

	// Loading alone does not write the reset back.
	EXPECT_EQ(stored, fVolume.ReadFile(kRookFile));
}


TEST_F(PlayerFileTest, LoadOnSameOrLaterDayKeepsStoredValues)
{
	for (const char* day : {"20261207", "20261208", "20270101"}) {
		fVolume.WriteFile(kRookFile, RookFile("100", "4", "2", day));
		CPlayer player;
		ASSERT_TRUE(player.LoadPlayer("rook"));
		EXPECT_EQ(4, player.GetHP()) << day;
		EXPECT_EQ(2, player.GetFights()) << day;
		EXPECT_EQ(atoi(day), player.GetLastDay());
	}
}


TEST_F(PlayerFileTest, DeadCharacterOfEarlierDayLoadsAlive)
{
	for (const char* hp : {"0", "-4"}) {
		fVolume.WriteFile(kRookFile, RookFile("100", hp, "0", "20261130"));
		CPlayer player;
		ASSERT_TRUE(player.LoadPlayer("rook"));
		EXPECT_EQ(10, player.GetHP()) << hp;
		EXPECT_EQ(15, player.GetFights()) << hp;
	}
}


TEST_F(PlayerFileTest, DailyResetSetsFightsRatherThanAdding)
{
	fVolume.WriteFile(kRookFile, RookFile("100", "10", "20", "20261206"));
	CPlayer player;
	ASSERT_TRUE(player.LoadPlayer("rook"));
	EXPECT_EQ(15, player.GetFights());
}


TEST_F(PlayerFileTest, NumericLinesFollowStrtolRules)
{
	fVolume.WriteFile(kRookFile, Lines({"Rook", "Club", "Rags", "12abc",
		"  -42", "", "+9", "\t 30 7", "x5", "99999999999", "-99999999999",
		"-0", "007", "20261207 and more"}));
	CPlayer player;
	ASSERT_TRUE(player.LoadPlayer("rook"));
	EXPECT_EQ("Rook|Club|Rags|12|-42|0|9|30|0|2147483647|-2147483648|0|7"
		"|20261207|Town|1", Describe(player));
}


TEST_F(PlayerFileTest, CarriageReturnsStayInStrings)
{
	std::string file = RookFile();
	std::string withReturns;
	for (char byte : file) {
		if (byte == '\n')
			withReturns += '\r';
		withReturns += byte;
	}
	fVolume.WriteFile(kRookFile, withReturns);

	CPlayer player;
	ASSERT_TRUE(player.LoadPlayer("rook"));
	EXPECT_EQ(BString("Rook\r"), player.GetName());
	EXPECT_EQ(BString("Moderately Sharp Playing Card\r"), player.GetWeapon());
	EXPECT_EQ(BString("T-Shirt and Jeans\r"), player.GetArmor());
	EXPECT_EQ(100, player.GetBalance());
	EXPECT_EQ(20261207, player.GetLastDay());
}


TEST_F(PlayerFileTest, ShorterSaveLeavesNoTraceOfLongerFile)
{
	std::string longer = Lines({"A Very Long Character Name Indeed",
		"Sword", "Plate", "9", "9", "123456789", "500", "500", "12", "99999",
		"300", "300", "15", "20261207"}) + "trailing junk of an older file\n";
	fVolume.WriteFile(kRookFile, longer);

	CPlayer player;
	player.SetName("Rook");
	player.AddGold(100);
	player.SavePlayer("rook");
	EXPECT_EQ(RookFile(), fVolume.ReadFile(kRookFile));
}


TEST_F(PlayerFileTest, FileEndingBeforeItsLastLineFeedIsNoPlayer)
{
	std::string whole = RookFile("777");
	for (size_t length = 0; length < whole.size(); length++) {
		fVolume.WriteFile(kRookFile, whole.substr(0, length));
		CPlayer player = VeteranRecord();
		std::string before = Describe(player);
		ASSERT_FALSE(player.LoadPlayer("rook")) << length << " bytes";
		ASSERT_EQ(before, Describe(player)) << length << " bytes";
	}

	fVolume.WriteFile(kRookFile, whole);
	CPlayer player;
	ASSERT_TRUE(player.LoadPlayer("rook"));
	EXPECT_EQ(777, player.GetBalance());
}


TEST_F(PlayerFileTest, BytesAfterFourteenthLineAreIgnored)
{
	fVolume.WriteFile(kRookFile, RookFile("5") + "15\nextra");
	CPlayer player;
	ASSERT_TRUE(player.LoadPlayer("rook"));
	EXPECT_EQ(5, player.GetBalance());
	EXPECT_EQ(20261207, player.GetLastDay());
}


TEST_F(PlayerFileTest, FolderInUsersFolderIsNoPlayer)
{
	fVolume.MakeFolder(kUsersFolder "lost+found");
	CPlayer player = VeteranRecord();
	std::string before = Describe(player);
	EXPECT_FALSE(player.LoadPlayer("lost+found"));
	EXPECT_EQ(before, Describe(player));
}


TEST_F(PlayerFileTest, NamesThatAreNotOnePlainFileNameReachNoFile)
{
	// Whole player files where a name that leaves its place would find them.
	fVolume.WriteFile(kVraskFolder "secret", RookFile());
	fVolume.WriteFile(kUsersFolder "a/b", RookFile());
	fVolume.WriteFile(kUsersFolder "sub/rook", RookFile());

	const std::string kNames[] = {"", ".", "..", "../secret", "..//secret",
		"a/b", "sub/rook", "sub/", "/", kVraskFolder "secret",
		"../../../../../../etc/passwd", std::string(256, 'n')};
	for (const std::string& name : kNames) {
		CPlayer player = VeteranRecord();
		std::string before = Describe(player);
		EXPECT_FALSE(player.LoadPlayer(name.c_str())) << "'" << name << "'";
		EXPECT_EQ(before, Describe(player)) << "'" << name << "'";

		std::set<std::string> contents = VolumeContents(fVolume);
		player.SavePlayer(name.c_str());
		EXPECT_EQ(contents, VolumeContents(fVolume)) << "'" << name << "'";
	}
	EXPECT_EQ(RookFile(), fVolume.ReadFile(kVraskFolder "secret"));
}


TEST_F(PlayerFileTest, LongestUserNameKeepsItsPlayer)
{
	std::string name(kMaxUserNameLength, 'n');
	CPlayer saved = VeteranRecord();
	saved.SavePlayer(name.c_str());

	CPlayer loaded;
	ASSERT_TRUE(loaded.LoadPlayer(name.c_str()));
	EXPECT_EQ(Describe(saved), Describe(loaded));
}


// The board's rule for user names decides which names reach a file: one
// byte too long, or a byte a terminal acts on, reaches none.
TEST_F(PlayerFileTest, NamesTheBoardRefusesReachNoFile)
{
	const std::string kNames[] = {std::string(kMaxUserNameLength + 1, 'n'),
		"bell\a", "esc\x1b[2J", "csi\x9b" "2J", " lead", ".hidden"};
	for (const std::string& name : kNames) {
		fVolume.WriteFile((kUsersFolder + name).c_str(), RookFile());
		CPlayer player = VeteranRecord();
		std::string before = Describe(player);
		EXPECT_FALSE(player.LoadPlayer(name.c_str())) << EscapedUserName(name.c_str()).String();
		EXPECT_EQ(before, Describe(player)) << EscapedUserName(name.c_str()).String();
	}
}


TEST_F(PlayerFileTest, SaveLeavesOnlyThePlayerFileBehind)
{
	CPlayer player = VeteranRecord();
	player.SavePlayer("ash");
	player.SavePlayer("ash");

	std::set<std::string> users;
	for (const auto& entry : std::filesystem::directory_iterator(
			fVolume.MachinePath(kUsersFolder)))
		users.insert(entry.path().filename().string());
	EXPECT_EQ(std::set<std::string>{"ash"}, users);

	std::string saving = fVolume.MachinePath(kVraskFolder ".saving");
	EXPECT_TRUE(!std::filesystem::exists(saving)
		|| std::filesystem::is_empty(saving));
}


TEST_F(PlayerFileTest, UnfinishedSavesAreClearedAndPlayerFilesKept)
{
	CPlayer player = VeteranRecord();
	player.SavePlayer("ash");
	std::string saved = fVolume.ReadFile(kUsersFolder "ash");

	// What a door killed in the middle of two saves leaves behind.
	fVolume.WriteFile(kVraskFolder ".saving/4711.4712.3", "Ash\nhalf a rec");
	fVolume.WriteFile(kVraskFolder ".saving/4711.4713.9", "");

	CPlayer::ClearUnfinishedSaves();

	EXPECT_TRUE(std::filesystem::is_empty(
		fVolume.MachinePath(kVraskFolder ".saving")));
	EXPECT_EQ(fVolume.ReadFile(kUsersFolder "ash"), saved);

	// Without a saving folder there is nothing to clear and nothing fails.
	std::filesystem::remove_all(fVolume.MachinePath(kVraskFolder ".saving"));
	CPlayer::ClearUnfinishedSaves();
	EXPECT_EQ(fVolume.ReadFile(kUsersFolder "ash"), saved);
}


TEST_F(PlayerFileTest, SaveWithoutUsersFolderWritesNothing)
{
	std::filesystem::remove(fVolume.MachinePath(kUsersFolder));
	std::set<std::string> contents = VolumeContents(fVolume);

	CPlayer player = VeteranRecord();
	player.SavePlayer("ash");
	EXPECT_EQ(contents, VolumeContents(fVolume));
	EXPECT_FALSE(player.LoadPlayer("ash"));
}


TEST_F(PlayerFileTest, SaveThatCannotBeWrittenKeepsOldRecord)
{
	fVolume.WriteFile(kRookFile, RookFile());
	// The place of the saving folder is taken by a file.
	fVolume.WriteFile(kVraskFolder ".saving", "not a folder");

	CPlayer player = VeteranRecord();
	player.SavePlayer("rook");
	EXPECT_EQ(RookFile(), fVolume.ReadFile(kRookFile));
}


TEST_F(PlayerFileTest, TamperedValuesLoadAsTheyStandAndRulesHold)
{
	fVolume.WriteFile(kRookFile, Lines({"Rook", "Club", "Rags", "2147483647",
		"-1", "2147483647", "2147483647", "-2147483648", "2147483647",
		"2147483647", "-2147483648", "0", "-2147483648", "20261207"}));
	CPlayer player;
	ASSERT_TRUE(player.LoadPlayer("rook"));
	EXPECT_EQ("Rook|Club|Rags|2147483647|-1|2147483647|2147483647"
		"|-2147483648|2147483647|2147483647|-2147483648|0|-2147483648"
		"|20261207|Town|1", Describe(player));

	for (unsigned seed = 1; seed <= 100; seed++) {
		srand(seed);
		int damage = player.IsHitBy(INT32_MAX);
		ASSERT_GE(damage, 0);
		ASSERT_EQ(INT32_MIN, player.GetHP());
	}
	player.AddGold(1);
	EXPECT_EQ(INT32_MAX, player.GetBalance());
	EXPECT_FALSE(player.AddXP(INT32_MAX));
	EXPECT_EQ(INT32_MAX, player.GetLevel());
	player.LevelUp();
	EXPECT_EQ(INT32_MAX, player.GetLevel());
	EXPECT_EQ(INT32_MAX, player.GetMaxHP());
	EXPECT_EQ(INT32_MIN + INT32_MAX, player.GetStr());
	EXPECT_FALSE(player.Fights());
	EXPECT_EQ(INT32_MAX, player.Heal(INT32_MAX));
	EXPECT_EQ(-1, player.GetHP());
	EXPECT_TRUE(player.SpendGold(INT32_MAX));
	EXPECT_EQ(0, player.GetBalance());
}


TEST_F(PlayerFileTest, ArmorBeyondInt32InFileMakesBlowsSound)
{
	fVolume.WriteFile(kRookFile, Lines({"Rook", "Club", "Rags", "40", "40",
		"0", "10", "10", "1", "0", "7", "-3", "15", "20261207"}));
	CPlayer player;
	ASSERT_TRUE(player.LoadPlayer("rook"));
	ASSERT_EQ(40, player.GetArmorStr());
	ASSERT_EQ(-3, player.GetDef());

	for (unsigned seed = 1; seed <= 100; seed++) {
		srand(seed);
		int hpBefore = player.GetHP();
		int damage = player.IsHitBy(1000);
		ASSERT_GE(damage, 0);
		ASSERT_LE(damage, 998);
		ASSERT_EQ(hpBefore - damage, player.GetHP());
	}
}


TEST_F(PlayerFileTest, ReaderNeverMeetsPartlyWrittenFile)
{
	const int32 kSaves = 200;
	GenerationRecord(0).SavePlayer("rook");

	pid_t writer = fork();
	ASSERT_GE(writer, 0);
	if (writer == 0) {
		for (int32 generation = 1; generation <= kSaves; generation++)
			GenerationRecord(generation).SavePlayer("rook");
		_exit(0);
	}

	int loads = 0;
	int status = 0;
	while (waitpid(writer, &status, WNOHANG) == 0) {
		CPlayer player;
		ASSERT_TRUE(player.LoadPlayer("rook")) << "load " << loads;
		ExpectWholeGeneration(player);
		loads++;
	}
	ASSERT_TRUE(WIFEXITED(status));

	CPlayer player;
	ASSERT_TRUE(player.LoadPlayer("rook"));
	EXPECT_EQ(kSaves, player.GetBalance());
}


TEST_F(PlayerFileTest, SaveKilledAtAnyMomentKeepsWholeRecord)
{
	GenerationRecord(0).SavePlayer("rook");
	std::mt19937 random(20261207);
	// A save puts its file on the disk before it renames it, which takes a
	// few milliseconds: kills up to 25 ms after the start fall before, in
	// and after whole saves.
	std::uniform_int_distribution<useconds_t> moment(0, 25000);

	int32 generation = 0;
	for (int round = 0; round < 40; round++) {
		pid_t writer = fork();
		ASSERT_GE(writer, 0);
		if (writer == 0) {
			// Saves until it is killed; the deadline only keeps a lost
			// writer from running on after a failed test.
			auto deadline = std::chrono::steady_clock::now()
				+ std::chrono::seconds(60);
			for (int32 next = generation + 1;
					std::chrono::steady_clock::now() < deadline; next++)
				GenerationRecord(next).SavePlayer("rook");
			_exit(0);
		}

		// The moment of the kill is chosen by chance, so that over the
		// rounds it falls into every step of a save.
		usleep(moment(random));
		ASSERT_EQ(0, kill(writer, SIGKILL));
		int status = 0;
		ASSERT_EQ(writer, waitpid(writer, &status, 0));

		CPlayer player;
		ASSERT_TRUE(player.LoadPlayer("rook")) << "round " << round;
		ExpectWholeGeneration(player);
		ASSERT_GE(player.GetBalance(), generation);
		generation = player.GetBalance();

		std::string expected = fVolume.ReadFile(kRookFile);
		CPlayer rewritten = GenerationRecord(generation);
		rewritten.SavePlayer("check");
		ASSERT_EQ(fVolume.ReadFile(kUsersFolder "check"), expected);
	}

	std::set<std::string> users;
	for (const auto& entry : std::filesystem::directory_iterator(
			fVolume.MachinePath(kUsersFolder)))
		users.insert(entry.path().filename().string());
	EXPECT_EQ((std::set<std::string>{"check", "rook"}), users);
}
