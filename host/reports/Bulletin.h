#pragma once

#include "PlayerRoster.h"

#include <string>
#include <vector>

// The sysop's views of the characters, from a roster: the score bulletin
// that a board shows its callers or puts on its web site, and the table of
// players. Neither touches a file; the entries come sorted as ReadRoster
// sorts them.
enum class BulletinFormat {
	kText,
	kAnsi,
	kHtml,
};

// "2026-12-08" names the day the bulletin was made.
std::string FormatBulletin(const std::vector<RosterEntry>& entries,
	BulletinFormat format, const char* date);

std::string FormatPlayerTable(const std::vector<RosterEntry>& entries);
