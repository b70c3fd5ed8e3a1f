#include "DoorScreen.h"


// Far more than a prompt and the answer typed to it. A longer screen (a
// caller who types a line without end) keeps only its end.
static const size_t kMaxScreenSize = 4096;


void
DoorScreen::Add(const char* text, size_t size)
{
	fText.append(text, size);
	if (fText.size() <= kMaxScreenSize)
		return;
	size_t forgotten = fText.size() - kMaxScreenSize;
	fText.erase(0, forgotten);
	fSinceKey = fSinceKey > forgotten ? fSinceKey - forgotten : 0;
}


void
DoorScreen::KeyTaken()
{
	fText.erase(0, _CurrentLineStart());
	fSinceKey = fText.size();
}


std::string
DoorScreen::Replay() const
{
	// Texts since the key that end a line show the new screen from where
	// the key's answer began, as it always was; otherwise the key was
	// typed on the line the cursor still stands on, shown from its start.
	size_t lineStart = _CurrentLineStart();
	return fText.substr(lineStart > fSinceKey ? fSinceKey : lineStart);
}


std::string
DoorScreen::CurrentLine() const
{
	return fText.substr(_CurrentLineStart());
}


size_t
DoorScreen::_CurrentLineStart() const
{
	size_t lineFeed = fText.rfind('\n');
	return lineFeed == std::string::npos ? 0 : lineFeed + 1;
}
