#pragma once

#include <Application.h>
#include <Message.h>
#include <String.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A stand-in for Zenbo in tests: a real application registered under
// Zenbo's signature, which answers every session from a script and records
// every message it receives, field by field, in order. Run it with
// ScriptedHostRunner, which runs its loop on a thread of its own.
class ScriptedHost : public BApplication {
public:
	struct Field {
		std::string			name;
		type_code			type;
		std::string			value;		// a string's bytes, or a number in decimal
	};
	struct Record {
		uint32				what;
		std::vector<Field>	fields;
	};

								ScriptedHost();

	// The script, per user name. Keys are answered to "gcha" in order as
	// "Char" int32; once they run out, "Char" 0 (the user is gone). An
	// answer may also be a whole reply message (a missing or odd "Char").
			void				SetKeys(const std::string& user,
									const std::string& keys);
			void				AddAnswer(const std::string& user,
									const BMessage& reply);
			// The text number count + 1 (echoes count) is answered with
			// B_QUIT_REQUESTED, and every text after it too.
			void				QuitAfterTexts(const std::string& user,
									int32 count);

	// What was received, per user ("UserName" of the message).
			std::vector<Record>	Records(const std::string& user) const;
			// The "String" of every "sstr" in order, echoes included.
			std::vector<std::string> Texts(const std::string& user) const;
			std::string			Screen(const std::string& user) const;
			// Waits until the user has run out of keys and been told so, or
			// until the timeout; true when it has.
			bool				WaitUntilGone(const std::string& user,
									bigtime_t timeout);

	// Sends "sdoo" for the user to the door and returns its reply.
			status_t			EnterDoor(const char* doorSignature,
									const std::string& user, BMessage* reply);

	virtual	void				MessageReceived(BMessage* message) override;

private:
	struct Session {
		std::vector<BMessage>	answers;
		size_t					nextAnswer = 0;
		int32					quitAfter = -1;
		int32					texts = 0;
		bool					gone = false;
		std::vector<Record>		records;
	};

	mutable std::mutex			fLock;
	std::condition_variable		fChanged;
	std::map<std::string, Session> fSessions;
};

// Runs a ScriptedHost's loop on a thread; quits it and joins on destruction.
class ScriptedHostRunner {
public:
								ScriptedHostRunner();
								~ScriptedHostRunner();

			ScriptedHost&		Host() { return *fHost; }

private:
			ScriptedHost*		fHost;
			std::thread			fThread;
};

// Describes a record as one line, for failure messages and golden files:
//   sstr String="\nHello" Enum=0 UserName="Ash"
std::string DescribeRecord(const ScriptedHost::Record& record);
