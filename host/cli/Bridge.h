#pragma once

#include "LineDiscipline.h"

#include <String.h>

#include <memory>
#include <string>

class TelnetLine;

// A thin bridge from one terminal to the host of the boot volume: it starts
// the host when none runs, hands it the user's name, and then only carries
// bytes. In stdio mode keys come from standard input, the door's texts go to
// standard output and the end of the input means the user is gone; the
// host's own log lines go to the volume's log (and to standard error when
// that is not the caller's screen), and a terminal on standard input is
// raw for the session. In local mode the terminal is raw. Both speak a caller's line discipline (Enter and backspace in, CR LF
// and harmless bytes out), except a stdio bridge asked for raw passage,
// which carries every byte unchanged for scripts. In telnet mode the
// terminal is a telnet socket that a board handed down (DOOR32.SYS comm type
// 2), on which the bridge speaks telnet as the host does to its own telnet
// callers. Runs on the program's one thread.
class Bridge {
public:
	enum class Mode {
		kStdio,
		kLocal,
		kTelnet,			// a board's telnet socket (TelnetLine)
	};
	enum class Passage {
		kLineDiscipline,
		kRaw,				// stdio only: bytes pass unchanged both ways
	};

								Bridge(Mode mode, Passage passage,
									const BString& userName,
									const BString& doorProgram,
									int telnetLine = -1);
								~Bridge();

	// Where the terminal is, for the sysop (a board's node).
			void				SetPlace(const BString& place)
									{ fPlace = place; }
	// What the terminal speaks (the door's bytes as they are until set).
			void				SetCharacterSet(const CharacterSet& set)
									{ fDiscipline.SetCharacterSet(set); }
	// The time the caller's board left them; negative for no limit.
			void				SetTimeLeft(bigtime_t timeLeft)
									{ fTimeLeft = timeLeft; }

	// The exit status of the program: the one the host sent with its
	// goodbye, or a failure.
			int					Run();

private:
			status_t			_Connect(int* descriptor);
			status_t			_StartHost();
			int					_Pump(int descriptor, bool* retry);
			void				_SendKeys(int descriptor, const char* keys,
									size_t size);
			// Reads the terminal; false once its input has ended.
			bool				_ReadTerminal(int descriptor);
			status_t			_ShowText(const std::string& text);
			// The host's notice; once the session runs, the caller sees it
			// on the terminal (a board shows its caller only standard
			// output).
			void				_ShowNotice(const std::string& notice,
									bool inSession);
			// The sysop's notice at a prompt: the prompt's line is shown
			// again after it.
			void				_ShowAnnouncement(const std::string& notice);
			void				_EndScreen();

			Mode				fMode;
			Passage				fPassage;
			BString				fUserName;
			BString				fDoorProgram;
			BString				fPlace;
			bigtime_t			fTimeLeft = -1;
			LineDiscipline		fDiscipline;
			// The door's text since the last line feed shown.
			std::string			fScreenLine;
			std::unique_ptr<TelnetLine> fLine;
};
