#include "RawTerminal.h"

#include <Errors.h>

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>


// The signal handlers reach the saved mode through these, and only these.
static volatile sig_atomic_t sRawDescriptor = -1;
static struct termios sSavedMode;

static const int kEndingSignals[] = {
	SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT,
};


static void
RestoreSavedMode()
{
	int descriptor = sRawDescriptor;
	if (descriptor >= 0) {
		tcsetattr(descriptor, TCSAFLUSH, &sSavedMode);
		sRawDescriptor = -1;
	}
}


static void
EndOnSignal(int signalNumber)
{
	RestoreSavedMode();
	// Ends the line the game was on, so the shell's prompt starts clean.
	ssize_t written = write(STDOUT_FILENO, "\r\n", 2);
	(void)written;
	signal(signalNumber, SIG_DFL);
	raise(signalNumber);
}


RawTerminal::~RawTerminal()
{
	Restore();
}


status_t
RawTerminal::Enter(int descriptor)
{
	struct termios mode;
	if (tcgetattr(descriptor, &mode) != 0)
		return status_from_errno(errno);
	sSavedMode = mode;

	mode.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL
		| IXON);
	mode.c_oflag &= ~OPOST;
	mode.c_lflag &= ~(ECHO | ECHONL | ICANON | IEXTEN);
	mode.c_cflag &= ~(CSIZE | PARENB);
	mode.c_cflag |= CS8;
	mode.c_cc[VMIN] = 1;
	mode.c_cc[VTIME] = 0;
	// A suspended game would leave the terminal raw under the shell.
	mode.c_cc[VSUSP] = _POSIX_VDISABLE;

	struct sigaction action;
	memset(&action, 0, sizeof(action));
	action.sa_handler = EndOnSignal;
	sigemptyset(&action.sa_mask);
	for (int signalNumber : kEndingSignals)
		sigaction(signalNumber, &action, NULL);

	sRawDescriptor = descriptor;
	if (tcsetattr(descriptor, TCSAFLUSH, &mode) != 0) {
		sRawDescriptor = -1;
		return status_from_errno(errno);
	}
	return B_OK;
}


void
RawTerminal::Restore()
{
	sigset_t set;
	sigset_t previous;
	sigemptyset(&set);
	for (int signalNumber : kEndingSignals)
		sigaddset(&set, signalNumber);
	// A signal arriving meanwhile must not restore a second time.
	sigprocmask(SIG_BLOCK, &set, &previous);
	RestoreSavedMode();
	sigprocmask(SIG_SETMASK, &previous, NULL);
}
