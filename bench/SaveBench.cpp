// One player-file save as the game makes it (CPlayer::SavePlayer through
// the storage kit) beside a raw write of the same bytes to a temporary
// file, fsync and rename, in the same run; then many sessions saving at
// once, the game's way and the raw way, with the syncs the disk was asked
// for per second. The program works in a boot volume of its own under
// /tmp (on the disk that the game's volume would be on) and removes it.
#include <AtomicSave.h>
#include <BootVolume.h>

#include "Clock.h"
#include "Player.h"
#include "VraskPaths.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>


static std::string sVolume;


// The record the game writes for a player with this much gold.
static std::string
RecordText(const char* name, int gold)
{
	std::string text = std::string(name) + "\nStick\nRags\n2\n2\n"
		+ std::to_string(gold) + "\n20\n20\n1\n0\n10\n10\n15\n20261208\n";
	return text;
}


static bool
RawSave(const std::string& folder, const std::string& name,
	const std::string& text, std::atomic<int64_t>* syncs)
{
	std::string temporary = folder + "/.raw-" + name;
	std::string path = folder + "/" + name;
	int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
		0644);
	if (file < 0)
		return false;
	bool written = write(file, text.data(), text.size())
		== (ssize_t)text.size();
	if (syncs != NULL)
		(*syncs)++;
	written = fsync(file) == 0 && written;
	close(file);
	return written && rename(temporary.c_str(), path.c_str()) == 0;
}


static void
SavePlayerChanged(benchmark::State& state)
{
	CPlayer player;
	player.SetName("Bench");
	for (auto _ : state) {
		// A new gold count each time, so that every save has to write.
		player.AddGold(1);
		if (!player.SavePlayer("Bench"))
			state.SkipWithError("the save failed");
	}
}
BENCHMARK(SavePlayerChanged)->UseRealTime();


static void
RawWriteSyncRename(benchmark::State& state)
{
	std::string folder = sVolume + "/raw";
	mkdir(folder.c_str(), 0755);
	int gold = 0;
	for (auto _ : state) {
		if (!RawSave(folder, "Bench", RecordText("Bench", ++gold), NULL))
			state.SkipWithError("the raw save failed");
	}
}
BENCHMARK(RawWriteSyncRename)->UseRealTime();


static void
SavePlayerUnchanged(benchmark::State& state)
{
	CPlayer player;
	player.SetName("Same");
	player.SavePlayer("Same");
	for (auto _ : state) {
		if (!player.SavePlayer("Same"))
			state.SkipWithError("the save failed");
	}
}
BENCHMARK(SavePlayerUnchanged)->UseRealTime();


class RatioReporter : public benchmark::ConsoleReporter {
public:
	void ReportRuns(const std::vector<Run>& runs) override
	{
		ConsoleReporter::ReportRuns(runs);
		for (const Run& run : runs) {
			bool median = run.run_type == Run::RT_Aggregate
				&& run.aggregate_name == "median";
			if ((run.run_type != Run::RT_Iteration && !median)
				|| run.error_occurred)
				continue;
			std::string name = run.run_name.function_name;
			if (median || fNanoseconds.count(name) == 0)
				fNanoseconds[name] = run.GetAdjustedRealTime();
		}
	}

	void PrintRatio(const char* kit, const char* raw) const
	{
		auto a = fNanoseconds.find(kit);
		auto b = fNanoseconds.find(raw);
		if (a == fNanoseconds.end() || b == fNanoseconds.end() || b->second <= 0)
			return;
		printf("%-22s %9.1f us  %-20s %9.1f us  ratio %.2fx (limit 1.5x)\n",
			kit, a->second / 1000, raw, b->second / 1000,
			a->second / b->second);
	}

private:
	std::map<std::string, double> fNanoseconds;
};


// Flush requests the disk under the folder has completed (Linux 5.5 and
// later); other programs on the same disk count too. -1 where unknown.
static int64_t
DiskFlushes(const std::string& folder)
{
	struct stat info;
	if (stat(folder.c_str(), &info) != 0)
		return -1;
	char path[96];
	snprintf(path, sizeof(path), "/sys/dev/block/%u:%u/stat",
		major(info.st_dev), minor(info.st_dev));
	FILE* file = fopen(path, "r");
	if (file == NULL)
		return -1;
	long long figures[17];
	int count = 0;
	while (count < 17 && fscanf(file, "%lld", &figures[count]) == 1)
		count++;
	fclose(file);
	return count == 17 ? figures[15] : -1;
}


