#include <ZenboDoorThread.h>

#include <Message.h>
#include <Messenger.h>
#include <OS.h>

#include <BootVolume.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "ChildProcess.h"
#include "Registration.h"
#include "ScriptedHost.h"
#include "TestVolume.h"
#include "Wire.h"

// The kit's private parts, which this test looks at.
using namespace BPrivate;


// The door runs as the small program TestDoor, in a process of its own; the
// test process is Zenbo (the scripted host). See TestDoor.cpp for the
// session kinds and their scripts.

static const char* kDoorSignature = "application/x-vnd.DoorKitTest-TestDoor";
static const bigtime_t kTimeout = 20000000;


static std::vector<std::string>
Described(const std::vector<ScriptedHost::Record>& records)
{
	std::vector<std::string> lines;
	for (const ScriptedHost::Record& record : records)
		lines.push_back(DescribeRecord(record));
	return lines;
}


static BMessage
CharAnswer(int32 value)
{
	BMessage answer('NONE');
	answer.AddInt32("Char", value);
	return answer;
}


class ZenboDoorThreadTest : public testing::Test {
protected:
	// Starts the door program; a session of the kind is made for every user.
	void StartDoor(const char* kind, const char* script,
		const char* threadSuffix = ".Test")
	{
		fDoor.CaptureOutput();
		ASSERT_EQ(fDoor.Start(TEST_DOOR_PATH,
			{kDoorSignature, threadSuffix, kind, script}), B_OK);
		ASSERT_TRUE(WaitForApplication(kDoorSignature, kTimeout))
			<< "the test door did not start";
	}

	void Enter(const char* user)
	{
		BMessage reply;
		ASSERT_EQ(Host().EnterDoor(kDoorSignature, user, &reply), B_OK);
		ASSERT_EQ(reply.what, uint32('NONE'));
	}

	// The door program ends once its last user has left; it then says how
	// many session objects it still holds.
	void ExpectDoorEndsWithNoSessionLeft()
	{
		int exitCode = -1;
		ASSERT_EQ(fDoor.WaitForExit(kTimeout, &exitCode), B_OK)
			<< "the door did not end";
		EXPECT_EQ(exitCode, 0) << fDoor.Errors();
		EXPECT_NE(fDoor.Output().find("sessions left: 0\n"), std::string::npos)
			<< fDoor.Output();
	}

	ScriptedHost& Host() { return fRunner.Host(); }

	TestVolume fVolume;
	ScriptedHostRunner fRunner;
	ChildProcess fDoor;
};


TEST_F(ZenboDoorThreadTest, GetStringExchangesEveryKeyAndItsEcho)
{
	Host().SetKeys("Ash", "abc\n");
	StartDoor("script", "lq");
	Enter("Ash");

	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(Described(Host().Records("Ash")), (std::vector<std::string>{
		"gcha UserName=\"Ash\"",
		"sstr String=\"a\" Enum=0 UserName=\"Ash\"",
		"gcha UserName=\"Ash\"",
		"sstr String=\"b\" Enum=0 UserName=\"Ash\"",
		"gcha UserName=\"Ash\"",
		"sstr String=\"c\" Enum=0 UserName=\"Ash\"",
		"gcha UserName=\"Ash\"",
		"sstr String=\"\\n\" Enum=0 UserName=\"Ash\"",
		"sstr String=\"[abc]\" Enum=0 UserName=\"Ash\"",
	}));
}


TEST_F(ZenboDoorThreadTest, GetStringKeepsACarriageReturn)
{
	Host().SetKeys("Ash", "a\r\n");
	StartDoor("script", "lq");
	Enter("Ash");

	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(Host().Texts("Ash"), (std::vector<std::string>{
		"a", "\r", "\n", "[a\r]"}));
}


// "Carxx" and two erasures (Backspace, then DEL) give "Car" and then "l";
// the erasures at the start of the line show nothing and erase nothing.
TEST_F(ZenboDoorThreadTest, GetStringErasesWithBackspaceAndDel)
{
	Host().SetKeys("Ash", "\b\x7f" "Carxx\b\x7fl\n");
	StartDoor("script", "lq");
	Enter("Ash");

	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(Host().Texts("Ash"), (std::vector<std::string>{
		"C", "a", "r", "x", "x", "\b \b", "\b \b", "l", "\n", "[Carl]"}));
	// One exchange for every key, erasures included; an echo for each
	// erasure that erased.
	std::vector<std::string> records = Described(Host().Records("Ash"));
	EXPECT_EQ(11, std::count(records.begin(), records.end(),
		"gcha UserName=\"Ash\""));
}


