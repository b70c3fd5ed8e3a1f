#include <Application.h>

#include "LooperPrivate.h"

#include <Messenger.h>

#include <TestVolume.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <future>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// The kit's private parts, which this test looks at.
using namespace BPrivate;


static const char* kSignature = "application/x-vnd.Drelmoor-AppTest";
static const auto kPatience = std::chrono::seconds(10);


// An application whose answers the test gives per command, run on a thread
// of its own while the object lives.
class TestApp : public BApplication {
public:
	typedef std::function<void(TestApp*, BMessage*)> Answer;

	explicit TestApp(const char* signature = kSignature)
		:
		BApplication(signature)
	{
	}

	~TestApp() override
	{
		Stop();
	}

	void On(uint32 command, Answer answer) { fAnswers[command] = answer; }

	void Start()
	{
		fThread = std::thread([this] { Run(); });
		fReady.get_future().wait();
	}

	void Stop()
	{
		if (fThread.joinable()) {
			Quit();
			fThread.join();
		}
	}

	void ReadyToRun() override
	{
		fLooperThread = current_thread_id();
		fReady.set_value();
	}

	void MessageReceived(BMessage* message) override
	{
		auto found = fAnswers.find(message->what);
		if (found != fAnswers.end())
			found->second(this, message);
		else
			BApplication::MessageReceived(message);
	}

	thread_id LooperThread() const { return fLooperThread; }

private:
	std::map<uint32, Answer> fAnswers;
	std::promise<void> fReady;
	std::thread fThread;
	std::atomic<thread_id> fLooperThread = -1;
};


static void
EchoAnswer(TestApp*, BMessage* message)
{
	BMessage reply(*message);
	reply.what = 'ecko';
	message->SendReply(&reply);
}


TEST(ApplicationTest, MessengerForBeAppExchangesInProcess)
{
	TestVolume volume;
	TestApp app;
	ASSERT_EQ(B_OK, app.InitCheck());
	EXPECT_EQ(&app, be_app);
	app.On('echo', EchoAnswer);
	app.Start();

	BMessenger messenger(be_app);
	ASSERT_EQ(B_OK, messenger.InitCheck());
	EXPECT_TRUE(messenger.IsTargetLocal());
	BMessage request('echo');
	request.AddString("UserName", "Ash");
	BMessage reply;
	ASSERT_EQ(B_OK, messenger.SendMessage(&request, &reply));
	EXPECT_EQ(uint32('ecko'), reply.what);
	BString name;
	EXPECT_EQ(B_OK, reply.FindString("UserName", &name));
	EXPECT_EQ(BString("Ash"), name);

	// A messenger for the application's own signature stays in the team.
	BMessenger bySignature(kSignature);
	ASSERT_EQ(B_OK, bySignature.InitCheck());
	EXPECT_TRUE(bySignature.IsTargetLocal());
	ASSERT_EQ(B_OK, bySignature.SendMessage(&request, &reply));
	EXPECT_EQ(uint32('ecko'), reply.what);
}


TEST(ApplicationTest, MessagesOfThisTeamAreNotRemote)
{
	TestVolume volume;
	TestApp app;
	std::atomic<int> remote = 0;
	std::atomic<int> local = 0;
	app.On('orig', [&](TestApp*, BMessage* message) {
		(message->IsSourceRemote() ? remote : local)++;
		message->SendReply('NONE');
	});
	app.Start();

	BMessage reply;
	EXPECT_EQ(B_OK, BMessenger(be_app).SendMessage('orig', &reply));
	EXPECT_EQ(B_OK, BMessenger(kSignature).SendMessage('orig', &reply));
	EXPECT_EQ(B_OK, app.PostMessage('orig'));
	EXPECT_EQ(B_OK, BMessenger(be_app).SendMessage('orig', &reply));
	EXPECT_EQ(4, local);
	EXPECT_EQ(0, remote);
}


