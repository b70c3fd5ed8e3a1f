#include "AccountDatabase.h"

#include "PasswordHash.h"

#include <TestVolume.h>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <sys/stat.h>


namespace {

const char* const kHashOfAsh = "$argon2id$v=19$m=65536,t=2,p=1$YWJjZGVm"
	"Z2hpamtsbW5vcA$0123456789abcdefghijklmnopqrstuvwxyzABCDE";


status_t
OpenForHost(AccountDatabase& records)
{
	BString problem;
	status_t status = records.Open(AccountDatabase::Access::kReadWrite,
		&problem);
	EXPECT_EQ(B_OK, status) << problem.String();
	return status;
}


// A second connection to the records, as a sysop's sqlite3 would open.
sqlite3*
OpenBeside(const TestVolume& volume)
{
	sqlite3* database = NULL;
	EXPECT_EQ(SQLITE_OK, sqlite3_open(volume.MachinePath(kRecordsPath)
		.c_str(), &database));
	return database;
}


int
CountOf(sqlite3* database, const char* sql)
{
	sqlite3_stmt* statement = NULL;
	int count = -1;
	if (sqlite3_prepare_v2(database, sql, -1, &statement, NULL) == SQLITE_OK
		&& sqlite3_step(statement) == SQLITE_ROW) {
		count = sqlite3_column_int(statement, 0);
	}
	sqlite3_finalize(statement);
	return count;
}

}	// namespace


TEST(AccountDatabaseTest, AccountsFileIsTakenOverWithHashesAndLocksAndKept)
{
	TestVolume volume;
	std::string hash;
	ASSERT_EQ(B_OK, HashPassword("secret123", &hash));
	std::string file = "Ash\t" + hash + "\nBo\t!" + kHashOfAsh + "\n";
	volume.WriteFile(kAccountsPath, file);
	{
		AccountDatabase records;
		ASSERT_EQ(B_OK, OpenForHost(records));
		BString storedName;
		std::string found;
		ASSERT_EQ(B_OK, records.Find("ASH", &storedName, &found));
		EXPECT_STREQ("Ash", storedName.String());
		EXPECT_TRUE(CheckPassword(found, "secret123"));
		ASSERT_EQ(B_OK, records.Find("bo", &storedName, &found));
		EXPECT_EQ(std::string("!") + kHashOfAsh, found);
	}
	// Kept as it was, renamed, and the records owner-only.
	EXPECT_FALSE(volume.Exists(kAccountsPath));
	EXPECT_EQ(file, volume.ReadFile(kAccountsPath kMigratedAccountsSuffix));
	struct stat info;
	ASSERT_EQ(0, stat(volume.MachinePath(kRecordsPath).c_str(), &info));
	EXPECT_EQ(0600u, info.st_mode & 0777);

	// A file put back later takes no account over one in the records.
	volume.WriteFile(kAccountsPath, "Ash\t" + std::string(kHashOfAsh)
		+ "\nCy\t" + kHashOfAsh + "\n");
	AccountDatabase again;
	ASSERT_EQ(B_OK, OpenForHost(again));
	BString storedName;
	std::string found;
	ASSERT_EQ(B_OK, again.Find("Ash", &storedName, &found));
	EXPECT_TRUE(CheckPassword(found, "secret123"));
	EXPECT_EQ(B_OK, again.Find("Cy", &storedName, &found));
}


TEST(AccountDatabaseTest, BrokenAccountsFileStopsTheTakeOverAndStaysInPlace)
{
	TestVolume volume;
	volume.WriteFile(kAccountsPath, "Ash\tnot a hash\n");
	AccountDatabase records;
	BString problem;
	EXPECT_EQ(B_BAD_DATA, records.Open(AccountDatabase::Access::kReadWrite,
		&problem));
	EXPECT_NE(nullptr, strstr(problem.String(), "line 1")) << problem.String();
	EXPECT_TRUE(volume.Exists(kAccountsPath));
	EXPECT_FALSE(volume.Exists(kAccountsPath kMigratedAccountsSuffix));
}


