#include "DoorSession.h"

#include <gtest/gtest.h>


static const bigtime_t kDoorStartTimeout = 20000000;


DoorSession::DoorSession()
{
}


DoorSession::~DoorSession()
{
	// The door goes before the host, so that no session of it is left
	// waiting on a host that has quit.
	fDoor.reset();
}


status_t
DoorSession::StartDoor()
{
	if (IsDoorRunning())
		return B_OK;

	fDoor = std::make_unique<ChildProcess>();
	status_t status = fDoor->Start(DRELMOOR_BINARY_DIR "/bin/Drelmoor");
	if (status != B_OK)
		return status;

	if (!WaitForApplication(kDrelmoorSignature, kDoorStartTimeout))
		return B_TIMED_OUT;
	return B_OK;
}


status_t
DoorSession::Enter(const std::string& user, const std::string& keys,
	BMessage* reply)
{
	Host().SetKeys(user, keys);

	BMessage answer;
	status_t status = Host().EnterDoor(kDrelmoorSignature, user, &answer);
	if (reply != NULL)
		*reply = answer;
	return status;
}


status_t
DoorSession::WaitForDoorExit(int* exitCode, bigtime_t timeout)
{
	if (fDoor == nullptr)
		return B_NO_INIT;
	return fDoor->WaitForExit(timeout, exitCode);
}


bool
DoorSession::IsDoorRunning()
{
	return fDoor != nullptr && fDoor->IsRunning();
}


std::vector<std::string>
DoorSession::Play(const std::string& user, const std::string& keys)
{
	status_t status = StartDoor();
	EXPECT_EQ(status, B_OK) << "the door program did not start";
	if (status != B_OK)
		return Host().Texts(user);

	status = Enter(user, keys);
	EXPECT_EQ(status, B_OK) << "the door did not answer the start message";
	if (status != B_OK)
		return Host().Texts(user);

	int exitCode = -1;
	status = WaitForDoorExit(&exitCode);
	EXPECT_EQ(status, B_OK) << "the door program did not end";
	EXPECT_EQ(exitCode, 0) << "the door program failed";
	return Host().Texts(user);
}