TEST(ApplicationTest, DroppedMessageReleasesSenderWithNoReply)
{
	TestVolume volume;
	TestApp app;
	app.Start();

	BMessage reply('fill');
	reply.AddInt32("stale", 1);
	EXPECT_EQ(B_OK, BMessenger(be_app).SendMessage('drop', &reply));
	EXPECT_EQ(uint32(B_NO_REPLY), reply.what);
	EXPECT_TRUE(reply.IsEmpty());
}


TEST(ApplicationTest, SecondReplyIsRefusedAndCopyCannotReply)
{
	TestVolume volume;
	TestApp app;
	std::promise<std::vector<status_t>> results;
	app.On('twic', [&results](TestApp*, BMessage* message) {
		BMessage copy(*message);
		std::vector<status_t> statuses;
		statuses.push_back(copy.SendReply('copy'));
		statuses.push_back(message->IsSourceWaiting() ? B_OK : B_ERROR);
		statuses.push_back(message->SendReply('one_'));
		statuses.push_back(message->SendReply('two_'));
		statuses.push_back(message->IsSourceWaiting() ? B_ERROR : B_OK);
		results.set_value(statuses);
	});
	app.Start();

	BMessage reply;
	EXPECT_EQ(B_OK, BMessenger(be_app).SendMessage('twic', &reply));
	EXPECT_EQ(uint32('one_'), reply.what);
	EXPECT_EQ((std::vector<status_t>{B_BAD_REPLY, B_OK, B_OK, B_DUPLICATE_REPLY,
		B_OK}), results.get_future().get());
}


TEST(ApplicationTest, SynchronousMessageToOwnLooperIsRefused)
{
	TestVolume volume;
	TestApp app;
	std::promise<std::pair<status_t, uint32>> result;
	app.On('self', [&result](TestApp* self, BMessage*) {
		BMessage reply;
		status_t status = BMessenger(self).SendMessage('echo', &reply);
		result.set_value({status, reply.what});
	});
	app.Start();

	BMessenger(be_app).SendMessage('self');
	auto future = result.get_future();
	ASSERT_EQ(std::future_status::ready, future.wait_for(kPatience));
	EXPECT_EQ(B_MESSAGE_TO_SELF, future.get().first);
}


TEST(ApplicationTest, DeferredReplyComesFromAnotherThread)
{
	TestVolume volume;
	TestApp app;
	std::thread replier;
	app.On('gcha', [&replier](TestApp* self, BMessage*) {
		BMessage* detached = self->DetachCurrentMessage();
		ASSERT_NE(nullptr, detached);
		EXPECT_EQ(nullptr, self->CurrentMessage());
		replier = std::thread([detached] {
			BMessage reply('NONE');
			reply.AddInt32("Char", 'k');
			detached->SendReply(&reply);
			delete detached;
		});
	});
	app.Start();

	BMessage reply;
	EXPECT_EQ(B_OK, BMessenger(be_app).SendMessage('gcha', &reply));
	int32 key = 0;
	EXPECT_EQ(B_OK, reply.FindInt32("Char", &key));
	EXPECT_EQ('k', key);
	// The handler may still be storing the thread when the reply arrives.
	app.Stop();
	replier.join();
}


TEST(ApplicationTest, DetachedMessageDeletedUnansweredGivesNoReply)
{
	TestVolume volume;
	TestApp app;
	app.On('gcha', [](TestApp* self, BMessage*) {
		BMessage* detached = self->DetachCurrentMessage();
		std::thread([detached] { delete detached; }).detach();
	});
	app.Start();

	BMessage reply;
	EXPECT_EQ(B_OK, BMessenger(be_app).SendMessage('gcha', &reply));
	EXPECT_EQ(uint32(B_NO_REPLY), reply.what);
}


