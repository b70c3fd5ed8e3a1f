#include <Messenger.h>

#include "ApplicationPrivate.h"
#include "MessengerPrivate.h"
#include "Registration.h"

#include <BootVolume.h>
#include <Looper.h>

#include <algorithm>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

using namespace BPrivate;


// #pragma mark - RemoteLink


RemoteLink::RemoteLink(posix::Descriptor socket)
	:
	fSocket(std::move(socket)),
	fTeam(posix::PeerProcess(fSocket.Get()))
{
}


status_t
RemoteLink::Send(const BMessage& message, BMessage* reply,
	bigtime_t deliveryTimeout, bigtime_t replyTimeout)
{
	std::lock_guard<std::mutex> lock(fLock);
	if (fBroken)
		return B_BAD_PORT_ID;

	uint32 serial = fNextSerial++;
	std::string frame;
	status_t status = wire::AppendFrame(frame, wire::FrameKind::kRequest,
		reply != NULL ? wire::kFlagWantsReply : 0, serial, message);
	if (status != B_OK)
		return status;
	status = posix::SendAll(fSocket.Get(), frame.data(), frame.size(),
		deliveryTimeout);
	if (status != B_OK) {
		// Part of the frame may have gone: the stream is no longer whole.
		fBroken = true;
		return status == B_TIMED_OUT ? status : B_BAD_PORT_ID;
	}
	if (reply == NULL)
		return B_OK;
	return _ReadReply(serial, reply, replyTimeout);
}


bool
RemoteLink::IsBroken() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fBroken || posix::IsHungUp(fSocket.Get());
}


bool
RemoteLink::HasFailed() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fBroken;
}


status_t
RemoteLink::_ReadReply(uint32 serial, BMessage* reply, bigtime_t timeout)
{
	// Replies are small and come one at a time: asking for no more than the
	// reply needs keeps the buffer of every waiting session small.
	static const size_t kLeastRead = 256;
	bigtime_t deadline = B_INFINITE_TIMEOUT;
	if (timeout != B_INFINITE_TIMEOUT)
		deadline = posix::MonotonicTime() + timeout;

	while (true) {
		BMessage received;
		wire::FrameHeader header;
		status_t status = fReader.Next(&header, &received);
		if (status == B_OK) {
			if (header.kind != wire::FrameKind::kReply) {
				fBroken = true;
				return B_BAD_PORT_ID;
			}
			// A reply that comes after its sender stopped waiting is
			// passed over.
			if (header.serial != serial)
				continue;
			*reply = received;
			return B_OK;
		}
		if (status != B_WOULD_BLOCK) {
			fBroken = true;
			return B_BAD_PORT_ID;
		}

		bigtime_t left = B_INFINITE_TIMEOUT;
		if (deadline != B_INFINITE_TIMEOUT) {
			left = deadline - posix::MonotonicTime();
			if (left <= 0)
				return B_TIMED_OUT;
		}
		size_t count = 0;
		size_t wanted = std::max(fReader.InputWanted(), kLeastRead);
		status = posix::Receive(fSocket.Get(), fReader.ReserveInput(wanted),
			wanted, left, &count);
		if (status == B_TIMED_OUT)
			return status;
		if (status != B_OK) {
			fBroken = true;
			return B_BAD_PORT_ID;
		}
		fReader.CommitInput(count);
	}
}


// #pragma mark - RemoteLinkPool


// More idle links than this per signature are closed: enough for the
// threads of a busy team that talk to one application at once, without
// keeping the application's descriptors for ever after a burst.
static const size_t kMostIdleLinks = 32;

typedef std::map<std::string, std::vector<std::unique_ptr<RemoteLink>>>
	IdleLinks;

static std::mutex sPoolLock;

// The link this thread gave back last, with its pool key, kept for the
// thread's next messenger without the lock the threads share: a session
// thread makes its messengers one after the other. Closed as the thread
// ends.
struct ThreadLink {
	std::string					key;
	std::unique_ptr<RemoteLink>	link;
};
static thread_local ThreadLink tThreadLink;


