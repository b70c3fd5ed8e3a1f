#pragma once

#include "CharacterListing.h"

#include <string>
#include <vector>

// The sysop's views of the characters, from the game's listing of them:
// the score bulletin that a board shows its callers or puts on its web
// site, and the table of players. Neither touches a file; the entries come
// sorted as CharacterListing::ReadAll sorts them.
enum class BulletinFormat {
	kText,
	kAnsi,
	kHtml,
};

// "2026-12-08" names the day the bulletin was made.
std::string FormatBulletin(
	const std::vector<CharacterListing::Character>& entries,
	BulletinFormat format, const char* date);

// The HTML bulletin as the board's own web page (/fame): the same table,
// with links to the terminal, the manifest and the icon. The entries' texts
// are to be in UTF-8 already.
std::string FormatFamePage(
	const std::vector<CharacterListing::Character>& entries,
	const char* date);

std::string FormatPlayerTable(
	const std::vector<CharacterListing::Character>& entries);
