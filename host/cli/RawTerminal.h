#pragma once

#include <SupportDefs.h>

// The local player's terminal in raw mode: keys arrive one at a time and
// unechoed, and output is not translated (the bridge writes CR LF itself).
// Ctrl-C still raises SIGINT. The saved mode is put back on every way out:
// Restore, the destructor, and the handlers of the signals that end the
// bridge (interrupt, termination, hang-up, and the crashes), which restore
// it and then end the process as the signal would have.
class RawTerminal {
public:
								RawTerminal() = default;
								RawTerminal(const RawTerminal&) = delete;
			RawTerminal&		operator=(const RawTerminal&) = delete;
								~RawTerminal();

			status_t			Enter(int descriptor);
			void				Restore();
};
