#pragma once

#include <DoorSession.h>
#include <TestVolume.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Whole sessions of the Drelmoor program, played against the scripted host
// in a boot volume of their own with the clock frozen, so that the day
// number and the random draws of every run are the same.

// 2025-12-07 at noon, UTC.
static const uint32 kFrozenSecond = 1765108800;

// The day number (yyyymmdd, local date) at the frozen second.
std::string TodayNumber();

// The 14 stored values of a player file. The defaults are those of a new
// character saved on its first day, before it has a name.
struct StoredPlayer {
			std::string			name;
			std::string			weapon = "Moderately Sharp Playing Card";
			std::string			armor = "T-Shirt and Jeans";
			std::string			weaponStr = "1";
			std::string			armorStr = "1";
			std::string			gold = "100";
			std::string			maxHP = "10";
			std::string			hp = "10";
			std::string			level = "1";
			std::string			xp = "0";
			std::string			str = "7";
			std::string			def = "7";
			std::string			fights = "15";
			std::string			lastDay = TodayNumber();

			// The file: the 14 lines, each ended by a line feed.
			std::string			Text() const;
};

// "/boot/home/Zenbo/doors/vrask/users/" followed by the user name.
std::string PlayerPath(const std::string& user);

// C-style escapes, for transcripts and failure messages: \n, \b, \r, \t,
// \\, \" and \xHH for other unprintable bytes.
std::string Escape(const std::string& text);
// The reverse; false when the text holds a broken escape.
bool Unescape(const std::string& text, std::string* result);
// The pieces one per line, escaped and quoted, for failure messages.
std::string Describe(const std::vector<std::string>& texts);

// The parts one after the other.
std::vector<std::string> Concatenated(
	std::vector<std::vector<std::string>> parts);

// The pieces that the session sends for the typed keys: one echo each.
void AppendEchoes(std::vector<std::string>& texts, const std::string& keys);

// A session's pieces, as its parts produce them.
std::vector<std::string> Greeting();
std::vector<std::string> WelcomeBack(const std::string& name);
std::vector<std::string> PromptLine(const std::string& name,
	const std::string& location, int caveLevel = 0);
std::vector<std::string> StatusScreen(const StoredPlayer& player,
	const std::string& xpMark, const std::string& weaponBonus,
	const std::string& armorBonus);

// The shared frame of every session test: the frozen clock and the boot
// volume (made in this order, before the host's thread starts), with an
// empty users folder, and a door session for the scripted host.
class ShellTest : public testing::Test {
protected:
								ShellTest();

			void				WritePlayer(const std::string& user,
									const std::string& text);
			std::string			ReadPlayer(const std::string& user);
			bool				HasPlayer(const std::string& user);

			FrozenClock			fClock{kFrozenSecond};
			TestVolume			fVolume;
			DoorSession			fDoor;
};