// Sessions that each save a changed record about once a second, with
// jitter, for the given time: the game's way or the raw way.
static void
SaveTogether(int sessions, int seconds, bool raw)
{
	std::string rawFolder = sVolume + "/together";
	mkdir(rawFolder.c_str(), 0755);
	std::atomic<int64_t> rawSyncs{0};
	std::atomic<int64_t> saves{0};
	std::atomic<int64_t> failures{0};
	std::mutex lock;
	std::vector<int64_t> latencies;
	int64_t start = Now();
	int64_t end = start + (int64_t)seconds * 1000000;
	int64_t syncsBefore = count_save_syncs();
	int64_t flushesBefore = DiskFlushes(sVolume);

	std::vector<std::thread> threads;
	for (int i = 0; i < sessions; i++) {
		threads.emplace_back([&, i]() {
			std::string name = "Saver" + std::to_string(i);
			CPlayer player;
			player.SetName(name.c_str());
			std::vector<int64_t> mine;
			uint32_t draw = (uint32_t)i * 2654435761u + 1;
			// Spread over the first second, as callers come at any time.
			int64_t next = start + (int64_t)(draw % 1000000);
			int gold = 0;
			while (true) {
				int64_t now = Now();
				if (next >= end)
					break;
				if (next > now)
					usleep((useconds_t)(next - now));
				player.AddGold(1);
				gold++;
				int64_t began = Now();
				bool saved = raw
					? RawSave(rawFolder, name, RecordText(name.c_str(), gold),
						&rawSyncs)
					: player.SavePlayer(name.c_str());
				mine.push_back(Now() - began);
				saves++;
				if (!saved)
					failures++;
				draw = draw * 1103515245 + 12345;
				next += 500000 + (int64_t)(draw % 1000000);
			}
			std::lock_guard<std::mutex> locker(lock);
			latencies.insert(latencies.end(), mine.begin(), mine.end());
		});
	}
	for (std::thread& thread : threads)
		thread.join();
	double elapsed = (double)(Now() - start) / 1000000.0;
	int64_t syncs = raw ? rawSyncs.load() : count_save_syncs() - syncsBefore;
	int64_t flushesAfter = DiskFlushes(sVolume);

	std::sort(latencies.begin(), latencies.end());
	auto at = [&latencies](double fraction) {
		if (latencies.empty())
			return 0.0;
		size_t index = std::min(latencies.size() - 1,
			(size_t)(fraction * (double)(latencies.size() - 1) + 0.5));
		return (double)latencies[index] / 1000.0;
	};
	double load = 0;
	if (FILE* file = fopen("/proc/loadavg", "r")) {
		if (fscanf(file, "%lf", &load) != 1)
			load = 0;
		fclose(file);
	}
	printf("| %-4s | %5d | %7.0f | %7.0f | %6.1f | %8.1f | %8.1f | %5lld |"
		" %5.2f |\n", raw ? "raw" : "game", sessions,
		(double)saves.load() / elapsed, (double)syncs / elapsed,
		flushesBefore >= 0 && flushesAfter >= 0
			? (double)(flushesAfter - flushesBefore) / elapsed : -1.0,
		at(0.5), at(0.99), (long long)failures.load(), load);
	fflush(stdout);
}


static int
RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
	return remove(path);
}


int
main(int argc, char** argv)
{
	std::vector<int> sessions = {1, 10, 100, 1000, 2000};
	int seconds = 5;
	std::vector<char*> passed = {argv[0]};
	for (int i = 1; i < argc; i++) {
		if (strcmp(argv[i], "--help") == 0) {
			printf("usage: %s [--sessions LIST] [--seconds S] [benchmark"
				" options]\n"
				"Measures one player-file save against a raw write, fsync and\n"
				"rename of the same bytes, then LIST sessions (default\n"
				"1,10,100,1000,2000) saving about once a second each for S\n"
				"seconds (default 5), the game's way and the raw way, with the\n"
				"syncs asked of the disk. --sessions 0 skips that part.\n",
				argv[0]);
			return 0;
		}
		if (strcmp(argv[i], "--sessions") == 0 && i + 1 < argc) {
			sessions.clear();
			std::string list = argv[++i];
			size_t begin = 0;
			while (begin <= list.size()) {
				size_t comma = list.find(',', begin);
				if (comma == std::string::npos)
					comma = list.size();
				int count = atoi(list.substr(begin, comma - begin).c_str());
				if (count > 0)
					sessions.push_back(count);
				begin = comma + 1;
			}
		} else if (strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
			seconds = std::max(1, atoi(argv[++i]));
		else
			passed.push_back(argv[i]);
	}

	char folder[] = "/tmp/save-bench-XXXXXX";
	if (mkdtemp(folder) == NULL) {
		perror("save_bench");
		return 1;
	}
	sVolume = folder;
	setenv("BOOT_VOLUME", folder, 1);
	if (create_directory(kUsersFolder, 0755) != B_OK) {
		fprintf(stderr, "save_bench: cannot make the users folder in %s\n",
			folder);
		return 1;
	}

	int count = (int)passed.size();
	benchmark::Initialize(&count, passed.data());
	RatioReporter reporter;
	benchmark::RunSpecifiedBenchmarks(&reporter);
	benchmark::Shutdown();
	printf("\nOne save against the raw write, fsync and rename:\n");
	reporter.PrintRatio("SavePlayerChanged", "RawWriteSyncRename");

	if (!sessions.empty()) {
		printf("\nSessions saving about once a second each, %d s:\n\n"
			"| way  | sessions | saves/s | syncs/s | disk flushes/s |"
			" p50 ms | p99 ms | failed | load average |\n"
			"|---|---|---|---|---|---|---|---|---|\n", seconds);
		for (int count : sessions) {
			SaveTogether(count, seconds, false);
			SaveTogether(count, seconds, true);
		}
	}
	nftw(folder, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
	return 0;
}
