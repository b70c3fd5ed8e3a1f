#include <AtomicSave.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TestVolume.h"


namespace {

const char* const kSaving = "/boot/saving";


status_t
Save(const char* path, const std::string& content)
{
	return save_file_atomically(path, kSaving, content.data(), content.size());
}


ino_t
InodeOf(const TestVolume& volume, const char* path)
{
	struct stat info = {};
	EXPECT_EQ(0, stat(volume.MachinePath(path).c_str(), &info));
	return info.st_ino;
}


size_t
CountEntries(const TestVolume& volume, const char* folder)
{
	std::string path = volume.MachinePath(folder);
	if (!std::filesystem::exists(path))
		return 0;
	size_t count = 0;
	for (const auto& entry : std::filesystem::directory_iterator(path)) {
		(void)entry;
		count++;
	}
	return count;
}


// Lets the process write no file beyond a few bytes for as long as it
// lives, as a full disk would; the signal a bigger write raises is ignored,
// so the write fails instead.
class FileSizeLimit {
public:
	explicit FileSizeLimit(rlim_t bytes)
	{
		getrlimit(RLIMIT_FSIZE, &fBefore);
		fSignal = signal(SIGXFSZ, SIG_IGN);
		rlimit limit = fBefore;
		limit.rlim_cur = bytes;
		setrlimit(RLIMIT_FSIZE, &limit);
	}

	~FileSizeLimit()
	{
		setrlimit(RLIMIT_FSIZE, &fBefore);
		signal(SIGXFSZ, fSignal);
	}

private:
	rlimit fBefore;
	sighandler_t fSignal;
};

}	// namespace


TEST(AtomicSaveTest, NewContentReplacesTheFileAndLeavesNothingBehind)
{
	TestVolume volume;
	volume.WriteFile("/boot/record", "the old record\n");

	ASSERT_EQ(B_OK, Save("/boot/record", "the new record\n"));
	EXPECT_EQ("the new record\n", volume.ReadFile("/boot/record"));
	ASSERT_EQ(B_OK, Save("/boot/fresh", "first\n"));
	EXPECT_EQ("first\n", volume.ReadFile("/boot/fresh"));
	EXPECT_EQ(0u, CountEntries(volume, kSaving));
}


TEST(AtomicSaveTest, ContentTheFileHoldsAlreadyIsNotWrittenAgain)
{
	TestVolume volume;
	ASSERT_EQ(B_OK, Save("/boot/record", "one record\n"));
	ino_t saved = InodeOf(volume, "/boot/record");
	int64 syncs = count_save_syncs();

	ASSERT_EQ(B_OK, Save("/boot/record", "one record\n"));
	// A rewrite would have renamed another file over it.
	EXPECT_EQ(saved, InodeOf(volume, "/boot/record"));
	EXPECT_EQ(syncs, count_save_syncs());

	// Same length, other bytes: written.
	ASSERT_EQ(B_OK, Save("/boot/record", "one Record\n"));
	EXPECT_NE(saved, InodeOf(volume, "/boot/record"));
	EXPECT_EQ("one Record\n", volume.ReadFile("/boot/record"));
}


TEST(AtomicSaveTest, WriteThatFailsKeepsTheOldContentWholeAndSaysSo)
{
	TestVolume volume;
	const std::string old = "the old record\n";
	volume.WriteFile("/boot/record", old);
	std::string longer(200, 'n');

	status_t status;
	{
		FileSizeLimit limit(old.size() + 10);
		status = Save("/boot/record", longer);
	}
	EXPECT_NE(B_OK, status);
	EXPECT_EQ(old, volume.ReadFile("/boot/record"));
	EXPECT_EQ(0u, CountEntries(volume, kSaving));

	// The disk has room again: the next save goes through.
	ASSERT_EQ(B_OK, Save("/boot/record", longer));
	EXPECT_EQ(longer, volume.ReadFile("/boot/record"));
}


TEST(AtomicSaveTest, TemporaryFolderThatCannotBeMadeFailsTheSave)
{
	TestVolume volume;
	volume.WriteFile("/boot/record", "kept\n");
	// A file where the folder should be.
	volume.WriteFile(kSaving, "");
	EXPECT_NE(B_OK, Save("/boot/record", "lost\n"));
	EXPECT_EQ("kept\n", volume.ReadFile("/boot/record"));
}


TEST(AtomicSaveTest, SavesOfManyThreadsAtOnceEachEndWithTheirLastContent)
{
	TestVolume volume;
	const int kThreads = 12;
	const int kSaves = 15;
	std::vector<status_t> failures(kThreads, B_OK);
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; t++) {
		threads.emplace_back([t, &failures]() {
			std::string path = "/boot/record" + std::to_string(t);
			for (int i = 0; i < kSaves; i++) {
				std::string content = std::to_string(t) + ":"
					+ std::to_string(i) + "\n";
				status_t status = Save(path.c_str(), content);
				if (status != B_OK)
					failures[t] = status;
			}
		});
	}
	for (std::thread& thread : threads)
		thread.join();

	for (int t = 0; t < kThreads; t++) {
		EXPECT_EQ(B_OK, failures[t]) << t;
		std::string path = "/boot/record" + std::to_string(t);
		EXPECT_EQ(std::to_string(t) + ":" + std::to_string(kSaves - 1) + "\n",
			volume.ReadFile(path.c_str()));
	}
	EXPECT_EQ(0u, CountEntries(volume, kSaving));
}