TEST_F(ZenboDoorThreadTest, GetStringErasesBackToAnEmptyLine)
{
	Host().SetKeys("Ash", "ab\b\b\b\n");
	StartDoor("script", "lq");
	Enter("Ash");

	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(Host().Texts("Ash"), (std::vector<std::string>{
		"a", "b", "\b \b", "\b \b", "\n", "[]"}));
}


TEST_F(ZenboDoorThreadTest, GetCharTakesTheLowByteOfChar)
{
	Host().AddAnswer("Ash", CharAnswer(0x141));
	Host().AddAnswer("Ash", CharAnswer(0xE9));
	Host().AddAnswer("Ash", CharAnswer(-1));
	StartDoor("script", "cccq");
	Enter("Ash");

	ExpectDoorEndsWithNoSessionLeft();
	// Bytes above 0x7F come back as negative chars.
	EXPECT_EQ(Host().Texts("Ash"), (std::vector<std::string>{
		"A", "<65>", "\xE9", "<-23>", "\xFF", "<-1>"}));
}


// Answers to "gcha" that carry no key: each ends the session at its first
// key. The session takes leave of its application (which then ends, its only
// user gone) without showing or asking anything more.
enum class NoKey { kLowByteZero, kMissing, kInt64, kString };


static std::string
NoKeyName(const testing::TestParamInfo<NoKey>& info)
{
	static const char* const kNames[] = {"CharWithLowByteZero", "NoChar",
		"CharAsInt64", "CharAsString"};
	return kNames[int(info.param)];
}


class ZenboDoorThreadNoKeyTest : public ZenboDoorThreadTest,
	public testing::WithParamInterface<NoKey> {
};


TEST_P(ZenboDoorThreadNoKeyTest, AnswerWithoutAKeyEndsTheSession)
{
	BMessage answer('NONE');
	switch (GetParam()) {
		case NoKey::kLowByteZero:
			answer.AddInt32("Char", 0x100);
			break;
		case NoKey::kMissing:
			break;
		case NoKey::kInt64:
			answer.AddInt64("Char", 'A');
			break;
		case NoKey::kString:
			answer.AddString("Char", "A");
			break;
	}
	Host().AddAnswer("Ash", answer);
	Host().SetKeys("Ash", "x");
	StartDoor("script", "ctc");
	Enter("Ash");

	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(Described(Host().Records("Ash")),
		std::vector<std::string>{"gcha UserName=\"Ash\""});
}


INSTANTIATE_TEST_SUITE_P(Answers, ZenboDoorThreadNoKeyTest,
	testing::Values(NoKey::kLowByteZero, NoKey::kMissing, NoKey::kInt64,
		NoKey::kString),
	NoKeyName);


TEST_F(ZenboDoorThreadTest, QuitRequestedToATextEndsTheSession)
{
	// The echo of the first key is the first text, and the user is gone.
	Host().SetKeys("Ash", "xy");
	Host().QuitAfterTexts("Ash", 0);
	StartDoor("script", "cc");
	Enter("Ash");

	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(Described(Host().Records("Ash")), (std::vector<std::string>{
		"gcha UserName=\"Ash\"",
		"sstr String=\"x\" Enum=0 UserName=\"Ash\"",
	}));
}


TEST_F(ZenboDoorThreadTest, EchoAndAbnormalEndGoThroughTheSessionsOverrides)
{
	Host().SetKeys("Ash", "ab\n");
	StartDoor("recorder", "lc");
	Enter("Ash");

	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(fDoor.Output(),
		"SendString a\n"
		"SendString b\n"
		"SendString \\n\n"
		"SendString [ab]\n"
		"CloseDoor\n"
		"thread Ash.Test ended with 0\n"
		"sessions left: 0\n");
}


TEST_F(ZenboDoorThreadTest, SessionWithoutRunDoorEndsAtOnceWithoutQuitting)
{
	StartDoor("base", "");
	Enter("Ash");

	// The thread was spawned before the door answered; it may be gone
	// already, or is waited for.
	named_thread thread;
	if (find_named_threads("Ash.Test", &thread, 1) == 1) {
		EXPECT_EQ(wait_for_named_thread(thread, kTimeout), B_OK);
	}

	// It never spoke to Zenbo, and Ash is still in the door: the door still
	// runs, until it is asked to quit.
	EXPECT_TRUE(Host().Records("Ash").empty());
	EXPECT_TRUE(fDoor.IsRunning());
	BMessage reply;
	ASSERT_EQ(ScriptedHost::SendToDoor(kDoorSignature,
		BMessage(B_QUIT_REQUESTED), &reply), B_OK);
	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(fDoor.Output(),
		"thread Ash.Test ended with 0\n"
		"sessions left: 0\n");
}


