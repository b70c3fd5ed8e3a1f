#include "ShellTest.h"

#include <VraskPaths.h>

#include <stdio.h>
#include <time.h>


std::string
TodayNumber()
{
	time_t now = kFrozenSecond;
	struct tm local;
	localtime_r(&now, &local);
	char text[16];
	strftime(text, sizeof(text), "%Y%m%d", &local);
	return text;
}


std::string
StoredPlayer::Text() const
{
	std::string text;
	for (const std::string* line : {&name, &weapon, &armor, &weaponStr,
			&armorStr, &gold, &maxHP, &hp, &level, &xp, &str, &def, &fights,
			&lastDay}) {
		text += *line;
		text += '\n';
	}
	return text;
}


std::string
PlayerPath(const std::string& user)
{
	return kUsersFolder + user;
}


std::string
Escape(const std::string& text)
{
	std::string result;
	for (unsigned char c : text) {
		switch (c) {
			case '\n': result += "\\n"; break;
			case '\b': result += "\\b"; break;
			case '\r': result += "\\r"; break;
			case '\t': result += "\\t"; break;
			case '\\': result += "\\\\"; break;
			case '"': result += "\\\""; break;
			default:
				if (c < 0x20 || c >= 0x7f) {
					char hex[8];
					snprintf(hex, sizeof(hex), "\\x%02x", c);
					result += hex;
				} else
					result += (char)c;
		}
	}
	return result;
}


static int
HexDigit(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}


bool
Unescape(const std::string& text, std::string* result)
{
	result->clear();
	for (size_t i = 0; i < text.size(); i++) {
		if (text[i] != '\\') {
			*result += text[i];
			continue;
		}
		if (++i == text.size())
			return false;
		switch (text[i]) {
			case 'n': *result += '\n'; break;
			case 'b': *result += '\b'; break;
			case 'r': *result += '\r'; break;
			case 't': *result += '\t'; break;
			case '\\': *result += '\\'; break;
			case '"': *result += '"'; break;
			case 'x':
			{
				if (i + 2 >= text.size())
					return false;
				int high = HexDigit(text[i + 1]);
				int low = HexDigit(text[i + 2]);
				if (high < 0 || low < 0)
					return false;
				*result += (char)(high * 16 + low);
				i += 2;
				break;
			}
			default:
				return false;
		}
	}
	return true;
}


std::string
Describe(const std::vector<std::string>& texts)
{
	std::string result;
	for (const std::string& text : texts)
		result += "\"" + Escape(text) + "\"\n";
	return result;
}


std::vector<std::string>
Concatenated(std::vector<std::vector<std::string>> parts)
{
	std::vector<std::string> result;
	for (const std::vector<std::string>& part : parts)
		result.insert(result.end(), part.begin(), part.end());
	return result;
}


void
AppendEchoes(std::vector<std::string>& texts, const std::string& keys)
{
	for (char key : keys)
		texts.push_back(std::string(1, key));
}


std::vector<std::string>
Greeting()
{
	return {"\nWelcome to Drelmoor!"};
}


std::vector<std::string>
WelcomeBack(const std::string& name)
{
	return {"\n\nWelcome back, ", name, "!\n"};
}


std::vector<std::string>
PromptLine(const std::string& name, const std::string& location,
	int caveLevel)
{
	std::string line = "\n<" + name + " : " + location;
	if (location == "Caves")
		line += " " + std::to_string(caveLevel);
	return {line + "> "};
}


std::vector<std::string>
StatusScreen(const StoredPlayer& player, const std::string& xpMark,
	const std::string& weaponBonus, const std::string& armorBonus)
{
	return {"\nStatus for [", player.name, "]:",
		"\n Level: ", player.level,
		"\n HP: ", player.hp, "/", player.maxHP,
		"\n XP: ", player.xp, "/", xpMark,
		"\n Str:", player.str, " + ", weaponBonus,
		" Def: ", player.def, " + ", armorBonus,
		"\n Weapon: ", player.weapon,
		"\n Armor: ", player.armor,
		"\n Gold: ", player.gold,
		"\n Cave Fights left for today: ", player.fights,
		"\n"};
}


ShellTest::ShellTest()
{
	fVolume.MakeFolder(kUsersFolder);
}


void
ShellTest::WritePlayer(const std::string& user, const std::string& text)
{
	fVolume.WriteFile(PlayerPath(user).c_str(), text);
}


std::string
ShellTest::ReadPlayer(const std::string& user)
{
	return fVolume.ReadFile(PlayerPath(user).c_str());
}


bool
ShellTest::HasPlayer(const std::string& user)
{
	return fVolume.Exists(PlayerPath(user).c_str());
}