TEST(ApplicationTest, SenderWaitingWhileApplicationQuitsGetsNoReply)
{
	TestVolume volume;
	TestApp app;
	std::promise<void> senderStarted;
	std::atomic<int> asked = 0;
	app.On('hold', [&senderStarted](TestApp* self, BMessage* message) {
		senderStarted.get_future().wait();
		message->SendReply('NONE');
		self->Lock();
		self->Quit();
	});
	app.On('ask_', [&asked](TestApp*, BMessage* message) {
		asked++;
		message->SendReply('NONE');
	});
	app.Start();

	BMessenger messenger(be_app);
	messenger.SendMessage('hold');
	std::promise<BMessage> askReply;
	std::thread sender([&] {
		BMessage reply;
		senderStarted.set_value();
		messenger.SendMessage('ask_', &reply);
		askReply.set_value(reply);
	});
	auto future = askReply.get_future();
	ASSERT_EQ(std::future_status::ready, future.wait_for(kPatience));
	EXPECT_EQ(uint32(B_NO_REPLY), future.get().what);
	EXPECT_EQ(0, asked);
	sender.join();
	app.Stop();
	EXPECT_FALSE(messenger.IsValid());
	BMessage late;
	EXPECT_EQ(B_BAD_PORT_ID, messenger.SendMessage('ask_', &late));
	EXPECT_EQ(uint32(B_NO_REPLY), late.what);
}


TEST(ApplicationTest, QueuedMessagesAreDeletedWhenThePortCloses)
{
	TestVolume volume;
	auto port = std::make_shared<LooperPort>(nullptr);
	auto slot = std::make_shared<LocalReplySlot>();
	BMessage* queued = new BMessage('ask_');
	MessagePrivate(queued).SetReplyRoute(std::make_shared<LocalReplyRoute>(slot));
	ASSERT_EQ(B_OK, port->Post(queued, NULL));

	port->Close();
	EXPECT_TRUE(slot->done);
	EXPECT_EQ(uint32(B_NO_REPLY), slot->reply.what);
	BMessage refused('late');
	EXPECT_EQ(B_BAD_PORT_ID, port->Post(&refused, NULL));
}


TEST(ApplicationTest, QuitFromItsOwnThreadWithLockHeldEndsRunAndFreesLock)
{
	TestVolume volume;
	TestApp app;
	app.On('uqui', [](TestApp* self, BMessage* message) {
		message->SendReply('NONE');
		self->Lock();
		self->Quit();
	});
	app.Start();
	BMessage reply;
	EXPECT_EQ(B_OK, BMessenger(be_app).SendMessage('uqui', &reply));
	EXPECT_EQ(uint32('NONE'), reply.what);
	app.Stop();
	EXPECT_EQ(B_OK, app.LockWithTimeout(1000000));
	app.Unlock();
}


TEST(ApplicationTest, OnlyOneApplicationHoldsASignature)
{
	TestVolume volume;
	TestApp first;
	ASSERT_EQ(B_OK, first.InitCheck());
	status_t status = B_OK;
	{
		BApplication second(kSignature, &status);
		EXPECT_EQ(B_NAME_IN_USE, status);
		EXPECT_EQ(B_NAME_IN_USE, second.InitCheck());
		EXPECT_EQ(thread_id(B_NAME_IN_USE), second.Run());
	}
	EXPECT_EQ(nullptr, be_app);
	BApplication other("application/x-vnd.Drelmoor-Other", &status);
	EXPECT_EQ(B_OK, status);
}


TEST(ApplicationTest, ApplicationsComeAndGoManyTimesInOneProcess)
{
	TestVolume volume;
	for (int round = 0; round < 25; round++) {
		TestApp app;
		ASSERT_EQ(B_OK, app.InitCheck()) << "round " << round;
		app.On('echo', EchoAnswer);
		app.Start();
		BMessage reply;
		ASSERT_EQ(B_OK, BMessenger(kSignature).SendMessage('echo', &reply));
		EXPECT_EQ(uint32('ecko'), reply.what);
		app.Stop();
		EXPECT_NE(B_OK, BMessenger(kSignature).InitCheck());
	}
	EXPECT_EQ(nullptr, be_app);
}


