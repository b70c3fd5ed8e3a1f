#pragma once

#include <String.h>

// The boot volume as the door needs it: the door's folder with the data
// files (monsters, weapons, armor) and the users folder for player files.
// Everything works on the current boot volume (BOOT_VOLUME).

// The folder that holds this program.
BString ProgramFolder();

// The folder of data files to lay out: the installed copy beside the
// program (../share/drelmoor) or the source tree's data folder.
status_t FindDoorDataFolder(BString* folder);

// Creates the boot volume folder, the door's folders and every data file
// that is missing, copied from dataFolder. Never replaces a file that is
// there: player files and data files a sysop edited stay as they are.
// The report lists what was installed and what was kept, or names the data
// file that is missing.
status_t MakeBootVolume(const BString& dataFolder, BString* report);

// Whether the volume can serve the door; otherwise a message for the user
// that says what is missing and how to lay it out.
status_t CheckBootVolume(BString* problem);
