#include "BridgeConnection.h"

#include "Board.h"

#include <AppDefs.h>
#include <Looper.h>

#include <errno.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>


static uint8
ExitStatusOf(CallEnd end)
{
	switch (end) {
		case CallEnd::kSessionEnded:
			return kExitSessionEnded;
		case CallEnd::kDoorClosed:
			return kExitDoorClosed;
		case CallEnd::kFailure:
			break;
	}
	return kExitFailure;
}


// The board's notices are written for a screen; a bridge shows a notice
// on a line of its own.
static std::string
Trimmed(const char* notice)
{
	std::string text(notice);
	size_t first = text.find_first_not_of('\n');
	if (first == std::string::npos)
		return std::string();
	size_t last = text.find_last_not_of('\n');
	return text.substr(first, last - first + 1);
}


BridgeConnection::BridgeConnection(BLooper* looper, Board& board,
	int descriptor, std::function<void(BridgeConnection*)> ended)
	:
	fLooper(looper),
	fBoard(board),
	fDescriptor(descriptor),
	fAddress("the terminal socket"),
	fEnded(std::move(ended))
{
}


BridgeConnection::~BridgeConnection()
{
	if (fDescriptor >= 0) {
		fLooper->UnwatchDescriptor(fDescriptor);
		close(fDescriptor);
	}
}


status_t
BridgeConnection::Start()
{
	return fLooper->WatchDescriptor(fDescriptor, B_DESCRIPTOR_READABLE,
		[this](int, uint32 events) { _Event(events); });
}


void
BridgeConnection::Show(const std::string& text)
{
	_Queue(kFrameText, text);
	_Flush();
}


void
BridgeConnection::Finish(CallEnd end, const char* notice)
{
	if (fEnding || fClosing)
		return;
	if (notice != NULL) {
		std::string text = Trimmed(notice);
		if (!text.empty())
			_Queue(kFrameNotice, text);
	}
	_Queue(kFrameGoodbye, std::string(1, (char)ExitStatusOf(end)));
	fClosing = true;
	_Flush();
}


void
BridgeConnection::LogLine(const BString& line)
{
	_Queue(kFrameLog, std::string(line.String(), (size_t)line.Length()));
	_Flush();
}


void
BridgeConnection::ShowNotice(const std::string& notice, const std::string&)
{
	_Queue(kFrameAnnouncement, notice);
	_Flush();
}


// #pragma mark - The socket


void
BridgeConnection::_Event(uint32 events)
{
	if ((events & B_DESCRIPTOR_WRITABLE) != 0)
		_Flush();
	if ((events & (B_DESCRIPTOR_READABLE | B_DESCRIPTOR_HANGUP)) != 0)
		_Read();
}


void
BridgeConnection::_Read()
{
	if (fEnding)
		return;
	char buffer[4096];
	ssize_t bytesRead = recv(fDescriptor, buffer, sizeof(buffer), 0);
	if (bytesRead < 0 && (errno == EAGAIN || errno == EINTR))
		return;
	if (bytesRead <= 0) {
		_End();
		return;
	}

	fReader.Feed(buffer, (size_t)bytesRead);
	uint8 type;
	std::string payload;
	status_t status;
	while (!fEnding && (status = fReader.Next(&type, &payload)) == B_OK) {
		if (!fGreeted) {
			if (type != kFrameHello) {
				_End();
				return;
			}
			fGreeted = true;
			_Hello(payload);
			continue;
		}
		// Whatever comes after a refusal or a goodbye is nobody's.
		if (fClosing || !fAdmitted)
			continue;
		switch (type) {
			case kFrameKeys:
				fBoard.Typed(this, payload);
				break;
			case kFrameEndOfInput:
				fBoard.InputEnded(this);
				break;
			default:
				_End();
				return;
		}
	}
	if (!fEnding && status == B_BAD_DATA)
		_End();
}


void
BridgeConnection::_Hello(const std::string& payload)
{
	if (payload.empty() || (uint8)payload[0] != kBridgeProtocolVersion) {
		Finish(CallEnd::kFailure,
			"This bridge does not speak this host's protocol.");
		return;
	}
	std::string name = payload.substr(1);
	bigtime_t timeLeft = -1;
	size_t end = name.find('\0');
	if (end != std::string::npos) {
		std::string place = name.substr(end + 1);
		name.erase(end);
		size_t placeEnd = place.find('\0');
		if (placeEnd != std::string::npos) {
			std::string seconds = place.substr(placeEnd + 1);
			place.erase(placeEnd);
			if (!seconds.empty() && seconds.size() <= kMaxBridgeTimeDigits
				&& seconds.find_first_not_of("0123456789")
					== std::string::npos) {
				timeLeft = (bigtime_t)strtoll(seconds.c_str(), NULL, 10)
					* 1000000;
			}
		}
		bool printable = !place.empty() && place.size() <= kMaxBridgePlace;
		for (char c : place)
			printable = printable && c >= 0x20 && c < 0x7f;
		if (printable)
			fAddress.SetTo(place.c_str());
	}
	// The welcome goes out before anything the door shows.
	std::string welcome;
	AppendFrame(welcome, kFrameWelcome, std::string());
	size_t before = fOutput.size();
	fOutput += welcome;
	fHolding = true;
	fAdmitted = fBoard.TerminalArrived(this, BString(name.c_str()));
	if (fAdmitted && timeLeft >= 0)
		fBoard.LimitTime(this, timeLeft);
	fHolding = false;
	if (!fAdmitted) {
		// Refused: the welcome must not reach the bridge, only the notice
		// and the goodbye that follow it.
		fOutput.erase(before, welcome.size());
	}
	_Flush();
}


void
BridgeConnection::_Queue(uint8 type, const std::string& payload)
{
	if (!fEnding && !fClosing)
		AppendFrame(fOutput, type, payload);
}


void
BridgeConnection::_Flush()
{
	if (fEnding || fHolding)
		return;
	while (!fOutput.empty()) {
		ssize_t written = send(fDescriptor, fOutput.data(), fOutput.size(),
			MSG_NOSIGNAL);
		if (written < 0 && errno == EINTR)
			continue;
		if (written < 0 && errno == EAGAIN)
			break;
		if (written < 0) {
			_End();
			return;
		}
		fOutput.erase(0, (size_t)written);
	}
	if (fOutput.empty() && fClosing) {
		_End();
		return;
	}
	_Watch(!fOutput.empty());
	if (fAdmitted)
		fBoard.Drained(this);
}


void
BridgeConnection::_Watch(bool writable)
{
	if (writable == fWatchingWritable)
		return;
	fWatchingWritable = writable;
	uint32 events = B_DESCRIPTOR_READABLE;
	if (writable)
		events |= B_DESCRIPTOR_WRITABLE;
	fLooper->UnwatchDescriptor(fDescriptor);
	fLooper->WatchDescriptor(fDescriptor, events,
		[this](int, uint32 watched) { _Event(watched); });
}


void
BridgeConnection::_End()
{
	if (fEnding)
		return;
	fEnding = true;
	fOutput.clear();
	fLooper->UnwatchDescriptor(fDescriptor);
	close(fDescriptor);
	fDescriptor = -1;
	if (fAdmitted)
		fBoard.HungUp(this);
	fEnded(this);
}
