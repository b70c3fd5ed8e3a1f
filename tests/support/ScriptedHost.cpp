#include "ScriptedHost.h"

#include <Messenger.h>
#include <OS.h>

#include <gtest/gtest.h>

#include <chrono>
#include <stdio.h>


// The host's side of the protocol is written out here on its own, not taken
// from the door kit's headers, so that a wrong code or field name in the kit
// shows up as a difference instead of agreeing with itself.
static const char* kZenboSignature = "application/x-vnd-Korrin-Zenbo";
static const uint32 kGetCharCode = 'gcha';
static const uint32 kSendStringCode = 'sstr';
static const uint32 kStartDoorCode = 'sdoo';
static const uint32 kHostReplyCode = 'NONE';

// A door that neither answers nor drops a start message within this time is
// taken as hanging, so that the test fails instead of waiting for ever.
static const bigtime_t kDoorReplyTimeout = 20000000;


static std::string
ValueOf(const BMessage& message, const char* name, type_code type,
	int32 index)
{
	char buffer[32];
	switch (type) {
		case B_STRING_TYPE:
		{
			const char* string = NULL;
			if (message.FindString(name, index, &string) == B_OK)
				return string;
			return "";
		}
		case B_INT32_TYPE:
		{
			int32 value = 0;
			message.FindInt32(name, index, &value);
			snprintf(buffer, sizeof(buffer), "%d", int(value));
			return buffer;
		}
		case B_INT64_TYPE:
		{
			int64 value = 0;
			message.FindInt64(name, index, &value);
			snprintf(buffer, sizeof(buffer), "%lld", (long long)value);
			return buffer;
		}
		case B_BOOL_TYPE:
		{
			bool value = false;
			message.FindBool(name, index, &value);
			return value ? "1" : "0";
		}
	}

	// Other types: the raw bytes in hexadecimal.
	const void* data = NULL;
	ssize_t size = 0;
	std::string hex;
	if (message.FindData(name, type, index, &data, &size) == B_OK) {
		for (ssize_t i = 0; i < size; i++) {
			snprintf(buffer, sizeof(buffer), "%02x",
				static_cast<const uint8*>(data)[i]);
			hex += buffer;
		}
	}
	return hex;
}


static ScriptedHost::Record
RecordOf(const BMessage& message)
{
	ScriptedHost::Record record;
	record.what = message.what;
	int32 count = message.CountNames(B_ANY_TYPE);
	for (int32 i = 0; i < count; i++) {
		const char* name = NULL;
		type_code type = 0;
		int32 values = 0;
		if (message.GetInfo(B_ANY_TYPE, i, &name, &type, &values) != B_OK)
			continue;
		for (int32 index = 0; index < values; index++) {
			record.fields.push_back(
				{name, type, ValueOf(message, name, type, index)});
		}
	}
	return record;
}


// The user's session has been told that the user is gone by this answer to
// a "gcha": no int32 "Char", or one whose low byte is 0.
static bool
MeansGone(const BMessage& answer)
{
	int32 value = 0;
	if (answer.FindInt32("Char", 0, &value) != B_OK)
		return true;
	return (value & 0xFF) == 0;
}


ScriptedHost::ScriptedHost()
	:
	BApplication(kZenboSignature)
{
}


ScriptedHost::~ScriptedHost()
{
	// A key that is still held is never given: its session is released
	// with B_NO_REPLY, which tells it the user is gone.
	for (auto& [user, session] : fSessions)
		delete session.waiting;
}


void
ScriptedHost::SetKeys(const std::string& user, const std::string& keys)
{
	std::lock_guard<std::mutex> lock(fLock);
	Session& session = fSessions[user];
	for (char key : keys) {
		BMessage answer(kHostReplyCode);
		answer.AddInt32("Char", int32(uint8(key)));
		session.answers.push_back(answer);
	}
}


void
ScriptedHost::AddAnswer(const std::string& user, const BMessage& reply)
{
	std::lock_guard<std::mutex> lock(fLock);
	fSessions[user].answers.push_back(reply);
}


void
ScriptedHost::QuitAfterTexts(const std::string& user, int32 count)
{
	std::lock_guard<std::mutex> lock(fLock);
	fSessions[user].quitAfter = count;
}


void
ScriptedHost::HoldKeys(const std::string& user)
{
	std::lock_guard<std::mutex> lock(fLock);
	fSessions[user].holding = true;
}


void
ScriptedHost::ReleaseKeys(const std::string& user)
{
	BMessage* waiting = NULL;
	BMessage answer;
	{
		std::lock_guard<std::mutex> lock(fLock);
		Session& session = fSessions[user];
		session.holding = false;
		if (session.waiting != NULL) {
			waiting = session.waiting;
			session.waiting = NULL;
			answer = _NextKeyAnswer(session);
		}
		fChanged.notify_all();
	}

	if (waiting != NULL) {
		waiting->SendReply(&answer);
		delete waiting;
	}
}


std::vector<ScriptedHost::Record>
ScriptedHost::Records(const std::string& user) const
{
	std::lock_guard<std::mutex> lock(fLock);
	auto found = fSessions.find(user);
	if (found == fSessions.end())
		return {};
	return found->second.records;
}


std::vector<std::string>
ScriptedHost::Texts(const std::string& user) const
{
	std::vector<std::string> texts;
	for (const Record& record : Records(user)) {
		if (record.what != kSendStringCode)
			continue;
		for (const Field& field : record.fields) {
			if (field.name == "String" && field.type == B_STRING_TYPE) {
				texts.push_back(field.value);
				break;
			}
		}
	}
	return texts;
}