// Guarded by sPoolLock. Never destroyed: a messenger that goes while the
// program ends (one held by a static object) still finds it.
static IdleLinks&
idle_links()
{
	static IdleLinks* sIdleLinks = new IdleLinks;
	return *sIdleLinks;
}


status_t
RemoteLinkPool::Acquire(const char* signature, std::unique_ptr<RemoteLink>* link,
	std::string* poolKey)
{
	std::string key = boot_volume_folder().String();
	key += '\n';
	key += signature;

	std::vector<std::unique_ptr<RemoteLink>> stale;
	if (tThreadLink.link != nullptr && tThreadLink.key == key) {
		std::unique_ptr<RemoteLink> candidate = std::move(tThreadLink.link);
		if (!candidate->IsBroken()) {
			*link = std::move(candidate);
			*poolKey = std::move(key);
			return B_OK;
		}
		stale.push_back(std::move(candidate));
	}
	{
		std::lock_guard<std::mutex> lock(sPoolLock);
		auto found = idle_links().find(key);
		while (found != idle_links().end() && !found->second.empty()) {
			std::unique_ptr<RemoteLink> candidate
				= std::move(found->second.back());
			found->second.pop_back();
			if (!candidate->IsBroken()) {
				*link = std::move(candidate);
				*poolKey = key;
				break;
			}
			stale.push_back(std::move(candidate));
		}
	}
	// Closed outside the lock.
	stale.clear();
	if (*link != nullptr)
		return B_OK;

	posix::Descriptor socket;
	status_t status = Registration::Connect(signature, &socket);
	if (status != B_OK)
		return status;
	*link = std::make_unique<RemoteLink>(std::move(socket));
	*poolKey = key;
	return B_OK;
}


void
RemoteLinkPool::Release(const std::string& poolKey,
	std::unique_ptr<RemoteLink> link)
{
	// Whether the peer is still there is asked when the link is taken
	// again, which is soon enough and costs a system call only once.
	if (link == nullptr || link->HasFailed())
		return;
	if (tThreadLink.link == nullptr) {
		tThreadLink.key = poolKey;
		tThreadLink.link = std::move(link);
		return;
	}
	std::lock_guard<std::mutex> lock(sPoolLock);
	std::vector<std::unique_ptr<RemoteLink>>& idle = idle_links()[poolKey];
	if (idle.size() < kMostIdleLinks)
		idle.push_back(std::move(link));
	// Otherwise the link closes as it goes, after the lock.
}


MessengerPrivate::~MessengerPrivate()
{
	if (fRemote != nullptr)
		RemoteLinkPool::Release(fPoolKey, std::move(fRemote));
}


// #pragma mark - BMessenger


BMessenger::BMessenger()
{
}


BMessenger::BMessenger(const char* signature, team_id team, status_t* result)
{
	fPrivate = std::make_shared<MessengerPrivate>();
	if (signature == NULL || signature[0] == '\0')
		fStatus = B_BAD_VALUE;
	else if (std::shared_ptr<LooperPort> port
			= find_local_application(signature)) {
		fPrivate->fPort = port;
		fStatus = team < 0 || team == getpid() ? B_OK : B_BAD_TEAM_ID;
	} else {
		fStatus = RemoteLinkPool::Acquire(signature, &fPrivate->fRemote,
			&fPrivate->fPoolKey);
		if (fStatus == B_OK && team >= 0
			&& team != fPrivate->fRemote->Team())
			fStatus = B_BAD_TEAM_ID;
	}
	if (fStatus != B_OK)
		fPrivate.reset();
	if (result != NULL)
		*result = fStatus;
}


BMessenger::BMessenger(const BHandler* handler, const BLooper* looper,
	status_t* result)
{
	if (looper == NULL && handler != NULL)
		looper = handler->Looper();
	if (looper == NULL)
		fStatus = handler == NULL ? B_BAD_VALUE : B_BAD_HANDLER;
	else {
		fPrivate = std::make_shared<MessengerPrivate>();
		fPrivate->fPort = looper->fPrivate->Port();
		fPrivate->fHandler = const_cast<BHandler*>(handler);
		fStatus = B_OK;
	}
	if (result != NULL)
		*result = fStatus;
}


