#include "WebTerminalListener.h"

#include "WebTerminalEvents.h"

#include <Looper.h>

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>


namespace {

struct NoEvents : WebTerminalEvents {
	void TerminalOpened(WebTerminalConnection*) override {}
	void WindowResized(WebTerminalConnection*, int32, int32) override {}
	void BytesReceived(WebTerminalConnection*, const char*, size_t) override
	{
	}
	void ConnectionClosed(WebTerminalConnection*) override {}
};

// A listener that never listens: its rules need no socket.
struct QuietListener {
	BLooper looper{"web rules"};
	NoEvents events;
	WebTerminalListener listener{looper, events};
};

}	// namespace


TEST(WebTerminalListenerTest, PageOfTheSameHostAndPortMayOpenATerminal)
{
	QuietListener quiet;
	EXPECT_TRUE(quiet.listener.IsOriginAllowed("http://127.0.0.1:8080",
		"127.0.0.1:8080"));
	// Host names are compared as DNS compares them, without case.
	EXPECT_TRUE(quiet.listener.IsOriginAllowed("http://Board.Example:8080",
		"board.example:8080"));
}


TEST(WebTerminalListenerTest, PageOfAnotherOriginMayNot)
{
	QuietListener quiet;
	const char* host = "127.0.0.1:8080";
	for (const char* origin : {"http://127.0.0.1:8081", "http://127.0.0.1",
			"http://evil.example", "http://127.0.0.1:8080.evil.example",
			"http://127.0.0.1:8080/", "ftp://127.0.0.1:8080", "null", "",
			"127.0.0.1:8080", "https://127.0.0.1:8080"}) {
		EXPECT_FALSE(quiet.listener.IsOriginAllowed(origin, host)) << origin;
	}
	// The page this host served is plain HTTP: an https:// page under the
	// same name is another origin's.
	EXPECT_FALSE(quiet.listener.IsOriginAllowed("https://board.example",
		"board.example"));
	EXPECT_FALSE(quiet.listener.IsOriginAllowed("http://127.0.0.1:8080", ""));
}


TEST(WebTerminalListenerTest, AllowedOriginIsLetInWhateverTheHostHeader)
{
	QuietListener quiet;
	quiet.listener.AllowOrigin("https://board.example");
	EXPECT_TRUE(quiet.listener.IsOriginAllowed("https://board.example",
		"127.0.0.1:8080"));
	EXPECT_FALSE(quiet.listener.IsOriginAllowed("http://board.example",
		"127.0.0.1:8080"));
	EXPECT_FALSE(quiet.listener.IsOriginAllowed(
		"https://board.example.evil.example", "127.0.0.1:8080"));
}


TEST(WebTerminalListenerTest, ServesOnlyThePageFilesItLoaded)
{
	char folder[] = "/tmp/web-page-XXXXXX";
	ASSERT_NE(nullptr, mkdtemp(folder));
	const char* names[] = {"index.html", "terminal.js", "terminal.css",
		"xterm.js", "xterm.css", "addon-fit.js", "manifest.webmanifest",
		"icon.svg"};
	for (const char* name : names) {
		std::string path = std::string(folder) + "/" + name;
		FILE* file = fopen(path.c_str(), "w");
		ASSERT_NE(nullptr, file);
		fprintf(file, "contents of %s", name);
		fclose(file);
	}
	std::string extra = std::string(folder) + "/package.json";
	fclose(fopen(extra.c_str(), "w"));

	QuietListener quiet;
	BString error;
	ASSERT_EQ(B_OK, quiet.listener.LoadPage(folder, &error)) << error.String();
	const WebTerminalListener::PageFile* page
		= quiet.listener.FindPageFile("/");
	ASSERT_NE(nullptr, page);
	EXPECT_EQ("contents of index.html", page->body);
	EXPECT_EQ(0u, page->contentType.find("text/html"));
	ASSERT_NE(nullptr, quiet.listener.FindPageFile("/xterm.js"));
	EXPECT_EQ(0u, quiet.listener.FindPageFile("/xterm.js")->contentType
		.find("text/javascript"));
	for (const char* path : {"/index.html", "/package.json", "", "/x/../",
			"/xterm.js?v=1"})
		EXPECT_EQ(nullptr, quiet.listener.FindPageFile(path)) << path;

	// A page with a file missing is not served at all.
	unlink((std::string(folder) + "/addon-fit.js").c_str());
	QuietListener incomplete;
	EXPECT_NE(B_OK, incomplete.listener.LoadPage(folder, &error));
	EXPECT_NE(nullptr, strstr(error.String(), "addon-fit.js"))
		<< error.String();

	for (const char* name : names)
		unlink((std::string(folder) + "/" + name).c_str());
	unlink(extra.c_str());
	rmdir(folder);
}


