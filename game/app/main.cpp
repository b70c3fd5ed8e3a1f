#include "VraskApp.h"


int
main()
{
	BString signature(kVraskSignature);
	BString threadSuffix(kVraskThreadSuffix);

	VraskApp application(signature, threadSuffix);
	application.Run();
	return 0;
}
