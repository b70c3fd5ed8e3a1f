#include "VraskThread.h"

#include <Directory.h>
#include <Entry.h>
#include <String.h>
#include <ZenboUserName.h>

#include "Player.h"
#include "VraskPaths.h"


void
VraskThread::WallOfFame()
{
	// A record of its own: the wall only reads, and never touches the
	// session's character or saves anything.
	BDirectory users(kUsersFolder);
	BEntry entry;
	char fileName[B_FILE_NAME_LENGTH];
	BString userName;
	CPlayer record;

	SendString("\n  Welcome to The Wall of Fame\nName : level");
	users.Rewind();
	bool opened = users.InitCheck() == B_OK;
	if (!opened)
		SendString("The users list failed to initialize.");

	while (opened && users.GetNextEntry(&entry, false) == B_OK) {
		// Only a regular file that loads as a whole player file is a
		// character. A folder, a link, a foreign file or a file that its
		// owner's session is rewriting at this moment is passed over,
		// rather than shown with the values an earlier entry left in the
		// record.
		if (!entry.IsFile())
			continue;
		if (entry.GetName(fileName) != B_OK)
			continue;
		userName.SetTo(fileName);
		if (!record.LoadPlayer(userName))
			continue;

		SendString("\n");
		// Names stored before names were judged are shown harmless.
		SendString(PrintableUserName(record.GetName()));
		SendString(" : ");
		SendNumber(record.GetLevel());
	}
	SendString("\n");
	users.Unset();
}
