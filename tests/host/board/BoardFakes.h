#pragma once

#include "AccountStore.h"
#include "BoardLink.h"
#include "CallLog.h"
#include "Terminal.h"

#include <Message.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The board's surroundings for tests of its parts: a terminal that keeps
// what it was shown and told, accounts in memory, and a link with a clock
// the test moves that records the slow work asked of it. Passwords "hash"
// to "hash:" and the password.

namespace BoardFakes {

const bigtime_t kSecond = 1000000;


class FakeTerminal : public Terminal {
public:
	explicit FakeTerminal(const char* address = "10.0.0.1")
		:
		fAddress(address)
	{
	}

	void Show(const std::string& text) override { fShown += text; }
	// What may be kept back is shown too; fKept tells it until it is sent.
	void ShowSoon(const std::string& text) override
	{
		fShown += text;
		fKept += text;
	}
	void SendWaiting() override
	{
		fKept.clear();
		fSentWaiting++;
	}
	// Shown among the texts when the test asks, as a bridge shows them.
	void LogLine(const BString& line) override
	{
		if (!fShowsLogLines)
			return;
		fShown += "[log: ";
		fShown += line.String();
		fShown += "]";
	}
	size_t Backlog() const override { return fBacklog; }
	void Finish(CallEnd end, const char* notice) override
	{
		if (notice != NULL)
			fShown += notice;
		fEnd = end;
		fClosed = true;
	}
	void LoginAnswered(LoginAnswer answer, const char* reason) override
	{
		fAnswers.push_back(answer);
		fReason = reason != NULL ? reason : "";
		fReasons.push_back(fReason);
	}
	const BString& Address() const override { return fAddress; }
	BString TerminalType() const override { return BString("VT100"); }
	const char* Kind() const override { return "fake"; }
	bool CarriesEightBits() const override { return fCarriesEightBits; }

	// What was shown since the last call.
	std::string TakeShown()
	{
		std::string shown;
		shown.swap(fShown);
		return shown;
	}

	BString fAddress;
	std::string fShown;
	bool fShowsLogLines = false;
	std::string fKept;
	int fSentWaiting = 0;
	bool fCarriesEightBits = true;
	size_t fBacklog = 0;
	bool fClosed = false;
	CallEnd fEnd = CallEnd::kFailure;
	std::vector<LoginAnswer> fAnswers;
	// The last reason given, and every one in turn.
	std::string fReason;
	std::vector<std::string> fReasons;
};


class MemoryAccounts : public AccountStore {
public:
	status_t Find(const BString& name, BString* storedName,
		std::string* hash) const override
	{
		auto found = fAccounts.find(NameKey(name));
		if (found == fAccounts.end())
			return fBroken ? B_IO_ERROR : B_ENTRY_NOT_FOUND;
		*storedName = found->second.first;
		*hash = found->second.second;
		return B_OK;
	}

	status_t Add(const BString& name, const std::string& hash) override
	{
		if (fAccounts.count(NameKey(name)) != 0)
			return B_FILE_EXISTS;
		fAccounts[NameKey(name)] = { name, hash };
		return B_OK;
	}

	status_t SetHash(const BString& name, const std::string& hash,
		BString* storedName) override
	{
		auto found = fAccounts.find(NameKey(name));
		if (found == fAccounts.end())
			return B_ENTRY_NOT_FOUND;
		if (fBroken)
			return B_IO_ERROR;
		*storedName = found->second.first;
		found->second.second = IsLockedAccountHash(found->second.second)
			? kLockedAccountMark + hash : hash;
		return B_OK;
	}

	std::map<std::string, std::pair<BString, std::string>> fAccounts;
	bool fBroken = false;
};


// The calls in memory, numbered from 1, with the wall clock the test sets.
class MemoryCallLog : public CallLog {
public:
	int64 CallStarted(const BString& name, const char* way,
		const BString& address) override
	{
		CallRecord call;
		call.id = (int64)fCalls.size() + 1;
		call.name = name;
		call.way = way;
		call.address = address;
		call.start = fNow;
		fCalls.push_back(call);
		return call.id;
	}
	void CallEnded(int64 id, CallEnding ending) override
	{
		CallRecord& call = fCalls.at((size_t)id - 1);
		call.ended = true;
		call.end = fNow;
		call.ending = ending;
	}
	std::vector<CallRecord> LastCalls(int32 count,
		const BString& name) const override
	{
		std::vector<CallRecord> calls;
		for (auto call = fCalls.rbegin(); call != fCalls.rend()
				&& (int32)calls.size() < count; call++) {
			if (name.Length() == 0 || NameKey(name) == NameKey(call->name))
				calls.push_back(*call);
		}
		return calls;
	}

	time_t fNow = 1700000000;
	std::vector<CallRecord> fCalls;
};


class FakeLink : public BoardLink {
public:
	bigtime_t Now() override { return fNow; }
	int32 NewSeatID() override { return fNextSeat++; }
	void EnterDoor(int32 seat, const BString& name) override
	{
		fEntered[name.String()] = seat;
	}
	bool HasCharacter(const BString& name) override
	{
		return fCharacters.count(NameKey(name)) != 0;
	}
	// The answers are kept by the request's address, which the test holds
	// on to; the request itself is gone, as the host's would be.
	void AnswerKey(BMessage* request, int32 key) override
	{
		fKeys[request] = key;
		delete request;
	}
	void AnswerText(BMessage* request, bool gone) override
	{
		fTexts[request] = gone;
		delete request;
	}
	void HashPassword(int32 caller, const std::string& password) override
	{
		fHashes.push_back({ caller, "hash:" + password });
	}
	void CheckPassword(int32 caller, const std::string& hash,
		const std::string& password) override
	{
		fChecks.push_back({ caller, hash == "hash:" + password });
	}

	bigtime_t fNow = 1000 * kSecond;
	int32 fNextSeat = 100;
	std::map<std::string, int32> fEntered;
	// Keys of the names the door keeps characters of.
	std::set<std::string> fCharacters;
	std::map<BMessage*, int32> fKeys;
	std::map<BMessage*, bool> fTexts;
	std::vector<std::pair<int32, std::string>> fHashes;
	std::vector<std::pair<int32, bool>> fChecks;
};

}	// namespace BoardFakes
