#pragma once

#include <OS.h>

#include <termios.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A zenbo bridge started by a test that types into it while it runs: its
// standard input stays open until CloseInput, and its standard output and
// standard error are collected as they come, so that a test can wait for a
// screen before it acts. Killed with SIGKILL if it still runs at the end.
class BridgeProcess {
public:
								BridgeProcess() = default;
								BridgeProcess(const BridgeProcess&) = delete;
			BridgeProcess&		operator=(const BridgeProcess&) = delete;
								~BridgeProcess();

			status_t			Start(const std::vector<std::string>& arguments);
			// On a terminal of its own (a pseudo-terminal in its initial,
			// cooked mode): both its outputs arrive as Output.
			status_t			StartOnTerminal(
									const std::vector<std::string>& arguments);
			// The terminal's mode as it is now (StartOnTerminal only).
			status_t			GetTerminalMode(struct termios* mode) const;
			// The terminal's mode as it was made, read before the bridge
			// started and could set its own (StartOnTerminal only).
			status_t			GetInitialTerminalMode(
									struct termios* mode) const;
			void				Type(const std::string& keys);
			void				CloseInput();

			// True once standard output holds the text; false after the
			// timeout.
			bool				WaitForOutput(const std::string& text,
									bigtime_t timeout);
			// B_OK with the exit code (128 + signal when killed).
			status_t			WaitForExit(bigtime_t timeout, int* exitCode);

			pid_t				Pid() const { return fPid; }
			std::string			Output();
			std::string			Errors();

private:
			void				_Collect();
			std::vector<char*>	_Arguments(
									const std::vector<std::string>& arguments);

			pid_t				fPid = -1;
			int					fInput = -1;
			int					fOutputPipe = -1;
			int					fErrorPipe = -1;
			std::thread			fCollector;
			std::mutex			fLock;
			std::condition_variable fChanged;
			std::string			fOutput;
			std::string			fErrors;
			std::string			fProgram;
			int					fTerminal = -1;
			struct termios		fInitialMode = {};
			bool				fExited = false;
			int					fExitCode = 0;
};

// The zenbo program of this build.
std::string ZenboProgram();