TEST(AccountDatabaseTest, SchemaCarriesItsVersionAndANewerOneIsRefused)
{
	TestVolume volume;
	{
		AccountDatabase records;
		ASSERT_EQ(B_OK, OpenForHost(records));
		EXPECT_EQ(AccountDatabase::kSchemaVersion, records.SchemaVersion());
	}
	sqlite3* beside = OpenBeside(volume);
	ASSERT_EQ(SQLITE_OK, sqlite3_exec(beside, "PRAGMA user_version = 99",
		NULL, NULL, NULL));
	sqlite3_close(beside);

	for (auto access : { AccountDatabase::Access::kReadWrite,
			AccountDatabase::Access::kReadOnly }) {
		AccountDatabase records;
		BString problem;
		EXPECT_EQ(B_NOT_SUPPORTED, records.Open(access, &problem));
		EXPECT_NE(nullptr, strstr(problem.String(), "newer host"))
			<< problem.String();
	}
}


TEST(AccountDatabaseTest, ReadingFindsNoRecordsBeforeTheHostMadeThem)
{
	TestVolume volume;
	AccountDatabase records;
	BString problem;
	EXPECT_EQ(B_ENTRY_NOT_FOUND,
		records.Open(AccountDatabase::Access::kReadOnly, &problem));
	// Reading made nothing.
	EXPECT_FALSE(volume.Exists(kRecordsPath));
}


TEST(AccountDatabaseTest, CallsAreLoggedWithTheirEndingsAndCountedOnTheAccount)
{
	TestVolume volume;
	AccountDatabase records;
	ASSERT_EQ(B_OK, OpenForHost(records));
	ASSERT_EQ(B_OK, records.Add("Ash", kHashOfAsh));

	int64 first = records.CallStarted("Ash", "telnet", "127.0.0.1");
	int64 second = records.CallStarted("ash", "ssh", "::1");
	// Another board's caller has no account, but its call is logged.
	int64 third = records.CallStarted("Kit@DARK", "rlogin", "10.0.0.2");
	ASSERT_GT(first, 0);
	ASSERT_GT(second, first);
	ASSERT_GT(third, second);
	records.CallEnded(first, CallEnding::kTakenOver);
	records.CallEnded(third, CallEnding::kTimeUp);
	// A second end of a call changes nothing.
	records.CallEnded(first, CallEnding::kGoodBye);

	std::vector<CallRecord> calls = records.LastCalls(10, BString());
	ASSERT_EQ(3u, calls.size());
	EXPECT_STREQ("Kit@DARK", calls[0].name.String());
	EXPECT_TRUE(calls[0].ended);
	EXPECT_EQ(CallEnding::kTimeUp, calls[0].ending);
	EXPECT_STREQ("ssh", calls[1].way.String());
	EXPECT_STREQ("::1", calls[1].address.String());
	EXPECT_FALSE(calls[1].ended);
	EXPECT_EQ(CallEnding::kTakenOver, calls[2].ending);
	EXPECT_GE(calls[2].end, calls[2].start);

	// By name, in any case; and no more than asked for.
	EXPECT_EQ(2u, records.LastCalls(10, "ASH").size());
	EXPECT_EQ(1u, records.LastCalls(1, BString()).size());
	EXPECT_TRUE(records.LastCalls(0, BString()).empty());

	AccountDatabase::Account account;
	ASSERT_EQ(B_OK, records.GetAccount("ash", &account));
	EXPECT_EQ(2, account.calls);
	EXPECT_NE(0, account.firstCall);
	EXPECT_GE(account.lastCall, account.firstCall);
}


TEST(AccountDatabaseTest, CallsTheHostDiedUnderAreDroppedAtTheNextStart)
{
	TestVolume volume;
	int64 call = 0;
	{
		AccountDatabase records;
		ASSERT_EQ(B_OK, OpenForHost(records));
		call = records.CallStarted("Ash", "web", "127.0.0.1");
		ASSERT_GT(call, 0);
		// Gone without an end, as a host that was killed.
	}
	{
		AccountDatabase reader;
		BString problem;
		ASSERT_EQ(B_OK, reader.Open(AccountDatabase::Access::kReadOnly,
			&problem));
		// Reading marks nothing: the host may still be on the call.
		EXPECT_FALSE(reader.LastCalls(1, BString())[0].ended);
	}
	AccountDatabase records;
	ASSERT_EQ(B_OK, OpenForHost(records));
	std::vector<CallRecord> calls = records.LastCalls(5, BString());
	ASSERT_EQ(1u, calls.size());
	EXPECT_TRUE(calls[0].ended);
	EXPECT_EQ(CallEnding::kDropped, calls[0].ending);
	// Its end went unknown: no length is made up for it.
	EXPECT_EQ(0, calls[0].end);
}