// Copies share the connection: it goes when the last of them does.
BMessenger::BMessenger(const BMessenger& other) = default;
BMessenger& BMessenger::operator=(const BMessenger& other) = default;
BMessenger::~BMessenger() = default;


status_t
BMessenger::InitCheck() const
{
	return fStatus;
}


bool
BMessenger::IsValid() const
{
	if (fStatus != B_OK || fPrivate == nullptr)
		return false;
	if (fPrivate->fRemote != nullptr)
		return !fPrivate->fRemote->IsBroken();
	return fPrivate->fPort->IsOpen();
}


bool
BMessenger::IsTargetLocal() const
{
	return fPrivate != nullptr && fPrivate->fPort != nullptr;
}


team_id
BMessenger::Team() const
{
	if (fPrivate == nullptr)
		return -1;
	if (fPrivate->fRemote != nullptr)
		return fPrivate->fRemote->Team();
	return getpid();
}


status_t
BMessenger::SendMessage(uint32 command, BHandler* replyTo) const
{
	BMessage message(command);
	return SendMessage(&message, replyTo);
}


status_t
BMessenger::SendMessage(BMessage* message, BHandler* replyTo,
	bigtime_t timeout) const
{
	// NOTE: replies to a message sent without waiting have nowhere to go;
	// replyTo is accepted for the sake of callers and not used.
	(void)replyTo;
	if (message == NULL)
		return B_BAD_VALUE;
	if (fPrivate == nullptr)
		return fStatus != B_OK ? fStatus : B_NO_INIT;
	if (fPrivate->fRemote != nullptr)
		return fPrivate->fRemote->Send(*message, NULL, timeout, 0);

	BMessage* copy = new BMessage(*message);
	MessagePrivate(copy).SetReplyRoute(std::make_shared<UnansweredRoute>());
	status_t status = fPrivate->fPort->Post(copy, fPrivate->fHandler);
	if (status != B_OK)
		delete copy;
	return status;
}


status_t
BMessenger::SendMessage(uint32 command, BMessage* reply) const
{
	BMessage message(command);
	return SendMessage(&message, reply);
}


status_t
BMessenger::SendMessage(BMessage* message, BMessage* reply,
	bigtime_t deliveryTimeout, bigtime_t replyTimeout) const
{
	if (reply == NULL)
		return SendMessage(message, (BHandler*)NULL, deliveryTimeout);

	if (message == NULL) {
		*reply = BMessage(B_NO_REPLY);
		return B_BAD_VALUE;
	}
	// The reply may overwrite the request; keep what is to be sent.
	BMessage aliased;
	if (reply == message) {
		aliased = *message;
		message = &aliased;
	}
	// Whatever happens, the caller finds a reply: B_NO_REPLY unless the
	// target answered.
	*reply = BMessage(B_NO_REPLY);
	if (fPrivate == nullptr)
		return fStatus != B_OK ? fStatus : B_NO_INIT;

	if (fPrivate->fRemote != nullptr) {
		status_t status = fPrivate->fRemote->Send(*message, reply,
			deliveryTimeout, replyTimeout);
		if (status != B_OK)
			*reply = BMessage(B_NO_REPLY);
		return status;
	}

	// A looper that waited for its own reply would never get to answer.
	if (fPrivate->fPort->fLoopThread == current_thread_id())
		return B_MESSAGE_TO_SELF;

	auto slot = std::make_shared<LocalReplySlot>();
	BMessage* copy = new BMessage(*message);
	MessagePrivate(copy).SetReplyRoute(std::make_shared<LocalReplyRoute>(slot));
	status_t status = fPrivate->fPort->Post(copy, fPrivate->fHandler);
	if (status != B_OK) {
		delete copy;
		return status;
	}

	std::unique_lock<std::mutex> lock(slot->lock);
	auto answered = [&slot] { return slot->done; };
	if (replyTimeout == B_INFINITE_TIMEOUT)
		slot->answered.wait(lock, answered);
	else if (!slot->answered.wait_for(lock,
			std::chrono::microseconds(replyTimeout), answered))
		return B_TIMED_OUT;
	*reply = slot->reply;
	return B_OK;
}
