#pragma once

#include <Application.h>
#include <Message.h>
#include <String.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A stand-in for Zenbo in tests: a real application registered under
// Zenbo's signature, which answers every session from a script and records
// every message it receives, field by field, in order. Run it with
// ScriptedHostRunner, which runs its loop on a thread of its own; the
// test's thread sets the script and reads the records, under the host's
// own lock, while the loop answers.
class ScriptedHost : public BApplication {
public:
	struct Field {
		std::string			name;
		type_code			type;
		// A string's bytes, a number in decimal, other data in hexadecimal.
		std::string			value;
	};
	struct Record {
		uint32				what;
		std::vector<Field>	fields;
	};

								ScriptedHost();
	virtual						~ScriptedHost();

	// The script, per user name. Keys are answered to "gcha" in order as
	// "Char" int32 (the byte's value, 0 to 255); once they run out, "Char" 0
	// (the user is gone). An answer may also be a whole reply message (a
	// missing or odd "Char"); keys and answers are used in the order given.
			void				SetKeys(const std::string& user,
									const std::string& keys);
			void				AddAnswer(const std::string& user,
									const BMessage& reply);
			// The text number count + 1 (echoes count) is answered with
			// B_QUIT_REQUESTED, and every text after it too.
			void				QuitAfterTexts(const std::string& user,
									int32 count);
			// A thinking user: from now on a "gcha" of the user is answered
			// only once ReleaseKeys is called (from the test's thread).
			void				HoldKeys(const std::string& user);
			void				ReleaseKeys(const std::string& user);

	// What was received, per user ("UserName" of the message; a message
	// without one counts for the empty name).
			std::vector<Record>	Records(const std::string& user) const;
			// The "String" of every "sstr" in order, echoes included.
			std::vector<std::string> Texts(const std::string& user) const;
			// Every text of the user joined, as the user's terminal got it.
			std::string			Screen(const std::string& user) const;
			// Waits until the user has been told that they are gone (a
			// "Char" 0 once the keys ran out, or B_QUIT_REQUESTED to a
			// text), or until the timeout; true when they have.
			bool				WaitUntilGone(const std::string& user,
									bigtime_t timeout);
			// Waits until at least count messages of the user have come in.
			bool				WaitForRecords(const std::string& user,
									size_t count, bigtime_t timeout);
			// Waits until a "gcha" of a held user is waiting for its answer.
			bool				WaitUntilAsked(const std::string& user,
									bigtime_t timeout);

	// Sends "sdoo" for the user to the door and returns its reply. Runs on
	// the calling thread (never the host's loop), which it blocks until the
	// door answers or drops the message.
			status_t			EnterDoor(const char* doorSignature,
									const std::string& user, BMessage* reply);
	// Any message, synchronously, to an application by its signature.
	static	status_t			SendToDoor(const char* doorSignature,
									BMessage message, BMessage* reply);

	virtual	void				MessageReceived(BMessage* message) override;

private:
	struct Session {
		std::vector<BMessage>	answers;
		size_t					nextAnswer = 0;
		int32					quitAfter = -1;
		int32					texts = 0;
		bool					gone = false;
		bool					holding = false;
		// A "gcha" taken out of the loop while the user thinks; answered
		// and deleted by ReleaseKeys, or deleted (B_NO_REPLY) with the host.
		BMessage*				waiting = nullptr;
		std::vector<Record>		records;
	};

			BMessage			_NextKeyAnswer(Session& session);
			bool				_WaitFor(bigtime_t timeout,
									const std::function<bool()>& condition) const;

	mutable std::mutex			fLock;
	mutable std::condition_variable fChanged;
	std::map<std::string, Session> fSessions;
};

// Runs a ScriptedHost's loop on a thread; quits it and joins on destruction.
class ScriptedHostRunner {
public:
								ScriptedHostRunner();
								ScriptedHostRunner(const ScriptedHostRunner&) = delete;
			ScriptedHostRunner&	operator=(const ScriptedHostRunner&) = delete;
								~ScriptedHostRunner();

			ScriptedHost&		Host() { return *fHost; }

private:
			ScriptedHost*		fHost;
			std::thread			fThread;
};

// Describes a record as one line, for failure messages and golden files:
//   sstr String="\nHello" Enum=0 UserName="Ash"
// Strings are quoted with C escapes; a number of a type other than int32
// carries its type ("Char=LLNG:65").
std::string DescribeRecord(const ScriptedHost::Record& record);
// The same for any message, such as a reply the door sent back.
std::string DescribeMessage(const BMessage& message);
