// Plays the caves for many characters over many game days, with the game's
// own rules: the player record, the monster catalogue (the monsters file
// read through the platform from a boot volume of the tool's own), the
// fight, the special events, the healer and the blacksmith's shop. Only the
// player's choices are the tool's own.
//
// The player follows one plain strategy: every day it fights all its cave
// fights, heals at the healer when it is low, buys the best weapon and armor
// the shop offers it and it can afford (unless told to skip the
// blacksmith), runs from a fight that goes badly, goes one level deeper
// after a run of easy kills and one level up after running away or dying.

#include "BlacksmithShop.h"
#include "CaveEvent.h"
#include "CaveFight.h"
#include "DataLineReader.h"
#include "GameLimits.h"
#include "HealersHut.h"
#include "Monster.h"
#include "Player.h"
#include "VraskPaths.h"

#include <BootVolume.h>
#include <File.h>

#include <ftw.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>


namespace {

// The strategy's thresholds, in parts of the maximum hit points.
const double kHealBelow = 0.6;
const double kRestBelow = 0.35;
const double kRunBelow = 0.3;
// A kill that cost less than this part of the maximum hit points is easy;
// this many easy kills in a row send the player one level deeper.
const double kEasyKill = 0.1;
const int32 kEasyKillsToGoDown = 4;


struct Options {
	int32				characters = 200;
	int32				maxDays = 365;
	uint32				seed = 1;
	bool				blacksmith = true;
	// From the day after diveDay on, the character fights on diveLevel and
	// never runs: how a reckless player fares there.
	int32				diveLevel = 0;
	int32				diveDay = 30;
	std::string			monstersFile;
	int32				weaponCount = 0;
	int32				armorCount = 0;
};


struct CaveLevelRecord {
	int64				fights = 0;
	int64				deaths = 0;
	int64				runs = 0;
};


struct Results {
	std::vector<int32>	daysToWin;
	int32				notWon = 0;
	int64				finalFights = 0;
	int64				finalDeaths = 0;
	CaveLevelRecord		levels[kDeepestCaveLevel + 1];
	std::vector<int32>	deepestReached;
	std::vector<int32>	weaponAtWin;
	std::vector<int32>	armorAtWin;
	std::vector<int32>	levelAtWin;
};


enum class Outcome {
	kTired,
	kKilled,
	kRan,
	kDied,
	kSpecialEvent,
	kWon,
};


// The best item the shop offers whose price fits the gold, or 0.
int32
BestAffordable(BlacksmithShop::Kind kind, int32 count, int32 current,
	int64 gold)
{
	BlacksmithShop shop(kind, current, count);
	for (int32 number = shop.Limit(); number > current; number--) {
		if (shop.Judge(number) == BlacksmithShop::Verdict::kOffer
			&& shop.Price(number) <= gold)
			return number;
	}
	return 0;
}


bool
Buy(CPlayer& player, BlacksmithShop::Kind kind, int32 number)
{
	BlacksmithShop shop(kind, 0, number);
	if (!player.SpendGold((int32)shop.Price(number)))
		return false;
	if (kind == BlacksmithShop::Kind::kWeapons)
		player.SetWeapon("weapon", number);
	else
		player.SetArmor("armor", number);
	return true;
}


// Keeps back what a full heal costs, then buys the better of the two kinds
// first where the weaker one is weaker: a weapon kills, armor survives.
void
VisitBlacksmith(CPlayer& player, const Options& options)
{
	for (;;) {
		int64 gold = player.GetBalance()
			- HealersHut::PricePerPoint(player) * player.GetMaxHP();
		int32 weapon = BestAffordable(BlacksmithShop::Kind::kWeapons,
			options.weaponCount, player.GetWeaponStr(), gold);
		int32 armor = BestAffordable(BlacksmithShop::Kind::kArmor,
			options.armorCount, player.GetArmorStr(), gold);
		bool buyWeapon = weapon != 0
			&& (armor == 0 || player.GetWeaponStr() <= player.GetArmorStr());
		if (buyWeapon && Buy(player, BlacksmithShop::Kind::kWeapons, weapon))
			continue;
		if (!buyWeapon && armor != 0
			&& Buy(player, BlacksmithShop::Kind::kArmor, armor))
			continue;
		return;
	}
}


// Heals what is missing, or as much of it as the gold pays for.
void
VisitHealer(CPlayer& player)
{
	int32 missing = HealersHut::MissingHitPoints(player);
	int64 pricePerPoint = HealersHut::PricePerPoint(player);
	if (pricePerPoint > 0)
		missing = std::min<int64>(missing, player.GetBalance() / pricePerPoint);
	if (missing > 0)
		HealersHut::Heal(player, missing);
}


Outcome Fight(CPlayer& player, bool finalFight, bool mayRun,
	Results& results);


Outcome
SpecialEvent(CPlayer& player, bool mayRun, Results& results)
{
	if (CaveEvent::Happen(player).kind == CaveEvent::Kind::kFinalMonster)
		return Fight(player, true, mayRun, results);
	return Outcome::kSpecialEvent;
}


// One cave fight as the caves play it, with the strategy's choice of
// running before every round.
Outcome
Fight(CPlayer& player, bool finalFight, bool mayRun, Results& results)
{
	CaveFight fight(player, finalFight);
	switch (fight.Open()) {
		case CaveFight::Opening::kTired:
			return Outcome::kTired;
		case CaveFight::Opening::kCavesClosed:
			fprintf(stderr, "The monsters file gave no monster for cave "
				"level %d.\n", player.GetCaveLevel());
			exit(1);
		case CaveFight::Opening::kSpecialEvent:
			return SpecialEvent(player, mayRun, results);
		case CaveFight::Opening::kMonster:
			break;
	}

	CaveLevelRecord& record = results.levels[player.GetCaveLevel()];
	if (finalFight)
		results.finalFights++;
	else
		record.fights++;

	for (;;) {
		if (fight.CanRun() && mayRun
			&& player.GetHP() < kRunBelow * player.GetMaxHP()) {
			record.runs++;
			return Outcome::kRan;
		}

		if (fight.Attack().killed)
			return finalFight ? Outcome::kWon : Outcome::kKilled;
		if (fight.PlayerIsDown()) {
			if (finalFight)
				results.finalDeaths++;
			else
				record.deaths++;
			return Outcome::kDied;
		}
	}
}


// One character from its creation until it wins or the days run out; the
// day of the win, or 0.
int32
PlayCharacter(const Options& options, Results& results)
{
	CPlayer player;
	player.AddGold(kStartingGold);
	int32 targetLevel = kShallowestCaveLevel;
	int32 deepest = kShallowestCaveLevel;

	for (int32 day = 1; day <= options.maxDays; day++) {
		player.StartNewDay(day);
		int32 easyKills = 0;
		bool diving = options.diveLevel > 0 && day > options.diveDay;

		while (player.GetFights() > 0) {
			if (options.blacksmith)
				VisitBlacksmith(player, options);
			if (player.GetHP() < kHealBelow * player.GetMaxHP())
				VisitHealer(player);
			if (player.GetHP() < kRestBelow * player.GetMaxHP())
				break;

			if (diving)
				targetLevel = options.diveLevel;
			while (player.GetCaveLevel() < targetLevel)
				player.GoDown();
			while (player.GetCaveLevel() > targetLevel)
				player.GoUp();
			deepest = std::max(deepest, player.GetCaveLevel());

			int32 before = player.GetHP();
			Outcome outcome = Fight(player, false, !diving, results);
			if (outcome == Outcome::kTired)
				break;
			if (outcome == Outcome::kWon) {
				results.weaponAtWin.push_back(player.GetWeaponStr());
				results.armorAtWin.push_back(player.GetArmorStr());
				results.levelAtWin.push_back(player.GetLevel());
				results.deepestReached.push_back(deepest);
				return day;
			}
			if (outcome == Outcome::kDied || outcome == Outcome::kRan) {
				targetLevel = std::max(kShallowestCaveLevel, targetLevel - 1);
				easyKills = 0;
				if (outcome == Outcome::kDied)
					break;
			} else if (outcome == Outcome::kKilled) {
				if (before - player.GetHP() < kEasyKill * player.GetMaxHP())
					easyKills++;
				else
					easyKills = 0;
				if (easyKills >= kEasyKillsToGoDown) {
					targetLevel = std::min(kDeepestCaveLevel, targetLevel + 1);
					easyKills = 0;
				}
			}
		}
	}
	results.deepestReached.push_back(deepest);
	return 0;
}


int32
Percentile(const std::vector<int32>& sorted, double fraction)
{
	if (sorted.empty())
		return 0;
	size_t index = (size_t)(fraction * (sorted.size() - 1) + 0.5);
	return sorted[std::min(index, sorted.size() - 1)];
}


void
PrintDistribution(const char* title, std::vector<int32> values)
{
	std::sort(values.begin(), values.end());
	printf("%s: min %d, 25%% %d, median %d, 75%% %d, 90%% %d, max %d\n", title,
		Percentile(values, 0), Percentile(values, 0.25),
		Percentile(values, 0.5), Percentile(values, 0.75),
		Percentile(values, 0.9), Percentile(values, 1));
}


void
PrintResults(const Options& options, const Results& results)
{
	printf("%d characters, %s the blacksmith, at most %d days each, seed %u\n",
		options.characters, options.blacksmith ? "using" : "skipping",
		options.maxDays, options.seed);
	printf("won: %zu, not won within %d days: %d\n", results.daysToWin.size(),
		options.maxDays, results.notWon);
	if (!results.daysToWin.empty()) {
		PrintDistribution("days to win", results.daysToWin);
		PrintDistribution("character level at the win", results.levelAtWin);
		PrintDistribution("weapon strength at the win", results.weaponAtWin);
		PrintDistribution("armor strength at the win", results.armorAtWin);
	}
	PrintDistribution("deepest cave level reached", results.deepestReached);
	printf("final fights: %lld, lost: %lld\n",
		(long long)results.finalFights, (long long)results.finalDeaths);
	printf("cave level: fights, deaths per 1000 fights, runs per 1000 fights\n");
	for (int32 level = kShallowestCaveLevel; level <= kDeepestCaveLevel; level++) {
		const CaveLevelRecord& record = results.levels[level];
		double perMille = record.fights > 0 ? 1000.0 / record.fights : 0;
		printf("  %2d: %8lld %8.1f %8.1f\n", level, (long long)record.fights,
			record.deaths * perMille, record.runs * perMille);
	}
}


// The number of items in an item file: its first line, as the shop reads
// it.
int32
ItemCount(const std::string& path)
{
	BFile file(path.c_str(), B_READ_ONLY);
	if (file.InitCheck() != B_OK)
		return -1;
	DataLineReader reader(file);
	std::string line;
	if (reader.ReadLine(&line) != DataLineReader::Result::kLine)
		return -1;
	return DataLineReader::NumberOf(line.c_str());
}


int
RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
	return remove(path);
}


