#include "VraskApp.h"

#include <stdio.h>


int
main()
{
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

	application.Run();
	return 0;
}
