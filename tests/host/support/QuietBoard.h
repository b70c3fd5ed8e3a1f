#pragma once

#include "AccountStore.h"
#include "Board.h"
#include "BoardSettings.h"

#include <Message.h>

#include <map>
#include <string>
#include <vector>


// A board for a way in's tests: no accounts at first, a host that records
// what the board asks of it and answers nothing by itself.
class QuietBoard : private AccountStore, private BoardLink {
public:
	explicit QuietBoard(const BoardSettings& settings = BoardSettings())
		:
		fBoard(settings, *this, *this)
	{
	}

	Board& Get() { return fBoard; }

	// What the board asked of the host.
	std::vector<std::string> fEnteredNames;
	int32 fTextsAnswered = 0;

private:
	// The accounts
	status_t Find(const BString& name, BString* storedName,
		std::string* hash) const override
	{
		auto found = fAccounts.find(name.String());
		if (found == fAccounts.end())
			return B_ENTRY_NOT_FOUND;
		*storedName = name;
		*hash = found->second;
		return B_OK;
	}
	status_t Add(const BString& name, const std::string& hash) override
	{
		fAccounts[name.String()] = hash;
		return B_OK;
	}
	status_t SetHash(const BString& name, const std::string& hash,
		BString* storedName) override
	{
		auto found = fAccounts.find(name.String());
		if (found == fAccounts.end())
			return B_ENTRY_NOT_FOUND;
		*storedName = name;
		found->second = hash;
		return B_OK;
	}

	// The host
	bigtime_t Now() override { return system_time(); }
	int32 NewSeatID() override { return fNextSeat++; }
	void EnterDoor(int32, const BString& name) override
	{
		fEnteredNames.push_back(name.String());
	}
	void AnswerKey(BMessage* request, int32) override { delete request; }
	void AnswerText(BMessage* request, bool) override
	{
		fTextsAnswered++;
		delete request;
	}
	bool HasCharacter(const BString&) override { return false; }
	void HashPassword(int32, const std::string&) override {}
	void CheckPassword(int32, const std::string&, const std::string&)
		override {}

	std::map<std::string, std::string> fAccounts;
	int32 fNextSeat = 1;
	Board fBoard;
};