// A boot volume of the tool's own, in a temporary folder, holding the
// monsters file to be played; removed when the tool ends.
class SimulationVolume {
public:
	explicit SimulationVolume(const std::string& monstersFile)
	{
		char folder[] = "/tmp/drelmoor-balance-XXXXXX";
		if (mkdtemp(folder) == NULL) {
			perror("mkdtemp");
			exit(1);
		}
		fFolder = folder;
		setenv("BOOT_VOLUME", fFolder.c_str(), 1);

		std::ifstream source(monstersFile, std::ios::binary);
		if (!source) {
			fprintf(stderr, "Cannot read %s\n", monstersFile.c_str());
			exit(1);
		}
		std::stringstream content;
		content << source.rdbuf();
		std::string text = content.str();

		BFile file;
		if (create_directory(kVraskFolder, 0755) != B_OK
			|| file.SetTo(kMonstersFile, B_WRITE_ONLY | B_CREATE_FILE
				| B_ERASE_FILE) != B_OK
			|| file.Write(text.data(), text.size()) != (ssize_t)text.size()) {
			fprintf(stderr, "Cannot set up the boot volume in %s\n", folder);
			exit(1);
		}
	}

	~SimulationVolume()
	{
		nftw(fFolder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
	}

private:
	std::string			fFolder;
};


// The usage, on standard output when asked for, otherwise as the error it
// answers.
void
Usage(bool asked = false)
{
	fprintf(asked ? stdout : stderr, "usage: DrelmoorBalance [--characters N] [--days N] "
		"[--seed N] [--skip-blacksmith] [--dive LEVEL [--dive-after DAYS]]\n"
		"       [--data FOLDER]\n"
		"FOLDER holds monsters, weapons and armor (default: the source "
		"tree's data folder).\n");
	exit(asked ? 0 : 2);
}

}	// namespace


