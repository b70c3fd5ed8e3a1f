// The board's records as the host's looper meets them: a call logged and
// ended (two short transactions), a login's look-up among a thousand
// accounts, and a registration, beside a raw append of the same call's
// bytes to a file and a registration in the accounts file of before (the
// whole file rewritten and synced), in the same run. The program works in
// a boot volume of its own under /tmp and removes it.
#include "AccountDatabase.h"
#include "AccountFile.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>


static const int kAccounts = 1000;
static const char* const kHash = "$argon2id$v=19$m=65536,t=2,p=1$YWJjZGVm"
	"Z2hpamtsbW5vcA$0123456789abcdefghijklmnopqrstuvwxyzABCDE";


static int
RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
	return remove(path);
}


// A fresh volume for each benchmark, with the accounts made.
class Volume {
public:
	Volume()
	{
		char folder[] = "/tmp/records-bench-XXXXXX";
		if (mkdtemp(folder) == NULL) {
			perror("mkdtemp");
			exit(1);
		}
		fFolder = folder;
		setenv("BOOT_VOLUME", folder, 1);
	}
	~Volume()
	{
		nftw(fFolder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
	}

	const std::string& Folder() const { return fFolder; }

private:
	std::string fFolder;
};


static void
OpenWithAccounts(AccountDatabase& records)
{
	BString problem;
	if (records.Open(AccountDatabase::Access::kReadWrite, &problem) != B_OK) {
		fprintf(stderr, "%s\n", problem.String());
		exit(1);
	}
	for (int i = 0; i < kAccounts; i++) {
		BString name("Caller");
		name << (int32)i;
		records.Add(name, kHash);
	}
}


static void
BM_CallLoggedAndEnded(benchmark::State& state)
{
	Volume volume;
	AccountDatabase records;
	OpenWithAccounts(records);
	for (auto _ : state) {
		int64 call = records.CallStarted("Caller500", "telnet", "127.0.0.1");
		records.CallEnded(call, CallEnding::kGoodBye);
		benchmark::DoNotOptimize(call);
	}
}
BENCHMARK(BM_CallLoggedAndEnded)->Unit(benchmark::kMicrosecond);


// The baseline: the same call's bytes appended to a file twice, unsynced,
// as a log file of calls would take them.
static void
BM_RawAppendOfTheSameCall(benchmark::State& state)
{
	Volume volume;
	std::string path = volume.Folder() + "/calls.log";
	int file = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
		0600);
	std::string line = "Caller500\ttelnet\t127.0.0.1\t1700000000\n";
	for (auto _ : state) {
		benchmark::DoNotOptimize(write(file, line.data(), line.size()));
		benchmark::DoNotOptimize(write(file, line.data(), line.size()));
	}
	close(file);
}
BENCHMARK(BM_RawAppendOfTheSameCall)->Unit(benchmark::kMicrosecond);


static void
BM_LoginLookUp(benchmark::State& state)
{
	Volume volume;
	AccountDatabase records;
	OpenWithAccounts(records);
	BString storedName;
	std::string hash;
	for (auto _ : state)
		benchmark::DoNotOptimize(records.Find("caller777", &storedName, &hash));
}
BENCHMARK(BM_LoginLookUp)->Unit(benchmark::kMicrosecond);


static void
BM_RegistrationInTheRecords(benchmark::State& state)
{
	Volume volume;
	AccountDatabase records;
	OpenWithAccounts(records);
	int next = 0;
	for (auto _ : state) {
		BString name("Newcomer");
		name << (int32)next++;
		benchmark::DoNotOptimize(records.Add(name, kHash));
	}
}
BENCHMARK(BM_RegistrationInTheRecords)->Unit(benchmark::kMicrosecond);


// The accounts file of before: every registration rewrites and syncs the
// whole file.
static void
BM_RegistrationInTheAccountsFile(benchmark::State& state)
{
	Volume volume;
	std::string content;
	for (int i = 0; i < kAccounts; i++)
		content += "Caller" + std::to_string(i) + "\t" + kHash + "\n";
	std::string folder = volume.Folder() + "/home/Zenbo";
	std::string command = "mkdir -p " + folder;
	if (system(command.c_str()) != 0)
		exit(1);
	FILE* output = fopen((folder + "/accounts").c_str(), "w");
	if (output == NULL || fwrite(content.data(), 1, content.size(), output)
			!= content.size() || fclose(output) != 0) {
		exit(1);
	}
	AccountFile file(kAccountsPath);
	BString problem;
	if (file.Load(&problem) != B_OK) {
		fprintf(stderr, "%s\n", problem.String());
		exit(1);
	}
	int next = 0;
	for (auto _ : state) {
		BString name("Newcomer");
		name << (int32)next++;
		benchmark::DoNotOptimize(file.Add(name, kHash));
	}
}
BENCHMARK(BM_RegistrationInTheAccountsFile)->Unit(benchmark::kMicrosecond)
	->Iterations(50);


BENCHMARK_MAIN();
