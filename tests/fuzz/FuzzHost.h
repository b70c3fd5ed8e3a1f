#pragma once

#include <Application.h>

#include <condition_variable>
#include <mutex>
#include <string>

// Zenbo in a fuzzer's process, for one door session at a time: it answers
// every key request with the next key of the session (0, the user gone,
// once they run out), takes every text, and notes when the session has
// taken leave. It registers under Zenbo's signature, so that the door's
// session threads, run in the same process, talk to it as to the host.
// Runs on a thread of its own for as long as the fuzzer does.
class FuzzHost : public BApplication {
public:
	// Registers and runs the host; aborts, naming the fuzzer, when it
	// cannot.
	static	FuzzHost*			Start(const char* fuzzer);

	// Plays one session of the door's game for the user with the keys,
	// until the session has taken leave and its thread has ended, so that
	// the next session finds the player file alone. Aborts, naming the
	// fuzzer, when the session does not start or does not end in time.
			void				PlayGame(const char* user,
									const std::string& keys);

	// Keys asked for by the last session, its texts, and their bytes.
			size_t				KeysAsked() const;
			size_t				TextsSent() const;

	virtual	void				MessageReceived(BMessage* message) override;

private:
								FuzzHost(const char* fuzzer);

			const char*			fFuzzer;
	mutable	std::mutex			fLock;
			// Guarded by fLock: the session's keys and what it did.
			std::condition_variable fChanged;
			std::string			fKeys;
			size_t				fNextKey = 0;
			size_t				fKeysAsked = 0;
			size_t				fTextsSent = 0;
			bool				fLeft = false;
};