int
main(int argc, char** argv)
{
	Options options;
	std::string data = DRELMOOR_DATA_DIR;
	for (int i = 1; i < argc; i++) {
		std::string argument = argv[i];
		bool hasValue = i + 1 < argc;
		if (argument == "--characters" && hasValue)
			options.characters = atoi(argv[++i]);
		else if (argument == "--days" && hasValue)
			options.maxDays = atoi(argv[++i]);
		else if (argument == "--seed" && hasValue)
			options.seed = strtoul(argv[++i], NULL, 10);
		else if (argument == "--data" && hasValue)
			data = argv[++i];
		else if (argument == "--dive" && hasValue)
			options.diveLevel = atoi(argv[++i]);
		else if (argument == "--dive-after" && hasValue)
			options.diveDay = atoi(argv[++i]);
		else if (argument == "--skip-blacksmith")
			options.blacksmith = false;
		else if (argument == "--help")
			Usage(true);
		else
			Usage();
	}
	if (options.characters < 1 || options.maxDays < 1 || options.diveLevel < 0
		|| options.diveLevel > kDeepestCaveLevel)
		Usage();

	options.monstersFile = data + "/monsters";
	options.weaponCount = ItemCount(data + "/weapons");
	options.armorCount = ItemCount(data + "/armor");
	if (options.weaponCount < 1 || options.armorCount < 1) {
		fprintf(stderr, "Cannot read the item counts in %s\n", data.c_str());
		return 1;
	}

	SimulationVolume volume(options.monstersFile);
	srand(options.seed);
	Results results;
	for (int32 character = 0; character < options.characters; character++) {
		int32 day = PlayCharacter(options, results);
		if (day > 0)
			results.daysToWin.push_back(day);
		else
			results.notWon++;
	}
	PrintResults(options, results);
	return 0;
}