TEST(AccountDatabaseTest, LockAndNewPasswordKeepEachOther)
{
	TestVolume volume;
	AccountDatabase records;
	ASSERT_EQ(B_OK, OpenForHost(records));
	ASSERT_EQ(B_OK, records.Add("Ash", kHashOfAsh));
	BString storedName;
	ASSERT_EQ(B_OK, records.SetLocked("ASH", true, &storedName));
	EXPECT_STREQ("Ash", storedName.String());
	std::string newHash = std::string(kHashOfAsh) + "x";
	ASSERT_EQ(B_OK, records.SetHash("ash", newHash, &storedName));
	std::string found;
	ASSERT_EQ(B_OK, records.Find("Ash", &storedName, &found));
	EXPECT_EQ("!" + newHash, found);
	ASSERT_EQ(B_OK, records.SetLocked("Ash", false, &storedName));
	ASSERT_EQ(B_OK, records.Find("Ash", &storedName, &found));
	EXPECT_EQ(newHash, found);
	EXPECT_EQ(B_ENTRY_NOT_FOUND, records.SetHash("Bo", newHash, &storedName));
	EXPECT_EQ(B_ENTRY_NOT_FOUND, records.SetLocked("Bo", true, &storedName));
}


// A write the records cannot take (here another writer holds them, as a
// sysop's sqlite3 in a transaction would) fails that change alone: logins
// still read, and the log says so once until a write succeeds again.
TEST(AccountDatabaseTest, RefusedWritesKeepReadingAndAreLoggedOnce)
{
	TestVolume volume;
	AccountDatabase records;
	ASSERT_EQ(B_OK, OpenForHost(records));
	ASSERT_EQ(B_OK, records.Add("Ash", kHashOfAsh));

	sqlite3* beside = OpenBeside(volume);
	ASSERT_EQ(SQLITE_OK, sqlite3_exec(beside, "BEGIN IMMEDIATE", NULL, NULL,
		NULL));
	testing::internal::CaptureStderr();
	EXPECT_EQ(0, records.CallStarted("Ash", "telnet", "127.0.0.1"));
	EXPECT_NE(B_OK, records.Add("Bo", kHashOfAsh));
	BString storedName;
	std::string found;
	EXPECT_EQ(B_OK, records.Find("Ash", &storedName, &found));
	std::string log = testing::internal::GetCapturedStderr();
	size_t first = log.find("the board goes on");
	ASSERT_NE(std::string::npos, first) << log;
	EXPECT_EQ(std::string::npos, log.find("the board goes on", first + 1))
		<< log;

	ASSERT_EQ(SQLITE_OK, sqlite3_exec(beside, "COMMIT", NULL, NULL, NULL));
	testing::internal::CaptureStderr();
	EXPECT_GT(records.CallStarted("Ash", "telnet", "127.0.0.1"), 0);
	log = testing::internal::GetCapturedStderr();
	EXPECT_NE(std::string::npos, log.find("written again")) << log;
	EXPECT_EQ(1, CountOf(beside, "SELECT COUNT(*) FROM calls"));
	EXPECT_EQ(0, CountOf(beside, "SELECT COUNT(*) FROM accounts"
		" WHERE key = 'bo'"));
	sqlite3_close(beside);
}


TEST(AccountDatabaseTest, HostileNamesAndAddressesAreKeptAsGiven)
{
	TestVolume volume;
	AccountDatabase records;
	ASSERT_EQ(B_OK, OpenForHost(records));
	BString name("Evil'); DROP TABLE calls;--");
	BString address("\x1b[2J");
	int64 call = records.CallStarted(name, "telnet", address);
	ASSERT_GT(call, 0);
	records.CallEnded(call, CallEnding::kKicked);
	std::vector<CallRecord> calls = records.LastCalls(10, name);
	ASSERT_EQ(1u, calls.size());
	EXPECT_STREQ(name.String(), calls[0].name.String());
	EXPECT_STREQ(address.String(), calls[0].address.String());
	EXPECT_EQ(CallEnding::kKicked, calls[0].ending);
}