TEST(WebTerminalListenerTest, AnswersOnlyToItsOwnNamesAgainstRebinding)
{
	QuietListener quiet;
	BString error;
	ASSERT_EQ(B_OK, quiet.listener.Listen("127.0.0.1", 0, &error));
	std::string port = std::to_string(quiet.listener.Port());
	EXPECT_TRUE(quiet.listener.IsHostServed("127.0.0.1:" + port));
	EXPECT_TRUE(quiet.listener.IsHostServed("LocalHost:" + port));
	for (const std::string& host : std::vector<std::string>{
			"evil.example:" + port, "evil.example",
			"127.0.0.2:" + port, "127.0.0.1", "127.0.0.1:1" + port,
			"localhost.evil.example:" + port, std::string(""),
			"127.0.0.1:" + port + "\x1b[2J", "[::1]:" + port,
			"127.0.0.1:" + port + " evil" }) {
		EXPECT_FALSE(quiet.listener.IsHostServed(host)) << host;
	}
	// A reverse proxy's public name, with or without a port.
	quiet.listener.AllowOrigin("https://Board.Example");
	EXPECT_TRUE(quiet.listener.IsHostServed("board.example"));
	EXPECT_TRUE(quiet.listener.IsHostServed("board.example:443"));
	EXPECT_FALSE(quiet.listener.IsHostServed("evil.example"));
}


TEST(WebTerminalListenerTest, WildcardAnswersToEveryAddressButNoOtherName)
{
	QuietListener quiet;
	BString error;
	ASSERT_EQ(B_OK, quiet.listener.Listen("0.0.0.0", 0, &error));
	std::string port = std::to_string(quiet.listener.Port());
	EXPECT_TRUE(quiet.listener.IsHostServed("192.0.2.10:" + port));
	EXPECT_TRUE(quiet.listener.IsHostServed("[2001:db8::1]:" + port));
	EXPECT_FALSE(quiet.listener.IsHostServed("evil.example:" + port));
}


TEST(WebTerminalListenerTest, TrustsOnlyTheProxiesNamedWhateverTheirForm)
{
	QuietListener quiet;
	EXPECT_FALSE(quiet.listener.TrustsProxy("127.0.0.1"));
	quiet.listener.TrustProxies({ BString("127.0.0.1"),
		BString("2001:DB8::0:1") });
	EXPECT_TRUE(quiet.listener.TrustsProxy("127.0.0.1"));
	EXPECT_TRUE(quiet.listener.TrustsProxy("::ffff:127.0.0.1"));
	EXPECT_TRUE(quiet.listener.TrustsProxy("2001:db8::1"));
	EXPECT_FALSE(quiet.listener.TrustsProxy("127.0.0.2"));
}


TEST(WebTerminalListenerTest, FloodOfFameRequestsReadsTheCharactersOnce)
{
	QuietListener quiet;
	EXPECT_EQ(nullptr, quiet.listener.FindPageFile("/fame"))
		<< "no wall until the owner makes one";
	int made = 0;
	quiet.listener.SetFameSource([&made]() {
		made++;
		return "wall " + std::to_string(made);
	});
	for (int request = 0; request < 1000; request++) {
		const WebTerminalListener::PageFile* page
			= quiet.listener.FindPageFile("/fame");
		ASSERT_NE(nullptr, page);
		EXPECT_EQ("wall 1", page->body);
		EXPECT_EQ("text/html; charset=utf-8", page->contentType);
	}
	EXPECT_EQ(1, made);
	EXPECT_EQ(nullptr, quiet.listener.FindPageFile("/fame/"));
}
