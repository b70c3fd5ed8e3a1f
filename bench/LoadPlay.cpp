#include "LoadPlay.h"

#include <stdlib.h>
#include <string.h>


namespace {

bool
EndsWith(const std::string& text, const char* end)
{
	size_t length = strlen(end);
	return text.size() >= length
		&& text.compare(text.size() - length, length, end) == 0;
}


// The number after the last occurrence of label, or -1.
int
NumberAfter(const std::string& screen, const char* label, size_t* at = NULL)
{
	size_t found = screen.rfind(label);
	if (found == std::string::npos)
		return -1;
	const char* start = screen.c_str() + found + strlen(label);
	while (*start == ' ')
		start++;
	if (*start < '0' || *start > '9')
		return -1;
	if (at != NULL)
		*at = found;
	return atoi(start);
}

}	// namespace


PlayScript::Ending
PlayScript::EndingOf(const std::string& screen)
{
	if (EndsWith(screen, "> ")) {
		size_t open = screen.rfind("\n<");
		if (open != std::string::npos && screen.find(" : ", open) != std::string::npos)
			return Ending::kPrompt;
	}
	if (EndsWith(screen, "What will you do?"))
		return Ending::kFightChoice;
	if (EndsWith(screen, "Which would you like to buy?"))
		return Ending::kShopChoice;
	if (EndsWith(screen, "(y/n) "))
		return Ending::kConfirm;
	return Ending::kNone;
}


PlayScript::Step
PlayScript::Next(const std::string& screen, Ending ending)
{
	_Learn(screen);
	Step step;
	switch (ending) {
		case Ending::kFightChoice:
			// Runs while it still can, before the beastie finishes it.
			step.keys = fHP * 10 < fMaxHP * 3 ? "r" : "a";
			return step;
		case Ending::kShopChoice:
			step.keys = _ShopChoice(screen) + "\r\n";
			return step;
		case Ending::kConfirm:
			fPurchases++;
			step.keys = "y";
			return step;
		case Ending::kPrompt:
			return _AtPrompt();
		case Ending::kNone:
			break;
	}
	return step;
}


void
PlayScript::_Learn(const std::string& screen)
{
	if (screen.find("???") != std::string::npos)
		fNotUnderstood++;
	if (screen.find("You are far too tired") != std::string::npos)
		fTired = true;
	if (screen.find("You are fighting") != std::string::npos)
		fFights++;
	if (screen.find("\nHealed ") != std::string::npos)
		fHeals++;
	if (screen.find("Welcome to The Wall of Fame") != std::string::npos)
		fFameViews++;
	if (screen.find("\nStatus for [") != std::string::npos)
		fStatusViews++;

	// The hit points as the fight and the status screen show them.
	size_t at = 0;
	int hp = NumberAfter(screen, " HP: ", &at);
	if (hp >= 0) {
		fHP = hp;
		int max = NumberAfter(screen.substr(at), "/");
		if (max > 0)
			fMaxHP = max;
	}
	size_t bracket = screen.rfind("] ");
	size_t newline = screen.rfind("\n[");
	if (bracket != std::string::npos && newline != std::string::npos
		&& newline < bracket) {
		int current = NumberAfter(screen.substr(bracket), "] ");
		int max = NumberAfter(screen.substr(bracket), "/");
		if (current >= 0 && max > 0) {
			fHP = current;
			fMaxHP = max;
		}
	}
	int gold = NumberAfter(screen, " Gold: ");
	if (gold >= 0)
		fGold = gold;
	int got = NumberAfter(screen, " XP and ");
	if (got >= 0)
		fGold += got;

	// Where the prompt says the caller stands.
	size_t open = screen.rfind("\n<");
	if (open != std::string::npos) {
		size_t colon = screen.find(" : ", open);
		if (colon != std::string::npos) {
			const char* place = screen.c_str() + colon + 3;
			if (strncmp(place, "Town", 4) == 0)
				fPlace = Place::kTown;
			else if (strncmp(place, "Caves", 5) == 0)
				fPlace = Place::kCaves;
			else if (strncmp(place, "Blacksmith", 10) == 0)
				fPlace = Place::kBlacksmith;
			else if (strncmp(place, "Healers", 7) == 0)
				fPlace = Place::kHealers;
		}
	}
}


PlayScript::Step
PlayScript::_AtPrompt()
{
	Step step;
	fCommands++;
	bool hurt = fHP * 2 < fMaxHP;
	if (hurt)
		fErrand = Errand::kHeal;

	switch (fPlace) {
		case Place::kTown:
			if (fFameEvery > 0 && _Draw((uint32_t)fFameEvery) == 0) {
				step.keys = "w";
				step.wallOfFame = true;
			} else if (fErrand == Errand::kHeal)
				step.keys = "h";
			else if (fErrand == Errand::kShop)
				step.keys = "b";
			else if (fErrand == Errand::kStatus) {
				step.keys = "s";
				fErrand = Errand::kFight;
			} else
				step.keys = "c";
			break;
		case Place::kCaves:
			if (fErrand != Errand::kFight || fTired) {
				if (fErrand == Errand::kFight)
					fErrand = _Draw(2) == 0 ? Errand::kShop : Errand::kStatus;
				step.keys = "t";
			} else {
				step.keys = "f";
				// After a few fights the caller goes shopping or looks at
				// itself.
				if (_Draw(6) == 0)
					fErrand = _Draw(2) == 0 ? Errand::kShop : Errand::kStatus;
			}
			break;
		case Place::kBlacksmith:
			if (fErrand == Errand::kShop && !fShopped) {
				fShopArmor = !fShopArmor;
				step.keys = fShopArmor ? "a" : "w";
				fShopped = true;
			} else {
				fShopped = false;
				fErrand = Errand::kFight;
				step.keys = "t";
			}
			break;
		case Place::kHealers:
			if (fErrand == Errand::kHeal && hurt)
				step.keys = "a";
			else {
				fErrand = Errand::kFight;
				step.keys = "t";
			}
			// Healed or not (too poor), the caller goes on.
			if (!hurt)
				fErrand = Errand::kFight;
			else
				fHP = fMaxHP;
			break;
	}
	return step;
}


// The best item the caller can afford above the one it has, else the one
// it has (which the smith declines to sell again).
std::string
PlayScript::_ShopChoice(const std::string& screen)
{
	int current = -1;
	int best = -1;
	int first = -1;
	size_t at = screen.rfind("Which would you like to buy?");
	for (size_t line = screen.find("\n(", 0); line != std::string::npos
			&& line < at; line = screen.find("\n(", line + 1)) {
		int number = atoi(screen.c_str() + line + 2);
		size_t end = screen.find('\n', line + 1);
		std::string text = screen.substr(line, end == std::string::npos
			? std::string::npos : end - line);
		size_t colon = text.rfind(" : ");
		int price = colon != std::string::npos
			? atoi(text.c_str() + colon + 3) : -1;
		if (first < 0)
			first = number;
		if (text.find(" *** ") != std::string::npos)
			current = number;
		else if (current >= 0 && price >= 0 && price <= fGold)
			best = number;
	}
	int choice = best > 0 ? best : current > 0 ? current : first;
	if (choice <= 0)
		choice = 1;
	return std::to_string(choice);
}


uint32_t
PlayScript::_Draw(uint32_t range)
{
	// xorshift: each caller plays its own sequence, the same in every run.
	fSeed ^= fSeed << 13;
	fSeed ^= fSeed >> 17;
	fSeed ^= fSeed << 5;
	return range == 0 ? 0 : fSeed % range;
}
