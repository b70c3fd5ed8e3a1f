#include "HostConfig.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>


namespace {

// A config file in a temporary place for the length of one test.
class ConfigFile {
public:
	explicit ConfigFile(const std::string& content)
	{
		char path[] = "/tmp/drelmoor-config-XXXXXX";
		int descriptor = mkstemp(path);
		EXPECT_GE(descriptor, 0);
		EXPECT_EQ((ssize_t)content.size(),
			write(descriptor, content.data(), content.size()));
		close(descriptor);
		fPath = path;
	}
	~ConfigFile() { unlink(fPath.c_str()); }

	const char* Path() const { return fPath.c_str(); }

private:
	std::string fPath;
};


std::string
MistakeIn(const std::string& content)
{
	ConfigFile file(content);
	std::vector<std::string> arguments;
	BString error;
	EXPECT_EQ(B_BAD_DATA, ReadHostConfig(file.Path(), &arguments, &error));
	std::string text(error.String());
	// The file's own path leads every mistake.
	EXPECT_EQ(0u, text.find(file.Path())) << text;
	return text.substr(strlen(file.Path()));
}

}	// namespace


TEST(HostConfigTest, SettingsBecomeTheOptionsTheyName)
{
	ConfigFile file("# the board's host\n"
		"volume = \"/srv/drelmoor\"\n"
		"door = \"/usr/bin/Drelmoor\"\n");
	std::vector<std::string> arguments;
	BString error;
	ASSERT_EQ(B_OK, ReadHostConfig(file.Path(), &arguments, &error))
		<< error.String();
	std::vector<std::string> expected = { "--volume", "/srv/drelmoor",
		"--door", "/usr/bin/Drelmoor" };
	// TOML keeps no order among keys; both settings are there, each with
	// its value right after it.
	ASSERT_EQ(expected.size(), arguments.size());
	for (size_t i = 0; i < expected.size(); i += 2) {
		auto found = std::find(arguments.begin(), arguments.end(),
			expected[i]);
		ASSERT_NE(arguments.end(), found) << expected[i];
		EXPECT_EQ(expected[i + 1], *(found + 1));
	}
}


TEST(HostConfigTest, WaysInTakeAnAddressOrTrueForTheirDefault)
{
	ConfigFile file("ssh = true\nweb = \"0.0.0.0:8080\"\ntelnet = 2323\n");
	std::vector<std::string> arguments;
	BString error;
	ASSERT_EQ(B_OK, ReadHostConfig(file.Path(), &arguments, &error))
		<< error.String();
	auto web = std::find(arguments.begin(), arguments.end(), "--web");
	ASSERT_NE(arguments.end(), web);
	EXPECT_EQ("0.0.0.0:8080", *(web + 1));
	auto telnet = std::find(arguments.begin(), arguments.end(), "--telnet");
	ASSERT_NE(arguments.end(), telnet);
	EXPECT_EQ("2323", *(telnet + 1));
	EXPECT_NE(arguments.end(),
		std::find(arguments.begin(), arguments.end(), "--ssh"));
	EXPECT_EQ(5u, arguments.size());

	EXPECT_EQ(":1: ssh: --ssh needs [ADDRESS:]PORT, not here:there",
		MistakeIn("ssh = \"here:there\"\n"));
}


TEST(HostConfigTest, AMistakeNamesTheLineAndTheKey)
{
	EXPECT_EQ(":2: grase: no such setting",
		MistakeIn("volume = \"/srv\"\ngrase = 180\n"));
	EXPECT_EQ(":1: volume: a setting is a string, a whole number or true or"
		" false", MistakeIn("volume = [ \"/srv\" ]\n"));
	EXPECT_EQ(":3: stdio: not a setting: give it on the command line",
		MistakeIn("\n\nstdio = true\n"));
	EXPECT_EQ(":1: volume: --volume needs a value",
		MistakeIn("volume = \"\"\n"));
	std::string syntax = MistakeIn("volume = \"/srv\n");
	EXPECT_EQ(0u, syntax.find(":1: ")) << syntax;
}


