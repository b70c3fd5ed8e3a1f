// Golden transcripts of whole sessions. Each file names a user, the keys the
// user types and, if the user has played before, the player file; then the
// exact pieces of text the door sends (echoes included), one quoted line
// each, and the player file the session leaves behind. The program runs the
// transcripts named on its command line, one test each.
//
//   # why this transcript exists
//   user Ash
//   keys "\nysq"
//   player          (optional; the file's lines, up to a line ".")
//   texts           (the pieces, up to a line ".")
//   saved           (the file after the session, up to "."), or "saved none"
//
// "@today" in a file line stands for the day number of the frozen clock.

#include "ShellTest.h"

#include <fstream>
#include <sstream>


namespace {


struct Transcript {
	std::string				user;
	std::string				keys;
	bool					hasPlayer = false;
	std::string				player;
	std::vector<std::string> texts;
	enum { kUnchecked, kAbsent, kPresent } saved = kUnchecked;
	std::string				savedFile;
};


std::string
WithToday(const std::string& line)
{
	std::string result = line;
	size_t at = result.find("@today");
	if (at != std::string::npos)
		result.replace(at, 6, TodayNumber());
	return result;
}


bool
Unquote(const std::string& line, std::string* text)
{
	if (line.size() < 2 || line.front() != '"' || line.back() != '"')
		return false;
	return Unescape(line.substr(1, line.size() - 2), text);
}


// Reads the block after a heading, up to the line ".".
bool
ReadBlock(std::istream& input, int* number, std::vector<std::string>* lines)
{
	std::string line;
	while (std::getline(input, line)) {
		(*number)++;
		if (line == ".")
			return true;
		lines->push_back(line);
	}
	return false;
}


std::string
LoadTranscript(const std::string& path, Transcript* transcript)
{
	std::ifstream input(path);
	if (!input)
		return "cannot open " + path;

	std::string line;
	int number = 0;
	while (std::getline(input, line)) {
		number++;
		std::string where = path + ":" + std::to_string(number) + ": ";
		if (line.empty() || line[0] == '#')
			continue;

		std::vector<std::string> block;
		if (line.rfind("user ", 0) == 0)
			transcript->user = line.substr(5);
		else if (line.rfind("keys ", 0) == 0) {
			if (!Unquote(line.substr(5), &transcript->keys))
				return where + "keys need a quoted, escaped text";
		} else if (line == "player") {
			if (!ReadBlock(input, &number, &block))
				return where + "player without its closing line";
			transcript->hasPlayer = true;
			for (const std::string& fileLine : block)
				transcript->player += WithToday(fileLine) + "\n";
		} else if (line == "texts") {
			if (!ReadBlock(input, &number, &block))
				return where + "texts without their closing line";
			for (const std::string& quoted : block) {
				std::string text;
				if (!Unquote(quoted, &text))
					return where + "not a quoted text: " + quoted;
				transcript->texts.push_back(text);
			}
		} else if (line == "saved none")
			transcript->saved = Transcript::kAbsent;
		else if (line == "saved") {
			if (!ReadBlock(input, &number, &block))
				return where + "saved without its closing line";
			transcript->saved = Transcript::kPresent;
			for (const std::string& fileLine : block)
				transcript->savedFile += WithToday(fileLine) + "\n";
		} else
			return where + "unknown line: " + line;
	}
	if (transcript->user.empty())
		return path + ": no user";
	return "";
}


class TranscriptTest : public ShellTest {
public:
	explicit TranscriptTest(const std::string& path)
		:
		fPath(path)
	{
	}

	void TestBody() override
	{
		Transcript transcript;
		std::string error = LoadTranscript(fPath, &transcript);
		ASSERT_EQ(error, "");

		if (transcript.hasPlayer)
			WritePlayer(transcript.user, transcript.player);

		std::vector<std::string> texts
			= fDoor.Play(transcript.user, transcript.keys);
		EXPECT_EQ(Describe(texts), Describe(transcript.texts));

		if (transcript.saved == Transcript::kAbsent) {
			EXPECT_FALSE(HasPlayer(transcript.user));
		} else if (transcript.saved == Transcript::kPresent) {
			EXPECT_EQ(ReadPlayer(transcript.user), transcript.savedFile);
		}
	}

private:
	std::string fPath;
};


std::string
TestName(const std::string& path)
{
	std::string name = path.substr(path.find_last_of('/') + 1);
	return name.substr(0, name.find('.'));
}


}	// namespace


int
main(int argc, char** argv)
{
	testing::InitGoogleTest(&argc, argv);
	for (int i = 1; i < argc; i++) {
		std::string path = argv[i];
		testing::RegisterTest("ShellTranscript", TestName(path).c_str(),
			nullptr, path.c_str(), __FILE__, __LINE__,
			[path]() -> ShellTest* { return new TranscriptTest(path); });
	}
	return RUN_ALL_TESTS();
}
