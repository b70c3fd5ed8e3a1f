#pragma once

#include <Looper.h>
#include <OS.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>


// A looper on a thread of its own, for the host's pieces that live on one:
// the test builds and drives them with the looper locked, as the looper's
// own hooks do, and waits a bounded time for what the loop does.
class RunningLooper {
public:
	RunningLooper()
	{
		fLooper.Run();
	}

	BLooper& Looper() { return fLooper; }

	// Runs the function with the looper locked.
	template<typename Function>
	auto Locked(Function function)
	{
		struct Guard {
			BLooper& looper;
			~Guard() { looper.Unlock(); }
		} guard{fLooper};
		fLooper.Lock();
		return function();
	}

	// Checks the condition under the lock until it holds, for at most five
	// seconds.
	template<typename Condition>
	bool WaitFor(Condition condition, bigtime_t timeout = 5000000)
	{
		bigtime_t end = system_time() + timeout;
		while (true) {
			if (Locked(condition))
				return true;
			if (system_time() >= end)
				return false;
			snooze(2000);
		}
	}

private:
	BLooper fLooper{"test looper"};
};


// Two connected stream sockets: the host's end, non-blocking as the
// listener makes it, and the peer's, blocking with a timeout so that a
// test that waits for bytes that never come fails instead of hanging.
struct SocketPair {
	int host = -1;
	int peer = -1;

	SocketPair()
	{
		int ends[2];
		if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
			return;
		host = ends[0];
		peer = ends[1];
		fcntl(host, F_SETFL, fcntl(host, F_GETFL) | O_NONBLOCK);
		timeval timeout = {5, 0};
		setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
		setsockopt(peer, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
	}

	~SocketPair()
	{
		ClosePeer();
	}

	void ClosePeer()
	{
		if (peer >= 0)
			close(peer);
		peer = -1;
	}

	bool Send(const std::string& bytes)
	{
		return send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL)
			== (ssize_t)bytes.size();
	}

	// Reads what the host sent until at least `size` bytes came, or the
	// end of the stream, or the timeout.
	std::string Receive(size_t size)
	{
		std::string received;
		char buffer[4096];
		while (received.size() < size) {
			ssize_t got = recv(peer, buffer, sizeof(buffer), 0);
			if (got <= 0)
				break;
			received.append(buffer, (size_t)got);
		}
		return received;
	}

	// Everything until the host closes its end.
	std::string ReceiveAll() { return Receive((size_t)-1); }
};
