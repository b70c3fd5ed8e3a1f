#include "RawLimit.h"

#include "Clock.h"

#include <errno.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>


namespace {

// A door's text request and the host's answer, as the wire carries them:
// a frame header and a flattened message each.
const size_t kRequestSize = 96;
const size_t kReplySize = 40;


bool
ReadWhole(int socket, char* buffer, size_t size)
{
	size_t done = 0;
	while (done < size) {
		ssize_t got = recv(socket, buffer + done, size - done, 0);
		if (got < 0 && errno == EINTR)
			continue;
		if (got <= 0)
			return false;
		done += (size_t)got;
	}
	return true;
}


// Serves every client socket from one loop until stop; answers each whole
// request with one reply.
void
Serve(const std::vector<int>& sockets, std::atomic<bool>& stop)
{
	int poll = epoll_create1(EPOLL_CLOEXEC);
	for (size_t i = 0; i < sockets.size(); i++) {
		epoll_event event = {};
		event.events = EPOLLIN;
		event.data.u64 = i;
		epoll_ctl(poll, EPOLL_CTL_ADD, sockets[i], &event);
	}
	std::vector<size_t> pending(sockets.size(), 0);
	std::vector<epoll_event> ready(256);
	char buffer[64 * 1024];
	char reply[kReplySize] = {};
	while (!stop) {
		int count = epoll_wait(poll, ready.data(), (int)ready.size(), 50);
		for (int i = 0; i < count; i++) {
			size_t index = ready[(size_t)i].data.u64;
			ssize_t got = recv(sockets[index], buffer, sizeof(buffer),
				MSG_DONTWAIT);
			if (got <= 0)
				continue;
			pending[index] += (size_t)got;
			while (pending[index] >= kRequestSize) {
				pending[index] -= kRequestSize;
				send(sockets[index], reply, sizeof(reply), MSG_NOSIGNAL);
			}
		}
	}
	close(poll);
}

}	// namespace


double
RawLimit::ExchangesPerSecond(int threads, double seconds)
{
	std::vector<int> served;
	std::vector<int> clients;
	for (int i = 0; i < threads; i++) {
		int pair[2];
		if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
			break;
		served.push_back(pair[0]);
		clients.push_back(pair[1]);
	}
	std::atomic<bool> stop = false;
	std::atomic<bool> measuring = false;
	std::atomic<int64_t> exchanges = 0;
	std::thread server(Serve, std::cref(served), std::ref(stop));
	std::vector<std::thread> workers;
	for (int client : clients) {
		workers.emplace_back([client, &stop, &measuring, &exchanges] {
			char request[kRequestSize] = {};
			char reply[kReplySize];
			while (!stop) {
				if (send(client, request, sizeof(request), MSG_NOSIGNAL)
						!= (ssize_t)sizeof(request)
					|| !ReadWhole(client, reply, sizeof(reply))) {
					return;
				}
				if (measuring)
					exchanges++;
			}
		});
	}
	// A moment to settle before the count starts.
	usleep(200000);
	measuring = true;
	int64_t start = Now();
	usleep((useconds_t)(seconds * 1000000));
	measuring = false;
	double elapsed = (double)(Now() - start) / 1000000;
	int64_t counted = exchanges;
	stop = true;
	// A client waiting for its reply is released by its socket's end.
	for (int client : clients)
		shutdown(client, SHUT_RDWR);
	for (std::thread& worker : workers)
		worker.join();
	server.join();
	for (int socket : served)
		close(socket);
	for (int socket : clients)
		close(socket);
	return elapsed > 0 ? (double)counted / elapsed : 0;
}


double
RawLimit::RoundTripMicroseconds(int exchanges)
{
	int pair[2];
	if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
		return 0;
	std::vector<int> served = { pair[0] };
	std::atomic<bool> stop = false;
	std::thread server(Serve, std::cref(served), std::ref(stop));
	char request[kRequestSize] = {};
	char reply[kReplySize];
	int64_t start = Now();
	int done = 0;
	for (; done < exchanges; done++) {
		if (send(pair[1], request, sizeof(request), MSG_NOSIGNAL)
				!= (ssize_t)sizeof(request)
			|| !ReadWhole(pair[1], reply, sizeof(reply))) {
			break;
		}
	}
	double elapsed = (double)(Now() - start);
	stop = true;
	server.join();
	close(pair[0]);
	close(pair[1]);
	return done > 0 ? elapsed / done : 0;
}
