#include "AccountFile.h"

#include "PasswordHash.h"

#include <TestVolume.h>

#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>


TEST(AccountFileTest, AccountsAreKeptAcrossLoadsAndFoundInAnyCase)
{
	TestVolume volume;
	std::string hash;
	ASSERT_EQ(B_OK, HashPassword("secret123", &hash));
	{
		AccountFile accounts(kAccountsPath);
		BString problem;
		ASSERT_EQ(B_OK, accounts.Load(&problem)) << problem.String();
		ASSERT_EQ(B_OK, accounts.Add("Ash", hash));
		EXPECT_EQ(B_FILE_EXISTS, accounts.Add("ASH", hash));
	}
	EXPECT_EQ("Ash\t" + hash + "\n", volume.ReadFile(kAccountsPath));
	// No temporary file is left beside it.
	EXPECT_FALSE(volume.Exists(kAccountsPath ".new"));

	AccountFile accounts(kAccountsPath);
	BString problem;
	ASSERT_EQ(B_OK, accounts.Load(&problem));
	BString storedName;
	std::string found;
	ASSERT_EQ(B_OK, accounts.Find("aSh", &storedName, &found));
	EXPECT_STREQ("Ash", storedName.String());
	EXPECT_TRUE(CheckPassword(found, "secret123"));
	EXPECT_FALSE(CheckPassword(found, "secret124"));
	EXPECT_EQ(B_ENTRY_NOT_FOUND, accounts.Find("Bo", &storedName, &found));
}


TEST(AccountFileTest, PasswordsAreArgon2idHashesWithTheirOwnSalt)
{
	std::string first;
	std::string second;
	ASSERT_EQ(B_OK, HashPassword("secret123", &first));
	ASSERT_EQ(B_OK, HashPassword("secret123", &second));
	EXPECT_EQ(0u, first.find("$argon2id$"));
	EXPECT_NE(first, second);
	EXPECT_EQ(std::string::npos, first.find("secret123"));
}


TEST(AccountFileTest, BrokenFileIsRefusedWithTheLineNamed)
{
	struct Case {
		const char* content;
		const char* problem;
	};
	const Case cases[] = {
		{ "Ash\t$argon2id$v=19$x\nBo $argon2id$y\n",
			"at line 2: no tab between the name and the hash" },
		{ "Ash\t$argon2id$v=19$x\nash\t$argon2id$v=19$y\n",
			"at line 2: the name is there twice" },
		{ "../up\t$argon2id$v=19$x\n", "at line 1: the name is no board name" },
		{ "Ash\tplain-password\n", "at line 1: the hash is no Argon2id hash" },
		{ "Ash\t$argon2id$v=19$x", "line 1 does not end" },
	};
	for (const Case& which : cases) {
		TestVolume volume;
		volume.WriteFile(kAccountsPath, which.content);
		AccountFile accounts(kAccountsPath);
		BString problem;
		EXPECT_EQ(B_BAD_DATA, accounts.Load(&problem)) << which.problem;
		EXPECT_NE(nullptr, strstr(problem.String(), which.problem))
			<< problem.String();
		EXPECT_NE(nullptr, strstr(problem.String(), "accounts"));
	}
}


TEST(AccountFileTest, LockKeepsTheHashAndANewPasswordKeepsTheLock)
{
	TestVolume volume;
	volume.WriteFile(kAccountsPath, "Ash\t$argon2id$v=19$old\n");
	AccountFile accounts(kAccountsPath);
	BString problem;
	ASSERT_EQ(B_OK, accounts.Load(&problem)) << problem.String();

	BString storedName;
	ASSERT_EQ(B_OK, accounts.SetLocked("ASH", true, &storedName));
	EXPECT_STREQ("Ash", storedName.String());
	EXPECT_EQ("Ash\t!$argon2id$v=19$old\n", volume.ReadFile(kAccountsPath));
	ASSERT_EQ(B_OK, accounts.SetHash("ash", "$argon2id$v=19$new",
		&storedName));
	EXPECT_EQ("Ash\t!$argon2id$v=19$new\n", volume.ReadFile(kAccountsPath));

	// A locked account's file is read back as it was written.
	AccountFile again(kAccountsPath);
	ASSERT_EQ(B_OK, again.Load(&problem)) << problem.String();
	std::string hash;
	ASSERT_EQ(B_OK, again.Find("Ash", &storedName, &hash));
	EXPECT_TRUE(IsLockedAccountHash(hash));
	ASSERT_EQ(B_OK, again.SetLocked("Ash", false, &storedName));
	EXPECT_EQ("Ash\t$argon2id$v=19$new\n", volume.ReadFile(kAccountsPath));
	EXPECT_EQ(B_ENTRY_NOT_FOUND, again.SetLocked("Bo", true, &storedName));
	EXPECT_EQ(B_ENTRY_NOT_FOUND, again.SetHash("Bo", "$argon2id$v=19$x",
		&storedName));
}


TEST(AccountFileTest, FileThatCannotBeReadWholeKeepsNoAccount)
{
	// Loaded as far as it went, such a file would be a board without the
	// accounts after its cut, open to anyone registering those names anew.
	{
		TestVolume volume;
		volume.WriteFile(kAccountsPath, "Ash\t$argon2id$v=19$x\nBo\t$argon2id$");
		AccountFile accounts(kAccountsPath);
		BString problem;
		EXPECT_EQ(B_BAD_DATA, accounts.Load(&problem));
		BString storedName;
		std::string hash;
		EXPECT_EQ(B_ENTRY_NOT_FOUND, accounts.Find("Ash", &storedName, &hash));
	}
	{
		TestVolume volume;
		volume.MakeFolder(kAccountsPath);
		AccountFile accounts(kAccountsPath);
		BString problem;
		EXPECT_NE(B_OK, accounts.Load(&problem));
		EXPECT_NE(nullptr, strstr(problem.String(), "cannot read the accounts"))
			<< problem.String();
	}
	{
		TestVolume volume;
		volume.WriteFile(kAccountsPath, "");
		ASSERT_EQ(0, truncate(volume.MachinePath(kAccountsPath).c_str(),
			65 * 1024 * 1024));
		AccountFile accounts(kAccountsPath);
		BString problem;
		EXPECT_EQ(B_BAD_DATA, accounts.Load(&problem));
		EXPECT_NE(nullptr, strstr(problem.String(), "larger than"))
			<< problem.String();
	}
}
