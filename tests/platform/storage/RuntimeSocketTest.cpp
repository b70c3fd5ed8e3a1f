#include <BootVolume.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "TestVolume.h"


namespace {

const char* const kName = "test.sock";

bool
IsSocketFile(const std::string& path)
{
	struct stat info;
	return lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}


// Accepts the connection that connect() has queued and sends one byte
// through it, so that both ends are known to be joined.
void
ExpectJoined(int listener, int connection)
{
	int accepted = accept(listener, nullptr, nullptr);
	ASSERT_GE(accepted, 0);
	ASSERT_EQ(1, write(accepted, "x", 1));
	char byte = 0;
	EXPECT_EQ(1, read(connection, &byte, 1));
	EXPECT_EQ('x', byte);
	close(accepted);
}

}	// namespace


TEST(RuntimeSocketTest, ConnectionReachesTheListenerWithThePromisedFlags)
{
	TestVolume volume;
	int listener = -1;
	ASSERT_EQ(B_OK, listen_on_runtime_socket(kName, 4, &listener));
	EXPECT_TRUE(IsSocketFile(volume.MachinePath("/boot/var/run/test.sock")));
	EXPECT_NE(0, fcntl(listener, F_GETFL) & O_NONBLOCK);
	EXPECT_NE(0, fcntl(listener, F_GETFD) & FD_CLOEXEC);

	int connection = -1;
	ASSERT_EQ(B_OK, connect_to_runtime_socket(kName, &connection));
	EXPECT_EQ(0, fcntl(connection, F_GETFL) & O_NONBLOCK);
	EXPECT_NE(0, fcntl(connection, F_GETFD) & FD_CLOEXEC);
	ExpectJoined(listener, connection);
	close(connection);
	close(listener);
}


TEST(RuntimeSocketTest, OnlyTheOwnerMayConnect)
{
	TestVolume volume;
	int listener = -1;
	ASSERT_EQ(B_OK, listen_on_runtime_socket(kName, 4, &listener));
	struct stat info;
	ASSERT_EQ(0, lstat(volume.MachinePath("/boot/var/run/test.sock").c_str(),
		&info));
	// Connecting needs write permission on the socket file.
	EXPECT_EQ(0u, info.st_mode & 077);
	EXPECT_EQ(0600u, info.st_mode & 0777);
	ASSERT_EQ(0, stat(volume.MachinePath("/boot/var/run").c_str(), &info));
	EXPECT_EQ(0700u, info.st_mode & 07777);
	close(listener);
}


TEST(RuntimeSocketTest, NobodyListensWithoutSocketOrWithALeftOverOne)
{
	TestVolume volume;
	int connection = -1;
	EXPECT_EQ(B_ENTRY_NOT_FOUND, connect_to_runtime_socket(kName, &connection));

	int listener = -1;
	ASSERT_EQ(B_OK, listen_on_runtime_socket(kName, 4, &listener));
	close(listener);
	EXPECT_EQ(B_BAD_PORT_ID, connect_to_runtime_socket(kName, &connection));
	EXPECT_EQ(-1, connection);
}


TEST(RuntimeSocketTest, ListeningReplacesALeftOverSocketAndRemovingEndsIt)
{
	TestVolume volume;
	int gone = -1;
	ASSERT_EQ(B_OK, listen_on_runtime_socket(kName, 4, &gone));
	close(gone);

	int listener = -1;
	ASSERT_EQ(B_OK, listen_on_runtime_socket(kName, 4, &listener));
	int connection = -1;
	ASSERT_EQ(B_OK, connect_to_runtime_socket(kName, &connection));
	ExpectJoined(listener, connection);
	close(connection);

	remove_runtime_socket(kName);
	EXPECT_FALSE(volume.Exists("/boot/var/run/test.sock"));
	EXPECT_EQ(B_ENTRY_NOT_FOUND, connect_to_runtime_socket(kName, &connection));
	close(listener);
}


TEST(RuntimeSocketTest, VolumeTooDeepForASocketAddressStillWorks)
{
	TestVolume volume;
	std::string deep = volume.Folder();
	while (deep.size() < 160) {
		deep += "/a-rather-long-folder-name";
		ASSERT_EQ(0, mkdir(deep.c_str(), 0755));
	}
	setenv("BOOT_VOLUME", deep.c_str(), 1);

	int listener = -1;
	EXPECT_EQ(B_OK, listen_on_runtime_socket(kName, 4, &listener));
	EXPECT_TRUE(IsSocketFile(deep + "/var/run/test.sock"));
	int connection = -1;
	EXPECT_EQ(B_OK, connect_to_runtime_socket(kName, &connection));
	if (listener >= 0 && connection >= 0)
		ExpectJoined(listener, connection);
	close(connection);
	close(listener);

	remove_runtime_socket(kName);
	EXPECT_FALSE(IsSocketFile(deep + "/var/run/test.sock"));
	setenv("BOOT_VOLUME", volume.Folder().c_str(), 1);
}
