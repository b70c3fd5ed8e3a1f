// A small host for the web terminal's tests: WebTerminalListener on a
// looper, with a terminal that echoes keys back in capitals and reports
// every window size. "Q" says good-bye and closes the socket from the
// host's side.
#include "WebTerminalConnection.h"
#include "WebTerminalEvents.h"
#include "WebTerminalListener.h"

#include <EchoScreen.h>
#include <Looper.h>
#include <StopSignals.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>


class EchoHost : public BLooper, public WebTerminalEvents {
public:
	EchoHost()
		:
		BLooper("web echo host"),
		fListener(*this, *this)
	{
	}

	status_t Start(const char* pageFolder, bigtime_t requestDeadline,
		BString* error)
	{
		fListener.SetRequestDeadline(requestDeadline);
		status_t status = fListener.LoadPage(pageFolder, error);
		if (status == B_OK)
			status = fListener.Listen("127.0.0.1", 0, error);
		return status;
	}

	uint16 Port() const { return fListener.Port(); }

	void TerminalOpened(WebTerminalConnection* connection) override
	{
		static const char kWelcome[] = "Welcome to the echo board.\r\n";
		connection->Send(kWelcome, strlen(kWelcome));
		printf("opened %s\n", connection->Address().String());
	}

	void WindowResized(WebTerminalConnection* connection, int32 columns,
		int32 rows) override
	{
		std::string text = EchoScreen::WindowLine(columns, rows);
		connection->Send(text.data(), text.size());
	}

	void BytesReceived(WebTerminalConnection* connection, const char* data,
		size_t size) override
	{
		std::string echo;
		for (size_t i = 0; i < size; i++) {
			if (data[i] == 'Q') {
				connection->Send("Bye\r\n", 5);
				connection->Close();
				return;
			}
			echo += EchoScreen::Echo(data + i, 1);
		}
		connection->Send(echo.data(), echo.size());
	}

	void ConnectionClosed(WebTerminalConnection* connection) override
	{
		printf("closed %s\n", connection->Address().String());
	}

private:
	WebTerminalListener		fListener;
};


int
main(int argumentCount, char** arguments)
{
	if (argumentCount < 2 || argumentCount > 3
		|| strcmp(arguments[1], "--help") == 0) {
		fprintf(stderr, "usage: %s PAGE-FOLDER [REQUEST-DEADLINE-SECONDS]\n"
			"Serves the web terminal's page from PAGE-FOLDER on an ephemeral"
			" port of 127.0.0.1,\nechoing keys in capitals, until SIGTERM or"
			" SIGINT.\n", arguments[0]);
		return argumentCount == 2 ? 0 : 2;
	}
	bigtime_t requestDeadline = WebTerminalListener::kDefaultRequestDeadline;
	if (argumentCount == 3)
		requestDeadline = bigtime_t(atof(arguments[2]) * 1000000);
	setvbuf(stdout, nullptr, _IOLBF, 0);

	StopSignals signals;

	EchoHost* host = new EchoHost;
	BString error;
	host->Lock();
	status_t status = host->Start(arguments[1], requestDeadline, &error);
	host->Unlock();
	if (status != B_OK) {
		fprintf(stderr, "%s\n", error.String());
		delete host;
		return 1;
	}
	printf("port %u\n", unsigned(host->Port()));
	host->Run();

	signals.Wait();
	host->Quit();
	delete host;
	return 0;
}