TEST(ApplicationTest, WatchedDescriptorHookRunsOnLooperThreadLocked)
{
	TestVolume volume;
	TestApp app;
	app.Start();
	int pipeEnds[2];
	ASSERT_EQ(0, pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK));

	std::promise<std::tuple<thread_id, bool, uint32, char>> seen;
	bool once = false;
	ASSERT_EQ(B_OK, app.WatchDescriptor(pipeEnds[0], B_DESCRIPTOR_READABLE,
		[&](int descriptor, uint32 events) {
			char byte = 0;
			EXPECT_EQ(1, read(descriptor, &byte, 1));
			app.UnwatchDescriptor(descriptor);
			if (!once) {
				once = true;
				seen.set_value({current_thread_id(), app.IsLocked(), events,
					byte});
			}
		}));
	EXPECT_EQ(B_NAME_IN_USE, app.WatchDescriptor(pipeEnds[0],
		B_DESCRIPTOR_READABLE, [](int, uint32) {}));
	ASSERT_EQ(1, write(pipeEnds[1], "x", 1));

	auto future = seen.get_future();
	ASSERT_EQ(std::future_status::ready, future.wait_for(kPatience));
	auto [thread, locked, events, byte] = future.get();
	EXPECT_EQ(app.LooperThread(), thread);
	EXPECT_TRUE(locked);
	EXPECT_NE(0u, events & B_DESCRIPTOR_READABLE);
	EXPECT_EQ('x', byte);
	app.Stop();
	close(pipeEnds[0]);
	close(pipeEnds[1]);
}


TEST(ApplicationTest, DescriptorReusedWithinOneBatchDoesNotReachTheNewWatcher)
{
	TestVolume volume;
	TestApp app;
	int first[2];
	int second[2];
	int fresh[2];
	ASSERT_EQ(0, pipe2(first, O_CLOEXEC | O_NONBLOCK));
	ASSERT_EQ(0, pipe2(second, O_CLOEXEC | O_NONBLOCK));
	ASSERT_EQ(0, pipe2(fresh, O_CLOEXEC | O_NONBLOCK));
	ASSERT_EQ(1, write(first[1], "a", 1));
	ASSERT_EQ(1, write(second[1], "b", 1));

	// Both pipes are readable before they are watched, so that the loop
	// hears of both in one batch. The watcher that runs first closes the
	// other pipe and puts the empty pipe under its number, watched anew:
	// the other's event of that batch is stale and must find nobody.
	std::atomic<int> freshCalls = 0;
	int closedNumber = -1;
	auto watchBoth = [&](TestApp* self, BMessage* message) {
		auto hook = [&, self](int descriptor, uint32) {
			char byte;
			EXPECT_EQ(1, read(descriptor, &byte, 1));
			self->UnwatchDescriptor(descriptor);
			if (closedNumber >= 0)
				return;
			closedNumber = descriptor == first[0] ? second[0] : first[0];
			self->UnwatchDescriptor(closedNumber);
			ASSERT_EQ(closedNumber, dup3(fresh[0], closedNumber, O_CLOEXEC));
			EXPECT_EQ(B_OK, self->WatchDescriptor(closedNumber,
				B_DESCRIPTOR_READABLE, [&](int fd, uint32) {
					char got;
					if (read(fd, &got, 1) >= 0)
						freshCalls++;
					else
						ADD_FAILURE() << "a stale event reached the new watcher";
				}));
		};
		EXPECT_EQ(B_OK, self->WatchDescriptor(first[0], B_DESCRIPTOR_READABLE,
			hook));
		EXPECT_EQ(B_OK, self->WatchDescriptor(second[0],
			B_DESCRIPTOR_READABLE, hook));
		message->SendReply('NONE');
	};
	app.On('wtch', watchBoth);
	app.On('drop', [](TestApp*, BMessage* message) {
		message->SendReply('NONE');
	});
	app.Start();

	BMessage reply;
	ASSERT_EQ(B_OK, BMessenger(be_app).SendMessage('wtch', &reply));
	bool swapped = false;
	for (int i = 0; i < 1000 && !swapped; i++) {
		ASSERT_TRUE(app.Lock());
		swapped = closedNumber >= 0;
		app.Unlock();
		if (!swapped)
			usleep(10000);
	}
	ASSERT_TRUE(swapped);
	// This is answered in a later batch than the one of the pipes.
	ASSERT_EQ(B_OK, BMessenger(be_app).SendMessage('drop', &reply));
	EXPECT_EQ(0, freshCalls);

	// The new watch itself works: its own event reaches it.
	ASSERT_EQ(1, write(fresh[1], "c", 1));
	for (int i = 0; i < 1000 && freshCalls == 0; i++)
		usleep(10000);
	EXPECT_GT(freshCalls, 0);
	app.Stop();
	for (int fd : {first[0], first[1], second[0], second[1], fresh[0],
			fresh[1]})
		close(fd);
}


