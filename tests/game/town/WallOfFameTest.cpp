#include "VraskPaths.h"

#include <Directory.h>
#include <DoorSession.h>
#include <Entry.h>
#include <TestVolume.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <unistd.h>
#include <vector>

// The Wall of Fame seen by a visitor of the door. The visitor's host name
// cannot be a file name, so the visitor is never saved and the users
// folder holds exactly what the test put there.

namespace {

typedef std::vector<std::string> Pieces;

const char* const kVisitor = "wanderer/of/the/wall";
const std::string kHeader = "\n  Welcome to The Wall of Fame\nName : level";


std::string
PlayerFile(const std::string& name, int32 level)
{
	return name + "\nModerately Sharp Playing Card\nT-Shirt and Jeans\n1\n1\n"
		"0\n10\n10\n" + std::to_string(level) + "\n0\n7\n7\n15\n99991231\n";
}


std::string
UserFile(const std::string& userName)
{
	return std::string(kUsersFolder) + userName;
}


// A new visitor accepts the offered name, looks at the wall and quits.
const char* const kLookAtTheWall = "\nyWq";


// What the wall sent: the pieces from its header up to the next prompt.
Pieces
Wall(const Pieces& texts)
{
	Pieces wall;
	bool inWall = false;
	for (const std::string& piece : texts) {
		if (piece == kHeader)
			inWall = true;
		else if (inWall && piece.rfind("\n<", 0) == 0)
			break;
		if (inWall)
			wall.push_back(piece);
	}
	return wall;
}


// The leaf names of the users folder in the order the folder yields them.
std::vector<std::string>
FolderOrder()
{
	std::vector<std::string> names;
	BDirectory users(kUsersFolder);
	BEntry entry;
	char name[B_FILE_NAME_LENGTH];
	while (users.GetNextEntry(&entry) == B_OK) {
		if (entry.GetName(name) == B_OK)
			names.push_back(name);
	}
	return names;
}

}	// namespace


TEST(WallOfFameTest, EmptyUsersFolderShowsOnlyTheHeading)
{
	TestVolume volume;
	volume.MakeFolder(kUsersFolder);
	DoorSession door;

	Pieces texts = door.Play(kVisitor, kLookAtTheWall);

	EXPECT_EQ(Wall(texts), Pieces({ kHeader, "\n" }));
}


TEST(WallOfFameTest, TwoCharactersAreListedInTheFoldersOrder)
{
	TestVolume volume;
	volume.WriteFile(UserFile("ash").c_str(), PlayerFile("Ash", 3));
	volume.WriteFile(UserFile("rook").c_str(), PlayerFile("Rook the Bold", 12));
	const std::map<std::string, Pieces> lines = {
		{ "ash", { "\n", "Ash", " : ", "3" } },
		{ "rook", { "\n", "Rook the Bold", " : ", "12" } },
	};
	DoorSession door;

	Pieces texts = door.Play(kVisitor, kLookAtTheWall);

	std::vector<std::string> order = FolderOrder();
	ASSERT_EQ(order.size(), 2u);
	Pieces expected = { kHeader };
	for (const std::string& userName : order) {
		const Pieces& line = lines.at(userName);
		expected.insert(expected.end(), line.begin(), line.end());
	}
	expected.push_back("\n");
	EXPECT_EQ(Wall(texts), expected);
}


TEST(WallOfFameTest, EntriesThatAreNoWholePlayerFileAreSkipped)
{
	TestVolume volume;
	std::string whole = PlayerFile("Ash", 5);
	volume.WriteFile(UserFile("ash").c_str(), whole);
	volume.MakeFolder(UserFile("attic").c_str());
	volume.WriteFile(UserFile("attic/ghost").c_str(), PlayerFile("Ghost", 9));
	volume.WriteFile(UserFile("notes.txt").c_str(), "buy more potions\n");
	volume.WriteFile(UserFile("saving").c_str(),
		whole.substr(0, whole.find("\n0\n7\n")));
	// A link is not followed, even to a player file beside it.
	ASSERT_EQ(symlink("ash", volume.MachinePath(UserFile("alias").c_str())
		.c_str()), 0);
	DoorSession door;

	Pieces texts = door.Play(kVisitor, kLookAtTheWall);

	EXPECT_EQ(Wall(texts), Pieces({ kHeader, "\n", "Ash", " : ", "5", "\n" }));
}


TEST(WallOfFameTest, MissingUsersFolderReportsTheFailureBehindTheHeading)
{
	TestVolume volume;
	volume.MakeFolder(kVraskFolder);
	DoorSession door;

	Pieces texts = door.Play(kVisitor, kLookAtTheWall);

	EXPECT_EQ(Wall(texts), Pieces({ kHeader,
		"The users list failed to initialize.", "\n" }));
}


TEST(WallOfFameTest, ShowsCharacterNamesNotTheHostsUserNames)
{
	TestVolume volume;
	volume.WriteFile(UserFile("hob").c_str(), PlayerFile("Dolly", 2));
	DoorSession door;

	Pieces texts = door.Play("hob", "Wq");

	// The visitor's own character, as saved before the command.
	EXPECT_EQ(Wall(texts), Pieces({ kHeader, "\n", "Dolly", " : ", "2", "\n" }));
}
