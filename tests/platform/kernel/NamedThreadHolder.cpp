// A program that holds one named thread for the tests of the thread listing:
// the thread runs until the program gets SIGUSR1 (or is killed).
//   NamedThreadHolder <thread name>

#include <OS.h>

#include <signal.h>
#include <stdio.h>


static status_t
HoldUntilReleased(void*)
{
	sigset_t release;
	sigemptyset(&release);
	sigaddset(&release, SIGUSR1);
	int received = 0;
	sigwait(&release, &received);
	return 7;
}


int
main(int argc, char** argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: NamedThreadHolder <thread name>\n");
		return 2;
	}

	// Blocked before the spawn, so the thread inherits the mask and sigwait
	// receives the signal whichever thread it is sent to.
	sigset_t release;
	sigemptyset(&release);
	sigaddset(&release, SIGUSR1);
	pthread_sigmask(SIG_BLOCK, &release, nullptr);

	thread_id thread = spawn_thread(HoldUntilReleased, argv[1],
		B_NORMAL_PRIORITY, nullptr);
	if (thread < 0) {
		fprintf(stderr, "spawn_thread: %s\n", strerror_status(thread));
		return 1;
	}
	resume_thread(thread);
	status_t result = B_ERROR;
	wait_for_thread(thread, &result);
	return result == 7 ? 0 : 1;
}
