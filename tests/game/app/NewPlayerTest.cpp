// The new-player dialogue and the screens that show a character's name,
// through the real door program against the scripted host.

#include "ShellTest.h"

#include <VraskPaths.h>

#include <string>
#include <vector>


namespace {

typedef ShellTest NewPlayerTest;

const char* const kRefused
	= "\nThe town crier can't pronounce that name.  Try another.";


std::vector<std::string>
Echoes(const std::string& keys)
{
	std::vector<std::string> texts;
	AppendEchoes(texts, keys);
	return texts;
}


std::vector<std::string>
NameQuestion(const std::string& user)
{
	return {"\nWhat name would you like? [", user, "] : "};
}


// A name that would drive every other player's terminal (colours, a
// cleared screen, a window title, the 8-bit CSI) is refused and asked for
// again; so is one of 31 bytes. One of 30 is taken.
TEST_F(NewPlayerTest, NameWithControlBytesOrTooLongIsAskedForAgain)
{
	const std::string hostile = "\x1b[31mRED\x1b[2J\x1b]0;pwn\a\x9b" "2J";
	const std::string tooLong(31, 'L');
	const std::string longest(30, 'L');
	std::vector<std::string> texts = fDoor.Play("evil1",
		hostile + "\n" + tooLong + "\n" + longest + "\nyq");

	std::vector<std::string> expected = Concatenated({Greeting(),
		{"\n\nIt looks like you're new here.\n"},
		NameQuestion("evil1"), Echoes(hostile + "\n"), {kRefused},
		NameQuestion("evil1"), Echoes(tooLong + "\n"), {kRefused},
		NameQuestion("evil1"), Echoes(longest + "\n"),
		{"\n[", longest, "] is this correct?", "y"},
		PromptLine(longest, "Town"), {"q", "uit"}});
	EXPECT_EQ(Describe(texts), Describe(expected));

	StoredPlayer stored;
	stored.name = longest;
	EXPECT_EQ(ReadPlayer("evil1"), stored.Text());
}


// The character's name names no file: the parts of the board's rule that
// guard file names (a slash, a leading dot or blank) do not refuse it.
TEST_F(NewPlayerTest, NameThatWouldBeNoFileNameIsStillTaken)
{
	const std::string name = ".Rook/of/the Hills";
	std::vector<std::string> texts = fDoor.Play("Ash", name + "\nyq");

	std::vector<std::string> expected = Concatenated({Greeting(),
		{"\n\nIt looks like you're new here.\n"}, NameQuestion("Ash"),
		Echoes(name + "\n"), {"\n[", name, "] is this correct?", "y"},
		PromptLine(name, "Town"), {"q", "uit"}});
	EXPECT_EQ(Describe(texts), Describe(expected));
}


TEST_F(NewPlayerTest, BackspaceAndDelEraseInTheName)
{
	std::vector<std::string> texts = fDoor.Play("Ash", "Carxx\b\x7fl\nyq");

	std::vector<std::string> expected = Concatenated({Greeting(),
		{"\n\nIt looks like you're new here.\n"}, NameQuestion("Ash"),
		{"C", "a", "r", "x", "x", "\b \b", "\b \b", "l", "\n"},
		{"\n[", "Carl", "] is this correct?", "y"},
		PromptLine("Carl", "Town"), {"q", "uit"}});
	EXPECT_EQ(Describe(texts), Describe(expected));

	StoredPlayer stored;
	stored.name = "Carl";
	EXPECT_EQ(ReadPlayer("Ash"), stored.Text());
}


// A player file written before names were judged: every screen shows the
// name with its control bytes replaced, and the file keeps it as it is.
TEST_F(NewPlayerTest, StoredNameWithControlBytesIsShownHarmless)
{
	StoredPlayer player;
	player.name = "\x1b[2J\x9b" "Bad\a";
	WritePlayer("Bad", player.Text());
	std::vector<std::string> texts = fDoor.Play("Bad", "swq");

	StoredPlayer shown = player;
	shown.name = "?[2J?Bad?";
	std::vector<std::string> expected = Concatenated({Greeting(),
		WelcomeBack(shown.name), PromptLine(shown.name, "Town"),
		{"s", "tatus"}, StatusScreen(shown, "32", "2", "2"),
		PromptLine(shown.name, "Town"), {"w", "all of Fame",
			"\n  Welcome to The Wall of Fame\nName : level", "\n", shown.name,
			" : ", "1", "\n"},
		PromptLine(shown.name, "Town"), {"q", "uit"}});
	EXPECT_EQ(Describe(texts), Describe(expected));
	EXPECT_EQ(ReadPlayer("Bad"), player.Text());
}


// A name line of 2 MB is past what any reader takes: the Wall of Fame
// passes the file over, and its user is asked for a name, rather than
// anybody's session holding or sending megabytes.
TEST_F(NewPlayerTest, NameLineOfMegabytesIsNoPlayersFile)
{
	StoredPlayer giant;
	giant.name = std::string(2 * 1024 * 1024, 'G');
	WritePlayer("Giant", giant.Text());
	StoredPlayer other;
	other.name = "Other";
	WritePlayer("Other", other.Text());

	std::vector<std::string> texts = fDoor.Play("Other", "wq");
	EXPECT_EQ(Describe(texts), Describe(Concatenated({Greeting(),
		WelcomeBack("Other"), PromptLine("Other", "Town"), {"w", "all of Fame",
			"\n  Welcome to The Wall of Fame\nName : level", "\n", "Other",
			" : ", "1", "\n"},
		PromptLine("Other", "Town"), {"q", "uit"}})));

	texts = fDoor.Play("Giant", "\nyq");
	EXPECT_EQ(Describe(texts), Describe(Concatenated({Greeting(),
		{"\n\nIt looks like you're new here.\n"}, NameQuestion("Giant"),
		{"\n"}, {"\n[", "Giant", "] is this correct?", "y"},
		PromptLine("Giant", "Town"), {"q", "uit"}})));
	// The file is the new character's now.
	StoredPlayer saved;
	saved.name = "Giant";
	EXPECT_EQ(ReadPlayer("Giant"), saved.Text());
}

}	// namespace
