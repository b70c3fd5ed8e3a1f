#include "BridgeConnection.h"

#include "Board.h"
#include "HostLog.h"

#include <Looper.h>

#include <stdlib.h>


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
	fBoard(board),
	fAddress("the terminal socket"),
	fEnded(std::move(ended)),
	fStream(*looper, descriptor, *this)
{
}


BridgeConnection::~BridgeConnection()
{
}


status_t
BridgeConnection::Start()
{
	return fStream.Start();
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
	if (fStream.HasEnded() || fClosing)
		return;
	if (notice != NULL) {
		std::string text = Trimmed(notice);
		if (!text.empty())
			_Queue(kFrameNotice, text);
	}
	_Queue(kFrameGoodbye, std::string(1, (char)ExitStatusOf(end)));
	fClosing = true;
	if (!fHolding)
		fStream.Finish();
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


// #pragma mark - The socket's events


void
BridgeConnection::BytesReceived(const char* data, size_t size)
{
	fReader.Feed(data, size);
	uint8 type;
	std::string payload;
	status_t status = B_OK;
	while (!fStream.HasEnded()
		&& (status = fReader.Next(&type, &payload)) == B_OK) {
		_Frame(type, payload);
	}
	if (!fStream.HasEnded() && status == B_BAD_DATA)
		fStream.Close();
}


void
BridgeConnection::OutputFlushed()
{
	if (fAdmitted)
		fBoard.Drained(this);
}


void
BridgeConnection::StreamEnded(StreamConnection::EndReason reason)
{
	if (reason == StreamConnection::EndReason::kOverflowed)
		HostLog("a terminal did not read its output; it is closed");
	fHeld.clear();
	if (fAdmitted)
		fBoard.HungUp(this);
	fEnded(this);
}


// #pragma mark - Frames


void
BridgeConnection::_Frame(uint8 type, const std::string& payload)
{
	if (!fGreeted) {
		if (type != kFrameHello) {
			fStream.Close();
			return;
		}
		fGreeted = true;
		_Hello(payload);
		return;
	}
	// Whatever comes after a refusal or a goodbye is nobody's.
	if (fClosing || !fAdmitted)
		return;
	switch (type) {
		case kFrameKeys:
			fBoard.Typed(this, payload);
			break;
		case kFrameEndOfInput:
			fBoard.InputEnded(this);
			break;
		default:
			fStream.Close();
			break;
	}
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
	fHolding = true;
	fAdmitted = fBoard.TerminalArrived(this, BString(name.c_str()));
	if (fAdmitted && timeLeft >= 0)
		fBoard.LimitTime(this, timeLeft);
	fHolding = false;
	// The welcome goes out before anything the door shows; a refused
	// bridge gets only the notice and the goodbye that follow it.
	if (fAdmitted) {
		std::string welcome;
		AppendFrame(welcome, kFrameWelcome, std::string());
		fStream.Queue(welcome);
	}
	fStream.Queue(fHeld);
	fHeld.clear();
	if (fClosing)
		fStream.Finish();
	else
		_Flush();
}


void
BridgeConnection::_Queue(uint8 type, const std::string& payload)
{
	if (fStream.HasEnded() || fClosing)
		return;
	if (fHolding) {
		AppendFrame(fHeld, type, payload);
		return;
	}
	std::string frame;
	AppendFrame(frame, type, payload);
	fStream.Queue(frame);
}


void
BridgeConnection::_Flush()
{
	if (!fHolding)
		fStream.Flush();
}