TEST_F(ZenboDoorThreadTest, ForgedQuitFromAnotherProcessChangesNothing)
{
	Host().HoldKeys("Ash");
	Host().SetKeys("Ash", "x");
	StartDoor("script", "cq");
	Enter("Ash");
	ASSERT_TRUE(Host().WaitUntilAsked("Ash", kTimeout));
	team_id door = BMessenger(kDoorSignature).Team();
	ASSERT_GT(door, 0);

	// Any program of the owner's may reach the door's socket: its quits for
	// Ash, as many as Ash has entries and more, go unanswered and drop
	// nobody.
	for (int i = 0; i < 3; i++) {
		BMessage quit('uqui');
		quit.AddString("UserName", "Ash");
		BMessage reply;
		ASSERT_EQ(ScriptedHost::SendToDoor(kDoorSignature, quit, &reply), B_OK);
		EXPECT_EQ(reply.what, uint32(B_NO_REPLY));
	}

	// The same door still holds its signature and takes the next user: no
	// second door could start beside it.
	EXPECT_TRUE(fDoor.IsRunning());
	EXPECT_EQ(BMessenger(kDoorSignature).Team(), door);
	Host().SetKeys("Birch", "y");
	Enter("Birch");
	EXPECT_EQ(BMessenger(kDoorSignature).Team(), door);

	// Ash's session goes on, and the door ends once both have taken leave
	// themselves.
	Host().ReleaseKeys("Ash");
	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(Host().Texts("Ash"), (std::vector<std::string>{"x", "<120>"}));
	EXPECT_EQ(Host().Texts("Birch"), (std::vector<std::string>{"y", "<121>"}));
}


TEST_F(ZenboDoorThreadTest, ManySessionsAreAllReleasedWhateverTheirEnd)
{
	// Keeps the door open until every other user has come and gone.
	Host().HoldKeys("Keeper");
	Host().SetKeys("Keeper", "k");
	StartDoor("script", "cq");
	Enter("Keeper");

	// Half of the users leave on their own, half are gone at their first key.
	const int kUsers = 40;
	for (int i = 0; i < kUsers; i++) {
		std::string user = "User" + std::to_string(i);
		if (i % 2 == 0)
			Host().SetKeys(user, "x");
		Enter(user.c_str());
	}
	ASSERT_TRUE(Host().WaitUntilAsked("Keeper", kTimeout));
	Host().ReleaseKeys("Keeper");

	// The address-sanitizer build of the door also reports any session
	// object still allocated at its end, and fails the exit code.
	ExpectDoorEndsWithNoSessionLeft();
	EXPECT_EQ(fDoor.Errors().find("LeakSanitizer"), std::string::npos)
		<< fDoor.Errors();
	for (int i = 0; i < kUsers; i++) {
		std::string user = "User" + std::to_string(i);
		EXPECT_EQ(Host().Texts(user).size(), i % 2 == 0 ? 2u : 0u) << user;
	}
}


TEST(ZenboDoorThreadWithoutHostTest, SessionTakesLeaveWhenZenboIsNotRunning)
{
	TestVolume volume;
	ChildProcess door;
	door.CaptureOutput();
	ASSERT_EQ(door.Start(TEST_DOOR_PATH,
		{kDoorSignature, ".Test", "recorder", "ct"}), B_OK);
	ASSERT_TRUE(WaitForApplication(kDoorSignature, kTimeout));

	// The test process holds no application: no Zenbo runs on this volume.
	BMessage start('sdoo');
	start.AddString("UserName", "Ash");
	BMessage reply;
	ASSERT_EQ(ScriptedHost::SendToDoor(kDoorSignature, start, &reply), B_OK);
	EXPECT_EQ(DescribeMessage(reply), "NONE theThreadName=\"Ash.Test\"");

	// The first key cannot be asked for: the session takes leave, and the
	// application removes its only user and ends.
	int exitCode = -1;
	ASSERT_EQ(door.WaitForExit(kTimeout, &exitCode), B_OK);
	EXPECT_EQ(exitCode, 0) << door.Errors();
	EXPECT_EQ(door.Output(),
		"CloseDoor\n"
		"thread Ash.Test ended with 0\n"
		"sessions left: 0\n");
}


