#include "HostOptions.h"

#include <gtest/gtest.h>

#include <string.h>

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
		{ { "--local", "--raw" }, "--raw goes with --stdio" },
		{ { "--telnet", "host:port" }, "--telnet needs [ADDRESS:]PORT" },
		{ { "--telnet", "70000" }, "--telnet needs [ADDRESS:]PORT" },
		{ { "--stdio", "--user", "a", "--telnet" }, "--telnet runs the host" },
		{ { "--telnet", "--idle", "0" }, "--idle needs a whole number" },
		{ { "--telnet", "--grace", "soon" }, "--grace needs a whole number" },
		{ { "--telnet", "--max-callers" }, "--max-callers needs" },
		{ { "--telnet", "--failure-delay", "-1" }, "--failure-delay needs" },
		{ { "--ssh", "localhost:ssh" }, "--ssh needs [ADDRESS:]PORT" },
		{ { "--web=" }, "--web needs [ADDRESS:]PORT" },
		{ { "--local", "--web" }, "--web runs the host" },
		{ { "--make-volume", "--ssh", "2222" }, "--ssh runs the host" },
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


TEST(HostOptionsTest, TelnetHostAndItsSettingsAreRead)
{
	HostOptions options;
	BString error;
	ASSERT_EQ(B_OK, Parse({ "--telnet", "--grace", "5", "--idle", "30",
		"--max-callers", "7", "--failure-delay", "0.25" }, &options, &error))
		<< error.String();
	EXPECT_EQ(HostOptions::Command::kHost, options.command);
	EXPECT_STREQ("127.0.0.1:2323", options.telnetAddress.String());
	EXPECT_EQ(5, options.graceSeconds);
	EXPECT_EQ(30, options.idleSeconds);
	EXPECT_EQ(7, options.maxCallers);
	EXPECT_EQ(250000, options.failureDelay);

	struct Case {
		const char* argument;
		const char* address;
		uint16 port;
	};
	const Case cases[] = {
		{ "2424", "127.0.0.1", 2424 },
		{ "0.0.0.0:23", "0.0.0.0", 23 },
		{ "[::1]:0", "::1", 0 },
	};
	for (const Case& which : cases) {
		HostOptions host;
		ASSERT_EQ(B_OK, Parse({ "--host", "--telnet", which.argument }, &host,
			&error)) << which.argument;
		BString address;
		uint16 port = 1;
		ASSERT_EQ(B_OK, SplitTelnetAddress(host.telnetAddress, &address,
			&port));
		EXPECT_STREQ(which.address, address.String());
		EXPECT_EQ(which.port, port);
	}

	HostOptions raw;
	ASSERT_EQ(B_OK, Parse({ "--stdio", "--raw", "--user", "a" }, &raw, &error));
	EXPECT_TRUE(raw.raw);
}


TEST(HostOptionsTest, EveryWayInHasItsAddressOrItsDefault)
{
	HostOptions defaults;
	BString error;
	ASSERT_EQ(B_OK, Parse({ "--ssh", "--web", "--telnet" }, &defaults,
		&error)) << error.String();
	EXPECT_EQ(HostOptions::Command::kHost, defaults.command);
	EXPECT_STREQ("127.0.0.1:2323", defaults.telnetAddress.String());
	EXPECT_STREQ("127.0.0.1:2222", defaults.sshAddress.String());
	EXPECT_STREQ("127.0.0.1:8080", defaults.webAddress.String());

	HostOptions given;
	ASSERT_EQ(B_OK, Parse({ "--web=[::1]:0", "--ssh", "0.0.0.0:22" }, &given,
		&error)) << error.String();
	EXPECT_STREQ("[::1]:0", given.webAddress.String());
	EXPECT_STREQ("0.0.0.0:22", given.sshAddress.String());
	EXPECT_EQ(0, given.telnetAddress.Length());
	// Not a way in, though it starts like one.
	EXPECT_EQ(B_BAD_VALUE, Parse({ "--sshd" }, &given, &error));

	HostOptions proxied;
	ASSERT_EQ(B_OK, Parse({ "--web", "--web-origin", "https://board.example" },
		&proxied, &error)) << error.String();
	EXPECT_STREQ("127.0.0.1:8080", proxied.webAddress.String());
	EXPECT_STREQ("https://board.example", proxied.webOrigin.String());
}


