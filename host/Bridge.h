#pragma once

#include <String.h>

#include <string>

// A thin bridge from one terminal to the host of the boot volume: it starts
// the host when none runs, hands it the user's name, and then only carries
// bytes. In stdio mode keys come from standard input one byte each, the
// door's texts go to standard output unchanged and the end of the input
// means the user is gone; the host's own notices go to standard error. In
// local mode the terminal is raw: Enter is delivered as one line feed and a
// line feed shown as CR LF. Runs on the program's one thread.
class Bridge {
public:
	enum class Mode {
		kStdio,
		kLocal,
	};

								Bridge(Mode mode, const BString& userName,
									const BString& doorProgram);

	// The exit status of the program: the one the host sent with its
	// goodbye, or a failure.
			int					Run();

private:
			status_t			_Connect(int* descriptor);
			status_t			_StartHost();
			int					_Pump(int descriptor, bool* retry);
			void				_SendKeys(int descriptor, const char* keys,
									size_t size);
			status_t			_ShowText(const std::string& text);
			void				_ShowNotice(const std::string& notice);

			Mode				fMode;
			BString				fUserName;
			BString				fDoorProgram;
			bool				fLastKeyWasReturn = false;
			// Local mode: whether the terminal's cursor is at a line's start.
			bool				fAtLineStart = true;
};
