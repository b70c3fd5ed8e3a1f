#include "Bulletin.h"

#include <stdio.h>
#include <time.h>


static const char* const kTitle = "Drelmoor: the Wall of Fame";


static std::string
Padded(const char* text, size_t width)
{
	std::string padded(text);
	if (padded.size() < width)
		padded.append(width - padded.size(), ' ');
	return padded;
}


static std::string
HtmlEscaped(const char* text)
{
	std::string escaped;
	for (const char* c = text; *c != '\0'; c++) {
		switch (*c) {
			case '&':
				escaped += "&amp;";
				break;
			case '<':
				escaped += "&lt;";
				break;
			case '>':
				escaped += "&gt;";
				break;
			case '"':
				escaped += "&quot;";
				break;
			case '\'':
				escaped += "&#39;";
				break;
			default:
				escaped += *c;
				break;
		}
	}
	return escaped;
}


static std::string
TextBulletin(const std::vector<CharacterListing::Character>& entries,
	const char* date, bool colours)
{
	// Bright yellow for the heading, cyan for the names, in the colours that
	// every board's terminal knows.
	const char* heading = colours ? "\x1b[1;33m" : "";
	const char* name = colours ? "\x1b[36m" : "";
	const char* plain = colours ? "\x1b[0m" : "";

	std::string text;
	text += std::string(heading) + kTitle + ", " + date + plain + "\r\n\r\n";
	text += std::string(heading) + "  " + Padded("Name", 30) + " Level  "
		+ Padded("Weapon", 30) + " Armor" + plain + "\r\n";
	for (const CharacterListing::Character& entry : entries) {
		char level[16];
		snprintf(level, sizeof(level), "%5d", (int)entry.level);
		text += std::string("  ") + name + Padded(entry.name.String(), 30)
			+ plain + " " + level + "  " + Padded(entry.weapon.String(), 30)
			+ " " + entry.armor.String() + "\r\n";
	}
	if (entries.empty())
		text += "  Nobody has braved the caves yet.\r\n";
	return text;
}


// The board's own page adds its links around the one table: to the
// terminal, and the manifest and icon that let a phone keep the board on
// its home screen.
static const char* const kBoardHead =
	"<link rel=\"manifest\" href=\"/manifest.webmanifest\">\n"
	"<link rel=\"icon\" href=\"/icon.svg\" type=\"image/svg+xml\">\n";
static const char* const kBoardFoot =
	"<p><a href=\"/\">Call the board</a></p>\n";


static std::string
HtmlBulletin(const std::vector<CharacterListing::Character>& entries,
	const char* date, const char* head = "", const char* foot = "")
{
	std::string page =
		"<!DOCTYPE html>\n"
		"<html lang=\"en\">\n"
		"<head>\n"
		"<meta charset=\"utf-8\">\n"
		"<meta name=\"viewport\" content=\"width=device-width,"
			" initial-scale=1\">\n"
		"<title>" + std::string(kTitle) + "</title>\n"
		+ head +
		"<style>\n"
		"body { background: #101010; color: #d0d0d0;"
			" font-family: monospace; }\n"
		"h1 { color: #ffd75f; font-size: 1.4em; }\n"
		"th { color: #ffd75f; text-align: left; padding-right: 2em; }\n"
		"td { padding-right: 2em; }\n"
		"td.level { text-align: right; }\n"
		"a { color: #5fd7ff; }\n"
		"</style>\n"
		"</head>\n"
		"<body>\n"
		"<h1>" + std::string(kTitle) + "</h1>\n"
		"<p>As of " + HtmlEscaped(date) + ".</p>\n";
	if (entries.empty()) {
		page += "<p>Nobody has braved the caves yet.</p>\n";
	} else {
		page += "<table>\n<tr><th>Name</th><th>Level</th><th>Weapon</th>"
			"<th>Armor</th></tr>\n";
		for (const CharacterListing::Character& entry : entries) {
			page += "<tr><td>" + HtmlEscaped(entry.name.String())
				+ "</td><td class=\"level\">" + std::to_string(entry.level)
				+ "</td><td>" + HtmlEscaped(entry.weapon.String())
				+ "</td><td>" + HtmlEscaped(entry.armor.String())
				+ "</td></tr>\n";
		}
		page += "</table>\n";
	}
	page += foot;
	page += "</body>\n</html>\n";
	return page;
}


std::string
FormatBulletin(const std::vector<CharacterListing::Character>& entries,
	BulletinFormat format, const char* date)
{
	switch (format) {
		case BulletinFormat::kText:
			return TextBulletin(entries, date, false);
		case BulletinFormat::kAnsi:
			return TextBulletin(entries, date, true);
		case BulletinFormat::kHtml:
			return HtmlBulletin(entries, date);
	}
	return std::string();
}


std::string
FormatFamePage(const std::vector<CharacterListing::Character>& entries,
	const char* date)
{
	return HtmlBulletin(entries, date, kBoardHead, kBoardFoot);
}


std::string
FormatPlayerTable(const std::vector<CharacterListing::Character>& entries)
{
	std::string table = Padded("Name", 30) + " " + Padded("User", 30)
		+ " Level        HP       Gold  Last played\n";
	for (const CharacterListing::Character& entry : entries) {
		char numbers[64];
		snprintf(numbers, sizeof(numbers), "%5d %9s %10d  ",
			(int)entry.level,
			(std::to_string(entry.hp) + "/" + std::to_string(entry.maxHP))
				.c_str(), (int)entry.gold);
		char played[32] = "never";
		if (entry.lastPlayed != 0) {
			struct tm local;
			localtime_r(&entry.lastPlayed, &local);
			strftime(played, sizeof(played), "%Y-%m-%d %H:%M", &local);
		}
		table += Padded(entry.name.String(), 30) + " "
			+ Padded(entry.userName.String(), 30) + " " + numbers + played
			+ "\n";
	}
	return table;
}
