#include "FrontRoom.h"

#include <gtest/gtest.h>

#include <sstream>


namespace {

std::vector<FrontRoom::Presence>
LongestCallers()
{
	FrontRoom::Presence ssh;
	ssh.name = std::string(30, 'A').c_str();
	ssh.inDoor = true;
	ssh.idle = 5999000000LL;
	ssh.terminal = "xterm-256color 132x50";
	ssh.way = "ssh";
	FrontRoom::Presence web;
	web.name = std::string(30, 'b').c_str();
	web.terminal = "xterm.js 40x20";
	web.way = "web";
	FrontRoom::Presence telnet;
	telnet.name = "Cy";
	telnet.terminal = std::string(40, 't').c_str();
	telnet.way = "telnet";
	return {ssh, web, telnet};
}


size_t
WidestLine(const std::string& text)
{
	std::istringstream lines(text);
	std::string line;
	size_t widest = 0;
	while (std::getline(lines, line))
		widest = std::max(widest, line.size());
	return widest;
}

}	// namespace


TEST(FrontRoomTest, WhoIsOnlineFitsEightyColumnsWithTheLongestFields)
{
	for (int32 columns : {0, 80}) {
		std::string list = FrontRoom::WhoIsOnline(LongestCallers(), columns);
		EXPECT_LE(WidestLine(list), 80u) << list;
		// One line per caller, the way in at its end, the size shown.
		EXPECT_NE(std::string::npos, list.find(" ssh\n")) << list;
		EXPECT_NE(std::string::npos, list.find("xterm.js 40x20")) << list;
		EXPECT_NE(std::string::npos, list.find(" telnet\n")) << list;
	}
}


TEST(FrontRoomTest, WhoIsOnlineTakesTwoLinesPerCallerInANarrowWindow)
{
	for (int32 columns : {40, 52, 79, 12}) {
		std::string list = FrontRoom::WhoIsOnline(LongestCallers(), columns);
		EXPECT_LE(WidestLine(list), (size_t)std::max(columns, 40)) << list;
		EXPECT_NE(std::string::npos,
			list.find("\n  " + std::string(30, 'b') + "\n    front room,"))
			<< list;
	}
}
