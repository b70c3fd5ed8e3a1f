#pragma once

#include <OS.h>

#include <string>
#include <thread>
#include <vector>

// A program started by a test, with the test's environment (boot volume,
// clock). Killed with SIGKILL if it still runs when the object goes.
class ChildProcess {
public:
								ChildProcess() = default;
								ChildProcess(const ChildProcess&) = delete;
			ChildProcess&		operator=(const ChildProcess&) = delete;
								~ChildProcess();

			// Optional standard input (written then closed) and capture of
			// standard output and standard error, before Start.
			void				SetInput(const std::string& input);
			void				CaptureOutput();

			status_t			Start(const std::string& program,
									const std::vector<std::string>& arguments
										= {});
			pid_t				Pid() const { return fPid; }
			bool				IsRunning();
			// B_OK with the exit code (or 128 + signal) once it has ended,
			// B_TIMED_OUT when it has not ended in time.
			status_t			WaitForExit(bigtime_t timeout, int* exitCode);
			void				Kill(int signal);

			// Complete once WaitForExit has returned B_OK; a thread of the
			// object fills them while the child runs.
			const std::string&	Output() const { return fOutput; }
			const std::string&	Errors() const { return fErrors; }

private:
			void				_Pump();
			void				_StopPump();
			void				_Ended(int status);

			pid_t				fPid = -1;
			bool				fExited = false;
			int					fExitCode = 0;
			std::string			fInput;
			bool				fHasInput = false;
			bool				fCapture = false;
			int					fInputPipe = -1;
			int					fOutputPipe = -1;
			int					fErrorPipe = -1;
			int					fWake[2] = { -1, -1 };
			std::thread			fPump;
			std::string			fOutput;
			std::string			fErrors;
};

// Waits until an application holds the signature; false after the timeout.
bool WaitForApplication(const char* signature, bigtime_t timeout);
