#include "EventPoller.h"

#include <AppDefs.h>
#include <Errors.h>

#include <errno.h>
#include <stdint.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace BPrivate {


EventPoller::EventPoller()
	:
	fEpoll(epoll_create1(EPOLL_CLOEXEC))
{
}


status_t
EventPoller::InitCheck() const
{
	return fEpoll.IsValid() ? B_OK : B_NO_INIT;
}


static epoll_event
make_event(uint32 events, uint64 key)
{
	epoll_event event = {};
	if ((events & B_DESCRIPTOR_READABLE) != 0)
		event.events |= EPOLLIN;
	if ((events & B_DESCRIPTOR_WRITABLE) != 0)
		event.events |= EPOLLOUT;
	event.events |= EPOLLRDHUP;
	event.data.u64 = key;
	return event;
}


status_t
EventPoller::Add(int descriptor, uint32 events, uint64 key)
{
	epoll_event event = make_event(events, key);
	if (epoll_ctl(fEpoll.Get(), EPOLL_CTL_ADD, descriptor, &event) != 0)
		return status_from_errno(errno);
	return B_OK;
}


status_t
EventPoller::Modify(int descriptor, uint32 events, uint64 key)
{
	epoll_event event = make_event(events, key);
	if (epoll_ctl(fEpoll.Get(), EPOLL_CTL_MOD, descriptor, &event) != 0)
		return status_from_errno(errno);
	return B_OK;
}


status_t
EventPoller::Remove(int descriptor)
{
	if (epoll_ctl(fEpoll.Get(), EPOLL_CTL_DEL, descriptor, NULL) != 0)
		return status_from_errno(errno);
	return B_OK;
}


status_t
EventPoller::Wait(std::vector<Event>& events)
{
	// A busy loop finds many descriptors ready at once: taking them in one
	// call spares a system call per few events.
	static const int kMostAtOnce = 256;
	epoll_event ready[kMostAtOnce];
	int count;
	do {
		count = epoll_wait(fEpoll.Get(), ready, kMostAtOnce, -1);
	} while (count < 0 && errno == EINTR);
	if (count < 0)
		return status_from_errno(errno);

	events.clear();
	for (int i = 0; i < count; i++) {
		uint32 what = 0;
		if ((ready[i].events & EPOLLIN) != 0)
			what |= B_DESCRIPTOR_READABLE;
		if ((ready[i].events & EPOLLOUT) != 0)
			what |= B_DESCRIPTOR_WRITABLE;
		if ((ready[i].events & (EPOLLHUP | EPOLLRDHUP | EPOLLERR)) != 0)
			what |= B_DESCRIPTOR_HANGUP;
		events.push_back(Event{ready[i].data.u64, what});
	}
	return B_OK;
}


WakeSignal::WakeSignal()
	:
	fEvent(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}


status_t
WakeSignal::InitCheck() const
{
	return fEvent.IsValid() ? B_OK : B_NO_INIT;
}


void
WakeSignal::Raise()
{
	uint64_t one = 1;
	while (write(fEvent.Get(), &one, sizeof(one)) < 0 && errno == EINTR)
		;
}


void
WakeSignal::Clear()
{
	uint64_t count;
	while (read(fEvent.Get(), &count, sizeof(count)) < 0 && errno == EINTR)
		;
}


}	// namespace BPrivate