std::string
ScriptedHost::Screen(const std::string& user) const
{
	std::string screen;
	for (const std::string& text : Texts(user))
		screen += text;
	return screen;
}


bool
ScriptedHost::WaitUntilGone(const std::string& user, bigtime_t timeout)
{
	return _WaitFor(timeout, [&] { return fSessions[user].gone; });
}


bool
ScriptedHost::WaitForRecords(const std::string& user, size_t count,
	bigtime_t timeout)
{
	return _WaitFor(timeout,
		[&] { return fSessions[user].records.size() >= count; });
}


bool
ScriptedHost::WaitUntilAsked(const std::string& user, bigtime_t timeout)
{
	return _WaitFor(timeout,
		[&] { return fSessions[user].waiting != NULL; });
}


status_t
ScriptedHost::EnterDoor(const char* doorSignature, const std::string& user,
	BMessage* reply)
{
	BMessage request(kStartDoorCode);
	request.AddString("UserName", user.c_str());
	return SendToDoor(doorSignature, request, reply);
}


status_t
ScriptedHost::SendToDoor(const char* doorSignature, BMessage message,
	BMessage* reply)
{
	status_t status;
	BMessenger door(doorSignature, -1, &status);
	if (status != B_OK)
		return status;

	BMessage answer;
	status = door.SendMessage(&message, &answer, B_INFINITE_TIMEOUT,
		kDoorReplyTimeout);
	if (reply != NULL)
		*reply = answer;
	return status;
}


void
ScriptedHost::MessageReceived(BMessage* message)
{
	std::string user;
	const char* userName = NULL;
	if (message->FindString("UserName", 0, &userName) == B_OK)
		user = userName;

	std::unique_lock<std::mutex> lock(fLock);
	Session& session = fSessions[user];
	session.records.push_back(RecordOf(*message));

	switch (message->what) {
		case kGetCharCode:
		{
			if (session.holding && session.waiting == NULL) {
				session.waiting = DetachCurrentMessage();
				fChanged.notify_all();
				return;
			}
			BMessage answer = _NextKeyAnswer(session);
			fChanged.notify_all();
			lock.unlock();
			message->SendReply(&answer);
			return;
		}
		case kSendStringCode:
		{
			session.texts++;
			bool quit = session.quitAfter >= 0
				&& session.texts > session.quitAfter;
			if (quit)
				session.gone = true;
			fChanged.notify_all();
			lock.unlock();
			BMessage answer(quit ? uint32(B_QUIT_REQUESTED) : kHostReplyCode);
			message->SendReply(&answer);
			return;
		}
	}

	fChanged.notify_all();
	lock.unlock();
	BApplication::MessageReceived(message);
}


BMessage
ScriptedHost::_NextKeyAnswer(Session& session)
{
	BMessage answer(kHostReplyCode);
	if (session.nextAnswer < session.answers.size())
		answer = session.answers[session.nextAnswer++];
	else
		answer.AddInt32("Char", 0);

	if (MeansGone(answer))
		session.gone = true;
	return answer;
}


bool
ScriptedHost::_WaitFor(bigtime_t timeout,
	const std::function<bool()>& condition) const
{
	std::unique_lock<std::mutex> lock(fLock);
	return fChanged.wait_for(lock, std::chrono::microseconds(timeout),
		condition);
}


// #pragma mark - ScriptedHostRunner


ScriptedHostRunner::ScriptedHostRunner()
	:
	fHost(new ScriptedHost)
{
	status_t status = fHost->InitCheck();
	if (status != B_OK) {
		ADD_FAILURE() << "the scripted host could not take Zenbo's signature: "
			<< strerror_status(status);
		return;
	}
	fThread = std::thread([this] { fHost->Run(); });
}


ScriptedHostRunner::~ScriptedHostRunner()
{
	if (fThread.joinable()) {
		fHost->PostMessage(B_QUIT_REQUESTED);
		fThread.join();
	}
	delete fHost;
}


// #pragma mark - DescribeRecord


static std::string
Quoted(const std::string& bytes)
{
	std::string quoted = "\"";
	for (char byte : bytes) {
		uint8 value = uint8(byte);
		switch (byte) {
			case '\n': quoted += "\\n"; break;
			case '\r': quoted += "\\r"; break;
			case '\t': quoted += "\\t"; break;
			case '\b': quoted += "\\b"; break;
			case '"': quoted += "\\\""; break;
			case '\\': quoted += "\\\\"; break;
			default:
				if (value < 0x20 || value >= 0x7F) {
					char escape[8];
					snprintf(escape, sizeof(escape), "\\x%02x", value);
					quoted += escape;
				} else
					quoted += byte;
				break;
		}
	}
	return quoted + "\"";
}


static std::string
CodeName(uint32 code)
{
	std::string name;
	for (int shift = 24; shift >= 0; shift -= 8) {
		char byte = char((code >> shift) & 0xFF);
		if (byte < 0x20 || byte >= 0x7F) {
			char hex[16];
			snprintf(hex, sizeof(hex), "0x%08x", code);
			return hex;
		}
		name += byte;
	}
	return name;
}


std::string
DescribeRecord(const ScriptedHost::Record& record)
{
	std::string line = CodeName(record.what);
	for (const ScriptedHost::Field& field : record.fields) {
		line += " " + field.name + "=";
		if (field.type == B_STRING_TYPE)
			line += Quoted(field.value);
		else if (field.type == B_INT32_TYPE)
			line += field.value;
		else
			line += CodeName(field.type) + ":" + field.value;
	}
	return line;
}


std::string
DescribeMessage(const BMessage& message)
{
	return DescribeRecord(RecordOf(message));
}
