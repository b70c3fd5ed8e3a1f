#include "Player.h"
#include "VraskApp.h"

#include <stdio.h>
#include <string.h>


static const char* kUsage =
	"Usage: Drelmoor\n"
	"The Drelmoor door program. It takes no options: the board's host\n"
	"(zenbo) starts it when a user enters the door, and it ends when the\n"
	"last user has left. Its data lives on the boot volume (BOOT_VOLUME),\n"
	"under /boot/home/Zenbo/doors/vrask/.\n";


int
main(int argc, char** argv)
{
	// The door has no configuration; a sysop who asks is told how it runs,
	// and anything else on the command line is a mistake worth naming.
	if (argc > 1) {
		bool askedForHelp = strcmp(argv[1], "--help") == 0
			|| strcmp(argv[1], "-h") == 0;
		fputs(kUsage, askedForHelp ? stdout : stderr);
		return askedForHelp ? 0 : 2;
	}

	BString signature(kVraskSignature);
	BString threadSuffix(kVraskThreadSuffix);

	VraskApp application(signature, threadSuffix);

	// Another door of the same signature already serves this boot volume;
	// Zenbo's users reach that one, and this one must not pretend to run.
	status_t status = application.InitCheck();
	if (status != B_OK) {
		fprintf(stderr, "Drelmoor: cannot run as %s: %s\n", kVraskSignature,
			strerror_status(status));
		return 1;
	}

	// This door alone writes player files on this volume now, so a save
	// left half done by a door before it can only be clutter.
	CPlayer::ClearUnfinishedSaves();

	application.Run();
	return 0;
}
