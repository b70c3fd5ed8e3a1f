#pragma once

#include <condition_variable>
#include <mutex>

// A gate that spawned threads wait at until the test opens it, so that a
// test can look at threads while they are certainly alive.
class Gate {
public:
	void Open()
	{
		std::lock_guard<std::mutex> locker(fLock);
		fOpen = true;
		fChanged.notify_all();
	}

	void Wait()
	{
		std::unique_lock<std::mutex> locker(fLock);
		fChanged.wait(locker, [this] { return fOpen; });
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	bool fOpen = false;
};