TEST(HostConfigTest, AMissingFileIsNotBadData)
{
	std::vector<std::string> arguments;
	BString error;
	status_t status = ReadHostConfig("/nonexistent/zenbo.toml", &arguments,
		&error);
	EXPECT_NE(B_OK, status);
	EXPECT_NE(B_BAD_DATA, status);
	EXPECT_NE(nullptr, strstr(error.String(), "/nonexistent/zenbo.toml"));
}


TEST(HostConfigTest, BoardsAreTablesOfTheirOwn)
{
	ConfigFile file("rlogin = true\n"
		"[[boards]]\ntag = \"DARK\"\nsecret = \"s3cret\"\n"
		"addresses = [ \"192.0.2.7\", \"::1\" ]\nmax-callers = 5\n"
		"[[boards]]\ntag = \"LIGHT\"\nsecret = \"other\"\n"
		"address = \"192.0.2.8\"\n");
	std::vector<std::string> arguments;
	RloginBoards boards;
	BString error;
	ASSERT_EQ(B_OK, ReadHostConfig(file.Path(), &arguments, &boards, &error))
		<< error.String();
	EXPECT_EQ(std::vector<std::string>({ "--rlogin" }), arguments);
	ASSERT_EQ(2u, boards.Entries().size());
	EXPECT_STREQ("DARK", boards.Entries()[0].tag.String());
	EXPECT_EQ(2u, boards.Entries()[0].addresses.size());
	EXPECT_EQ(5, boards.Entries()[0].maxCallers);
	EXPECT_EQ("192.0.2.8", boards.Entries()[1].addresses[0]);

	EXPECT_NE(std::string::npos, MistakeIn("[[boards]]\ntag = \"A\"\n"
		"secret = \"s\"\naddresses = [ \"192.0.2.x\" ]\n").find(
		"not an IP address: 192.0.2.x"));
	EXPECT_NE(std::string::npos, MistakeIn("[[boards]]\ntag = \"A\"\n"
		"secret = \"s\"\naddress = \"192.0.2.1\"\ncolour = 1\n").find(
		":5: colour: a board has a tag"));
}


// false turns off a setting that is on by default through its "--no-"
// option; for one without such an option it is nothing, as before.
TEST(HostConfigTest, FalseTurnsOffWhatIsOnByDefault)
{
	ConfigFile file("spy-notice = false\nssh = false\n");
	std::vector<std::string> arguments;
	BString error;
	ASSERT_EQ(B_OK, ReadHostConfig(file.Path(), &arguments, &error))
		<< error.String();
	EXPECT_EQ(std::vector<std::string>({ "--no-spy-notice" }), arguments);

	ConfigFile on("spy-notice = true\n");
	arguments.clear();
	ASSERT_EQ(B_OK, ReadHostConfig(on.Path(), &arguments, &error))
		<< error.String();
	EXPECT_EQ(std::vector<std::string>({ "--spy-notice" }), arguments);
}


TEST(HostConfigTest, TrustedProxyIsOneAddressOrAnArrayOfThem)
{
	ConfigFile one("trusted-proxy = \"127.0.0.1\"\n");
	std::vector<std::string> arguments;
	BString error;
	ASSERT_EQ(B_OK, ReadHostConfig(one.Path(), &arguments, &error))
		<< error.String();
	EXPECT_EQ((std::vector<std::string>{ "--trusted-proxy", "127.0.0.1" }),
		arguments);

	ConfigFile several("trusted-proxy = [\"127.0.0.1\", \"::1\"]\n");
	arguments.clear();
	ASSERT_EQ(B_OK, ReadHostConfig(several.Path(), &arguments, &error))
		<< error.String();
	EXPECT_EQ((std::vector<std::string>{ "--trusted-proxy", "127.0.0.1",
		"--trusted-proxy", "::1" }), arguments);

	EXPECT_EQ(":1: trusted-proxy: each proxy is a string",
		MistakeIn("trusted-proxy = [\"127.0.0.1\", 1]\n"));
	EXPECT_NE(std::string::npos, MistakeIn("trusted-proxy = [\"proxy\"]\n")
		.find("--trusted-proxy needs an IPv4 or IPv6 address"));
}