// Peers on the door's own socket that misbehave, while users come and play.
class DoorSocketAbuseTest : public ZenboDoorThreadTest {
protected:
	void SetUp() override
	{
		// A thousand idle peers need a thousand descriptors, here and in
		// the door, which inherits the limit.
		rlimit limit;
		ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &limit));
		if (limit.rlim_cur < 4096 && limit.rlim_cur < limit.rlim_max) {
			limit.rlim_cur = std::min<rlim_t>(4096, limit.rlim_max);
			ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &limit));
		}
		StartDoor("script", "c");
		// Keeps the door open whatever the others do.
		Host().HoldKeys("Keeper");
		Host().SetKeys("Keeper", "k");
		Enter("Keeper");
		ASSERT_TRUE(Host().WaitUntilAsked("Keeper", kTimeout));

		BString path;
		ASSERT_EQ(B_OK, runtime_folder(&path));
		path << "/" << Registration::FileName(kDoorSignature) << ".sock";
		fSocketPath = path.String();
	}

	void TearDown() override
	{
		for (int fd : fOpen)
			close(fd);
		BMessage reply;
		ScriptedHost::SendToDoor(kDoorSignature, BMessage(B_QUIT_REQUESTED),
			&reply);
	}

	int Connect()
	{
		int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
		sockaddr_un address = {};
		address.sun_family = AF_UNIX;
		strncpy(address.sun_path, fSocketPath.c_str(),
			sizeof(address.sun_path) - 1);
		if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address),
				sizeof(address)) != 0) {
			close(fd);
			return -1;
		}
		if (fd >= 0)
			fOpen.push_back(fd);
		return fd;
	}

	void Send(int fd, const std::string& bytes)
	{
		ASSERT_EQ(ssize_t(bytes.size()),
			send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
	}

	// A new user enters and plays a key: the door's loop and its sessions
	// still answer, within a generous bound.
	void ExpectANewUserIsServed()
	{
		std::string user = "User" + std::to_string(fNextUser++);
		Host().SetKeys(user, "x");
		Enter(user.c_str());
		EXPECT_TRUE(Host().WaitForRecords(user, 3, kTimeout)) << user;
		EXPECT_EQ(Host().Texts(user),
			(std::vector<std::string>{"x", "<120>"})) << user;
	}

	static std::string Frame(const BMessage& message)
	{
		std::string frame;
		wire::AppendFrame(frame, wire::FrameKind::kRequest,
			wire::kFlagWantsReply, 1, message);
		return frame;
	}

	std::string fSocketPath;
	std::vector<int> fOpen;
	int fNextUser = 0;
};


TEST_F(DoorSocketAbuseTest, GarbageAndAHugeLengthHarmNobody)
{
	int fd = Connect();
	ASSERT_GE(fd, 0);
	Send(fd, "GET / HTTP/1.0\r\n\r\n" + std::string(4096, '\xff'));
	ExpectANewUserIsServed();

	BMessage start('sdoo');
	start.AddString("UserName", "Mallory");
	std::string huge = Frame(start);
	huge[15] = char(0x7f);		// a payload of about two gigabytes
	fd = Connect();
	ASSERT_GE(fd, 0);
	Send(fd, huge);
	ExpectANewUserIsServed();
	EXPECT_TRUE(Host().Records("Mallory").empty());
}


TEST_F(DoorSocketAbuseTest, HalfAFrameThenSilenceHarmsNobody)
{
	BMessage start('sdoo');
	start.AddString("UserName", "Mallory");
	std::string frame = Frame(start);
	for (size_t cut : {size_t(3), wire::kHeaderSize, frame.size() - 1}) {
		int fd = Connect();
		ASSERT_GE(fd, 0);
		Send(fd, frame.substr(0, cut));
		ExpectANewUserIsServed();
	}
	EXPECT_TRUE(Host().Records("Mallory").empty());
}


TEST_F(DoorSocketAbuseTest, AThousandSilentPeersHarmNobody)
{
	for (int i = 0; i < 1000; i++)
		ASSERT_GE(Connect(), 0) << "connection " << i;
	ExpectANewUserIsServed();
	ExpectANewUserIsServed();
	// The keeper's session, waiting all along, goes on too.
	Host().ReleaseKeys("Keeper");
	EXPECT_TRUE(Host().WaitForRecords("Keeper", 3, kTimeout));
	EXPECT_EQ(Host().Texts("Keeper"), (std::vector<std::string>{"k", "<107>"}));
}
