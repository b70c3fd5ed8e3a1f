#include "Seat.h"

#include "BoardLink.h"
#include "Terminal.h"

#include <Message.h>


// A door that shows texts faster than a caller takes them waits for its
// answers once this much is on the way.
static const size_t kMaxOutputBacklog = 64 * 1024;


Seat::Seat(BoardLink& link, int32 id, const BString& name)
	:
	fLink(link),
	fID(id),
	fName(name)
{
}


Seat::~Seat()
{
	// Nobody waits for these answers any more.
	delete fKeyRequest;
	for (BMessage* request : fTextRequests)
		delete request;
}


bool
Seat::HasRequests() const
{
	return fKeyRequest != nullptr || !fTextRequests.empty();
}


std::string
Seat::PromptLine() const
{
	return fScreen.CurrentLine();
}


// #pragma mark - The caller


void
Seat::SitDown(int32 caller, Terminal* terminal)
{
	fCaller = caller;
	fTerminal = terminal;
	fInputEnded = false;
	fHeld = false;
}


void
Seat::Attach(int32 caller, Terminal* terminal)
{
	SitDown(caller, terminal);
	std::string replay = fScreen.Replay();
	if (!replay.empty())
		fTerminal->Present("\n" + replay);
	DeliverKeys();
	_AnswerTexts();
}


void
Seat::Release()
{
	if (!fHeld)
		return;
	fHeld = false;
	std::string replay = fScreen.Replay();
	if (fTerminal != nullptr && !replay.empty())
		fTerminal->Present("\n" + replay);
	DeliverKeys();
	_AnswerTexts();
}


void
Seat::Detach(bigtime_t awayUntil)
{
	Vacate();
	fAwayUntil = awayUntil;
	// The texts the caller had not taken are the prompt to show again;
	// the door need not wait for them.
	fEarly.clear();
	_AnswerTexts();
}


void
Seat::Vacate()
{
	fHeld = false;
	fCaller = 0;
	fTerminal = nullptr;
}


void
Seat::KeysTyped(const std::string& keys)
{
	// A 0 byte is never a key: to the door it means "gone". Keys past the
	// terminal's share are dropped, so a caller who floods keys holds no
	// more of the host than that.
	size_t most = fTerminal != nullptr ? fTerminal->KeysAhead()
		: Terminal::kNetworkKeysAhead;
	for (char key : keys) {
		if (key != '\0' && fKeys.size() < most)
			fKeys.push_back(key);
	}
	DeliverKeys();
}


void
Seat::InputEnded()
{
	fInputEnded = true;
	DeliverKeys();
}


// #pragma mark - The door


bool
Seat::KeyRequested(BMessage* request)
{
	if (fGone || fKeyRequest != nullptr) {
		// A second request for the same key is told that the user is gone,
		// as the door protocol wants.
		fLink.AnswerKey(request, 0);
		return false;
	}
	fKeyRequest = request;
	return true;
}


void
Seat::DeliverKeys()
{
	if (fKeyRequest == nullptr)
		return;
	if (fGone) {
		fLink.AnswerKey(fKeyRequest, 0);
		fKeyRequest = nullptr;
		return;
	}
	if (fKeys.empty()) {
		// Every key before the end of the input was taken: the user is
		// gone only once the door asks for one more, so the texts that
		// the last keys bring are still shown.
		if (fTerminal != nullptr && fInputEnded) {
			SetGone();
			return;
		}
		// The door waits for the caller, who must see its screen whole.
		if (fTerminal != nullptr)
			fTerminal->SendWaiting();
		return;
	}
	if (fCaller == 0 || fHeld)
		return;
	char key = fKeys.front();
	fKeys.pop_front();
	fScreen.KeyTaken();
	BMessage* request = fKeyRequest;
	fKeyRequest = nullptr;
	fKeyGiven = true;
	fLink.AnswerKey(request, (uint8)key);
}


void
Seat::TextSent(const BString& text, BMessage* request)
{
	if (fGone) {
		fLink.AnswerText(request, true);
		return;
	}
	fScreen.Add(text.String(), (size_t)text.Length());

	if (fTerminal == nullptr || fHeld) {
		// Nobody sees it now; a caller who comes back sees the prompt.
		fLink.AnswerText(request, false);
		return;
	}
	fTextRequests.push_back(request);
	if (!fEntered) {
		// Answered with the report; the session waits for it meanwhile.
		fEarly.append(text.String(), (size_t)text.Length());
		return;
	}
	// The first text after a key is its echo, which the caller waits for;
	// the rest of a screen goes with what follows it.
	std::string shown(text.String(), (size_t)text.Length());
	if (fKeyGiven)
		fTerminal->Present(shown);
	else
		fTerminal->PresentSoon(shown);
	fKeyGiven = false;
	_AnswerTexts();
}


void
Seat::Entered()
{
	fEntered = true;
	if (fTerminal != nullptr && !fHeld && !fEarly.empty())
		fTerminal->Present(fEarly);
	fEarly.clear();
	_AnswerTexts();
}


void
Seat::SetGone()
{
	fGone = true;
	fKeys.clear();
	DeliverKeys();
	_AnswerTexts();
}


void
Seat::_AnswerTexts()
{
	while (!fTextRequests.empty()
		&& (fGone || fTerminal == nullptr || fHeld
			|| (fEntered && fTerminal->Backlog() <= kMaxOutputBacklog))) {
		BMessage* request = fTextRequests.front();
		fTextRequests.pop_front();
		fLink.AnswerText(request, fGone);
	}
}
