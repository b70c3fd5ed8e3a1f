#include "VraskPaths.h"

#include <ShellTest.h>

#include <Messenger.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <signal.h>
#include <stdio.h>
#include <string>
#include <vector>

// The door killed at any moment while many sessions save: a player file is
// replaced in one step or not at all, so every file is always a whole
// record, and what a killed save leaves behind lies outside the users
// folder and is cleared when the door starts again.

namespace {

const int kUsers = 20;
const int kKills = 200;


std::string
UserName(int index)
{
	return "saver" + std::to_string(index);
}


// A whole record of the user: fourteen lines, each ended by its line feed,
// the first the user's name.
::testing::AssertionResult
IsWholeRecord(const std::string& user, const std::string& text)
{
	size_t lines = 0;
	for (char byte : text)
		lines += byte == '\n';
	if (lines != 14 || text.empty() || text.back() != '\n')
		return ::testing::AssertionFailure() << "torn: " << Escape(text);
	if (text.compare(0, user.size() + 1, user + "\n") != 0)
		return ::testing::AssertionFailure() << "not " << user << "'s: "
			<< Escape(text);
	return ::testing::AssertionSuccess();
}


std::set<std::string>
Entries(const std::string& folder)
{
	std::set<std::string> names;
	if (!std::filesystem::exists(folder))
		return names;
	for (const auto& entry : std::filesystem::directory_iterator(folder))
		names.insert(entry.path().filename().string());
	return names;
}

}	// namespace


class SaveKillTest : public ShellTest {
};


TEST_F(SaveKillTest, DoorKilledDuringSavesLeavesEveryPlayerFileWhole)
{
	fVolume.InstallGameData();
	std::set<std::string> users;
	for (int i = 0; i < kUsers; i++) {
		StoredPlayer player;
		player.name = UserName(i);
		// Yesterday's record: the first load of the day changes it, so that
		// old and new records both occur.
		player.lastDay = "20251206";
		WritePlayer(player.name, player.Text());
		users.insert(player.name);
	}

	// Every status command is followed by a save before the next prompt.
	const std::string keys(40, 's');
	uint32 draw = 12345;
	int cutSaves = 0;
	for (int round = 0; round < kKills; round++) {
		SCOPED_TRACE("kill " + std::to_string(round));
		ASSERT_EQ(B_OK, fDoor.StartDoor());
		for (int i = 0; i < kUsers; i++)
			ASSERT_EQ(B_OK, fDoor.Enter(UserName(i), keys));

		// The kill comes after a varying number of one user's texts, while
		// the others are anywhere in their sessions.
		draw = draw * 1103515245 + 12345;
		std::string watched = UserName(int(draw >> 16) % kUsers);
		size_t seen = fDoor.Host().Records(watched).size();
		fDoor.Host().WaitForRecords(watched, seen + (draw >> 8) % 40,
			5000000);
		team_id door = BMessenger(kDrelmoorSignature).Team();
		ASSERT_GT(door, 0);
		ASSERT_EQ(0, kill(door, SIGKILL));
		int exitCode = 0;
		ASSERT_EQ(B_OK, fDoor.WaitForDoorExit(&exitCode));

		for (int i = 0; i < kUsers; i++) {
			std::string user = UserName(i);
			ASSERT_TRUE(IsWholeRecord(user, ReadPlayer(user)));
		}
		ASSERT_EQ(users, Entries(fVolume.MachinePath(kUsersFolder)));
		if (!Entries(fVolume.MachinePath(kVraskFolder ".saving")).empty())
			cutSaves++;
	}
	// How often the kill fell into a save, for whoever reads the log.
	printf("%d of %d kills cut a save short\n", cutSaves, kKills);

	// The door that starts next clears what the killed saves left, before
	// its loop takes its first message.
	ASSERT_EQ(B_OK, fDoor.StartDoor());
	BMessage reply;
	ASSERT_EQ(B_OK, ScriptedHost::SendToDoor(kDrelmoorSignature,
		BMessage(B_QUIT_REQUESTED), &reply));
	int exitCode = -1;
	ASSERT_EQ(B_OK, fDoor.WaitForDoorExit(&exitCode));
	EXPECT_TRUE(Entries(fVolume.MachinePath(kVraskFolder ".saving")).empty());
	EXPECT_EQ(users, Entries(fVolume.MachinePath(kUsersFolder)));
}
