#include "WebCaller.h"

#include "QuietBoard.h"
#include "RunningLooper.h"
#include "TerminalKeeper.h"
#include "WebCallers.h"

#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>


namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {

class Keeper : public TerminalKeeper {
public:
	void KeepTerminal(std::unique_ptr<Terminal> connection) override
	{
		fKept.push_back(std::move(connection));
	}
	void TerminalEnded(Terminal*) override { fEnded++; }

	std::vector<std::unique_ptr<Terminal>> fKept;
	int fEnded = 0;
};


// Web callers on a quiet board, on loopback, with a page of placeholder
// files; the browser is Beast's WebSocket client on the test's thread.
class WebCallerTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_NE(nullptr, mkdtemp(fFolder));
		for (const char* name : {"index.html", "terminal.js", "terminal.css",
				"xterm.js", "xterm.css", "addon-fit.js",
				"manifest.webmanifest", "icon.svg"}) {
			std::string path = std::string(fFolder) + "/" + name;
			FILE* file = fopen(path.c_str(), "w");
			ASSERT_NE(nullptr, file);
			fclose(file);
		}
		fCallers = std::make_unique<WebCallers>(fLooper.Looper(),
			fBoard.Get(), fKeeper);
		BString problem;
		ASSERT_EQ(B_OK, fLooper.Locked([&] {
			return fCallers->Listen(fFolder, "127.0.0.1", 0, &problem);
		})) << problem.String();
	}

	void TearDown() override
	{
		fSocket.reset();
		fLooper.Locked([this] {
			fCallers.reset();
			fKeeper.fKept.clear();
		});
		std::string command = std::string("rm -rf ") + fFolder;
		EXPECT_EQ(0, system(command.c_str()));
	}

	void Open(const char* target = "/ws")
	{
		std::string host = "127.0.0.1:" + std::to_string(fCallers->Port());
		fSocket = std::make_unique<websocket::stream<asio::ip::tcp::socket>>(
			fContext);
		asio::ip::tcp::endpoint endpoint(
			asio::ip::make_address("127.0.0.1"), fCallers->Port());
		fSocket->next_layer().connect(endpoint);
		timeval timeout = {5, 0};
		setsockopt(fSocket->next_layer().native_handle(), SOL_SOCKET,
			SO_RCVTIMEO, &timeout, sizeof(timeout));
		fSocket->set_option(websocket::stream_base::decorator(
			[host](websocket::request_type& request) {
				request.set(beast::http::field::origin, "http://" + host);
			}));
		fSocket->handshake(host, target);
		fSocket->binary(true);
	}

	std::string ReadUntil(const std::string& text)
	{
		std::string received;
		while (received.find(text) == std::string::npos) {
			beast::flat_buffer buffer;
			beast::error_code error;
			fSocket->read(buffer, error);
			if (error)
				break;
			received += beast::buffers_to_string(buffer.data());
		}
		return received;
	}

	char fFolder[32] = "/tmp/web-caller-XXXXXX";
	RunningLooper fLooper;
	QuietBoard fBoard;
	Keeper fKeeper;
	std::unique_ptr<WebCallers> fCallers;
	asio::io_context fContext;
	std::unique_ptr<websocket::stream<asio::ip::tcp::socket>> fSocket;
};

}	// namespace


TEST_F(WebCallerTest, CallerLogsInInsideTheTerminalAtItsWindowSize)
{
	Open();
	std::string received = ReadUntil("Name: ");
	EXPECT_NE(std::string::npos,
		received.find("Welcome to the Drelmoor board.\r\n")) << received;

	fSocket->text(true);
	fSocket->write(asio::buffer(std::string("resize 120 40")));
	EXPECT_TRUE(fLooper.WaitFor([this] {
		return !fKeeper.fKept.empty()
			&& strstr(fKeeper.fKept[0]->TerminalType().String(), "120x40")
				!= nullptr;
	}));
	EXPECT_STREQ("web", fLooper.Locked([this] {
		return fKeeper.fKept.at(0)->Kind();
	}));

	fSocket->binary(true);
	fSocket->write(asio::buffer(std::string(".hidden\r")));
	received = ReadUntil("Name: ");
	EXPECT_NE(std::string::npos,
		received.find("That name starts with a space or a dot.")) << received;
}


TEST_F(WebCallerTest, ClosedSocketEndsTheCallerOnce)
{
	Open();
	ReadUntil("Name: ");
	fSocket->close(websocket::close_code::normal);
	ASSERT_TRUE(fLooper.WaitFor([this] { return fKeeper.fEnded == 1; }));
	EXPECT_TRUE(fLooper.Locked([this] {
		return fBoard.Get().ListCallers().empty();
	}));
	snooze(50000);
	EXPECT_EQ(1, fLooper.Locked([this] { return fKeeper.fEnded; }));
}


TEST_F(WebCallerTest, OversizedMessageEndsTheCall)
{
	Open();
	ReadUntil("Name: ");
	beast::error_code error;
	fSocket->write(asio::buffer(std::string(128 * 1024, 'k')), error);
	ASSERT_TRUE(fLooper.WaitFor([this] { return fKeeper.fEnded == 1; }));
	EXPECT_TRUE(fLooper.Locked([this] {
		return fBoard.Get().ListCallers().empty();
	}));
}


TEST_F(WebCallerTest, SizeInTheAddressLaysOutTheFirstScreen)
{
	Open("/ws?cols=40&rows=20");
	std::string received = ReadUntil("Name: ");
	// The welcome's long line broken between words for 40 columns.
	EXPECT_NE(std::string::npos, received.find(
		"Give your board name to log in, or a new\r\nname to register."))
		<< received;
	EXPECT_TRUE(fLooper.WaitFor([this] {
		return !fKeeper.fKept.empty() && strstr(
			fKeeper.fKept[0]->TerminalType().String(), "40x20") != nullptr;
	}));
}


TEST_F(WebCallerTest, SizeInTheAddressOutOfRangeOrMalformedIsIgnored)
{
	for (const char* target : {"/ws?cols=0&rows=20", "/ws?cols=40&rows=2000",
			"/ws?cols=40", "/ws?cols=40&rows=20&x=1", "/ws?rows=20&cols=40",
			"/ws?cols=-5&rows=-5"}) {
		Open(target);
		std::string received = ReadUntil("Name: ");
		EXPECT_NE(std::string::npos, received.find(
			"or a new name to register.")) << target << ": " << received;
		fSocket->close(websocket::close_code::normal);
	}
	EXPECT_TRUE(fLooper.WaitFor([this] { return fKeeper.fEnded == 6; }));
	EXPECT_TRUE(fLooper.Locked([this] {
		for (auto& kept : fKeeper.fKept) {
			if (strstr(kept->TerminalType().String(), "80x24") == nullptr)
				return false;
		}
		return fKeeper.fKept.size() == 6;
	}));
}