TEST(HostOptionsTest, HelpNamesTheHostKeyOrSaysWhenItIsMade)
{
	BString known = HostUsage("SHA256:abc");
	EXPECT_NE(nullptr, strstr(known.String(), "--ssh [[ADDRESS:]PORT]"));
	EXPECT_NE(nullptr, strstr(known.String(), "host key: SHA256:abc\n"));
	EXPECT_NE(nullptr, strstr(known.String(), "--web [[ADDRESS:]PORT]"));
	BString none = HostUsage(BString());
	EXPECT_NE(nullptr, strstr(none.String(), "made at the first start"));
	EXPECT_EQ(nullptr, strstr(none.String(), "SHA256"));
}


TEST(HostOptionsTest, RloginAndVerboseAreRead)
{
	HostOptions options;
	BString error;
	ASSERT_EQ(B_OK, Parse({ "--rlogin" }, &options, &error)) << error.String();
	EXPECT_EQ(HostOptions::Command::kHost, options.command);
	EXPECT_STREQ("127.0.0.1:5513", options.rloginAddress.String());
	HostOptions given;
	ASSERT_EQ(B_OK, Parse({ "--telnet", "--rlogin", "0.0.0.0:513" }, &given,
		&error)) << error.String();
	EXPECT_STREQ("0.0.0.0:513", given.rloginAddress.String());
	EXPECT_EQ(B_BAD_VALUE, Parse({ "--stdio", "--user", "Ash", "--rlogin" },
		&given, &error));

	HostOptions verbose;
	ASSERT_EQ(B_OK, Parse({ "--stdio", "--user", "Ash", "--verbose" },
		&verbose, &error)) << error.String();
	EXPECT_TRUE(verbose.verbose);
	EXPECT_EQ(B_BAD_VALUE, Parse({ "--telnet", "--verbose" }, &verbose,
		&error));
}


TEST(HostOptionsTest, TrustedProxiesAndTheLockWindowAreRead)
{
	HostOptions options;
	BString error;
	ASSERT_EQ(B_OK, Parse({ "--telnet", "--trusted-proxy", "127.0.0.1",
		"--trusted-proxy", "2001:DB8::0:1", "--lock-window", "30" }, &options,
		&error)) << error.String();
	ASSERT_EQ(2u, options.trustedProxies.size());
	EXPECT_STREQ("127.0.0.1", options.trustedProxies[0].String());
	EXPECT_STREQ("2001:db8::1", options.trustedProxies[1].String());
	EXPECT_EQ(30, options.lockWindowSeconds);

	// Only an address: a name would be resolved by somebody else's DNS,
	// and a range trusts more than the sysop meant.
	for (const char* proxy : { "proxy.example", "10.0.0.0/8", "10.0.0.1:80",
			"", "127.0.0.1 " }) {
		HostOptions refused;
		EXPECT_EQ(B_BAD_VALUE, Parse({ "--telnet", "--trusted-proxy", proxy },
			&refused, &error)) << proxy;
		EXPECT_NE(nullptr, strstr(error.String(), "--trusted-proxy"));
	}
	EXPECT_EQ(B_BAD_VALUE, Parse({ "--telnet", "--trusted-proxy" }, &options,
		&error));
	EXPECT_EQ(B_BAD_VALUE, Parse({ "--telnet", "--lock-window", "0" },
		&options, &error));
}


TEST(HostOptionsTest, DoorCharsetIsOneOfTheKnownSets)
{
	HostOptions plain;
	BString error;
	ASSERT_EQ(B_OK, Parse({ "--telnet" }, &plain, &error));
	EXPECT_STREQ("cp437", plain.charset.String());

	HostOptions latin1;
	ASSERT_EQ(B_OK, Parse({ "--web", "--charset", "latin1" }, &latin1,
		&error)) << error.String();
	EXPECT_STREQ("latin1", latin1.charset.String());

	for (const char* name : {"utf8", "UTF-8", "cp850", "\x1b[2J"}) {
		HostOptions wrong;
		EXPECT_EQ(B_BAD_VALUE, Parse({ "--telnet", "--charset", name },
			&wrong, &error)) << name;
		EXPECT_NE(nullptr, strstr(error.String(), "cp437 or latin1"))
			<< error.String();
	}
}
