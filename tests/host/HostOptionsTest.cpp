#include "HostOptions.h"

#include <gtest/gtest.h>

#include <vector>


namespace {

status_t
Parse(std::vector<const char*> arguments, HostOptions* options,
	BString* error)
{
	arguments.insert(arguments.begin(), "zenbo");
	return ParseHostOptions((int)arguments.size(), arguments.data(), options,
		error);
}

}	// namespace


TEST(HostOptionsTest, ModesAndValuesAreRead)
{
	HostOptions options;
	BString error;
	ASSERT_EQ(B_OK, Parse({ "--stdio", "--user", "Ash", "--volume=/v",
		"--door", "/d/Drelmoor" }, &options, &error)) << error.String();
	EXPECT_EQ(HostOptions::Command::kStdio, options.command);
	EXPECT_STREQ("Ash", options.userName.String());
	EXPECT_STREQ("/v", options.volume.String());
	EXPECT_STREQ("/d/Drelmoor", options.doorProgram.String());

	HostOptions local;
	ASSERT_EQ(B_OK, Parse({ "--local" }, &local, &error));
	EXPECT_EQ(HostOptions::Command::kLocal, local.command);
	EXPECT_EQ(0, local.userName.Length());

	HostOptions host;
	ASSERT_EQ(B_OK, Parse({ "--host", "--while-terminals" }, &host, &error));
	EXPECT_TRUE(host.whileTerminals);

	HostOptions help;
	ASSERT_EQ(B_OK, Parse({ "-h" }, &help, &error));
	EXPECT_EQ(HostOptions::Command::kHelp, help.command);
}


TEST(HostOptionsTest, MistakesAreNamed)
{
	struct Case {
		std::vector<const char*> arguments;
		const char* error;
	};
	const Case cases[] = {
		{ {}, "choose a mode" },
		{ { "--local", "--stdio", "--user", "a" }, "choose one mode" },
		{ { "--stdio" }, "--stdio needs --user NAME or --dropfile PATH" },
		{ { "--stdio", "--user" }, "--user needs a value" },
		{ { "--stdio", "--user=" }, "--user needs a value" },
		{ { "--stdio", "--user", "a", "--dropfile", "f" }, "not both" },
		{ { "--local", "--colour" }, "unknown argument: --colour" },
		{ { "--local", "--username", "a" }, "unknown argument: --username" },
	};
	for (const Case& which : cases) {
		HostOptions options;
		BString error;
		EXPECT_EQ(B_BAD_VALUE, Parse(which.arguments, &options, &error))
			<< which.error;
		EXPECT_NE(nullptr, strstr(error.String(), which.error))
			<< error.String();
	}
}