TEST(ApplicationTest, LockIsRecursiveAndKnowsItsOwner)
{
	TestVolume volume;
	TestApp app;
	app.Start();
	ASSERT_TRUE(app.Lock());
	ASSERT_TRUE(app.Lock());
	EXPECT_TRUE(app.IsLocked());
	EXPECT_EQ(current_thread_id(), app.LockingThread());

	std::async(std::launch::async, [&app] {
		EXPECT_FALSE(app.IsLocked());
		EXPECT_EQ(B_TIMED_OUT, app.LockWithTimeout(1000));
	}).get();
	app.Unlock();
	app.Unlock();
	EXPECT_FALSE(app.IsLocked());
	// The loop dispatches again once the lock is free.
	BMessage reply;
	EXPECT_EQ(B_OK, BMessenger(be_app).SendMessage('drop', &reply));
}


TEST(ApplicationTest, QuitFromAnotherThreadHoldingTheLockDoesNotDeadlock)
{
	TestVolume volume;
	TestApp app;
	app.Start();
	ASSERT_TRUE(app.Lock());
	app.Quit();
	EXPECT_TRUE(app.IsLocked());
	app.Unlock();
	app.Stop();
	EXPECT_NE(B_OK, BMessenger(kSignature).InitCheck());
}


TEST(ApplicationTest, PlainLooperRunsOnAThreadOfItsOwn)
{
	TestVolume volume;
	struct Worker : BLooper {
		Worker() : BLooper("worker") {}
		void MessageReceived(BMessage* message) override
		{
			BMessage reply('done');
			reply.AddInt32("thread", current_thread_id());
			reply.AddBool("locked", IsLocked());
			message->SendReply(&reply);
		}
	};
	Worker worker;
	thread_id thread = worker.Run();
	ASSERT_GT(thread, 0);
	EXPECT_EQ(thread, worker.Thread());
	EXPECT_NE(current_thread_id(), thread);

	BMessage reply;
	ASSERT_EQ(B_OK, BMessenger(&worker).SendMessage('work', &reply));
	int32 handledOn = 0;
	bool locked = false;
	EXPECT_EQ(B_OK, reply.FindInt32("thread", &handledOn));
	EXPECT_EQ(B_OK, reply.FindBool("locked", 0, &locked));
	EXPECT_EQ(thread, handledOn);
	EXPECT_TRUE(locked);

	worker.Quit();
	EXPECT_FALSE(BMessenger(&worker).IsValid());
	EXPECT_EQ(B_BAD_PORT_ID, worker.PostMessage('late'));
}


// The calling thread's id is kept per thread; a child of fork() is a
// thread of its own, so a looper it locks knows the child as the owner.
TEST(ApplicationTest, ForkedChildIsItsOwnThread)
{
	thread_id parent = current_thread_id();
	EXPECT_EQ((thread_id)gettid(), parent);
	pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0) {
		BLooper looper("child");
		looper.Lock();
		bool owns = looper.LockingThread() == (thread_id)getpid()
			&& current_thread_id() == (thread_id)getpid();
		looper.Unlock();
		_exit(owns ? 0 : 1);
	}
	int status = 0;
	ASSERT_EQ(child, waitpid(child, &status, 0));
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(0, WEXITSTATUS(status));
	EXPECT_EQ(parent, current_thread_id());
}
