// Plays whole sessions of the door's game with arbitrary keys, against a
// volume whose player files and data files are arbitrary too: a real
// session, in this process, against a host that types the keys. An input
// is the clock (four bytes, the seconds since 1970 that the session reads
// for its day and its draws), then up to five sections ended by a 0xff
// byte each: the player's file, another player's file, the monsters, the
// weapons and the armor files; whatever follows is the keys. A section
// the input does not reach is the shipped data file (or no player file);
// an empty one is no file at all. Nothing may crash, hang or leak; every
// session ends once its keys are typed; and the player file it leaves is
// the one it found or a whole record.
#include "Player.h"
#include "VraskPaths.h"

#include <File.h>
#include <OS.h>

#include <FuzzHost.h>
#include <FuzzVolume.h>

#include <array>
#include <fstream>
#include <iterator>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>


static const char* const kUser = "Fuzz";
// Enough for a new player, fights, both shops and the wall of fame; few
// enough that one input ends in a moment.
static const size_t kMaxKeys = 384;
static const uint8_t kSectionEnd = 0xff;

enum {
	kPlayerSection,
	kRivalSection,
	kMonstersSection,
	kWeaponsSection,
	kArmorSection,
	kSectionCount
};

static const char* const kSectionFiles[kSectionCount] = {
	kUsersFolder "Fuzz",
	kUsersFolder "Rival",
	kMonstersFile,
	kWeaponsFile,
	kArmorFile,
};

static FuzzHost* sHost = nullptr;
static uint32 sClock = 0;
static std::string sShipped[kSectionCount];


// The game's clock, for the session's day and the seed of its draws: the
// input's, so that an input plays the same way every time it is run.
extern "C" uint32
__wrap__Z15real_time_clockv()
{
	return sClock;
}


static std::string
ShippedData(const char* name)
{
	std::string path = std::string(DRELMOOR_SOURCE_DIR "/data/") + name;
	std::ifstream file(path, std::ios::binary);
	if (!file) {
		fprintf(stderr, "DoorSessionFuzzer: cannot read %s\n", path.c_str());
		abort();
	}
	return std::string(std::istreambuf_iterator<char>(file),
		std::istreambuf_iterator<char>());
}


static bool
ReadBack(const char* bootPath, std::string* content)
{
	BFile file(bootPath, B_READ_ONLY);
	if (file.InitCheck() != B_OK)
		return false;
	content->clear();
	char buffer[4096];
	ssize_t bytesRead;
	while ((bytesRead = file.Read(buffer, sizeof(buffer))) > 0)
		content->append(buffer, size_t(bytesRead));
	return true;
}


extern "C" int
LLVMFuzzerInitialize(int*, char***)
{
	FuzzVolume::Prepare();
	sShipped[kMonstersSection] = ShippedData("monsters");
	sShipped[kWeaponsSection] = ShippedData("weapons");
	sShipped[kArmorSection] = ShippedData("armor");
	sHost = FuzzHost::Start("DoorSessionFuzzer");
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 4)
		return 0;
	sClock = (uint32(data[0]) << 24) | (uint32(data[1]) << 16)
		| (uint32(data[2]) << 8) | uint32(data[3]);
	const uint8_t* next = data + 4;
	const uint8_t* end = data + size;

	// Nothing of the last input's volume is left: its players, its saves
	// and its data files.
	FuzzVolume::Remove(kVraskFolder);
	FuzzVolume::MakeFolder(kUsersFolder);

	std::array<bool, kSectionCount> written = {};
	std::string found;
	for (int section = 0; section < kSectionCount; section++) {
		const uint8_t* stop = next < end
			? static_cast<const uint8_t*>(memchr(next, kSectionEnd,
				size_t(end - next)))
			: nullptr;
		const void* bytes;
		size_t length;
		if (stop != nullptr) {
			bytes = next;
			length = size_t(stop - next);
			next = stop + 1;
		} else {
			bytes = sShipped[section].data();
			length = sShipped[section].size();
			next = end;
		}
		if (length == 0)
			continue;
		FuzzVolume::WriteFile(kSectionFiles[section], bytes, length);
		written[section] = true;
		if (section == kPlayerSection)
			found.assign(static_cast<const char*>(bytes), length);
	}
	size_t keyCount = size_t(end - next);
	if (keyCount > kMaxKeys)
		keyCount = kMaxKeys;
	sHost->PlayGame(kUser, std::string(reinterpret_cast<const char*>(next),
		keyCount));

	// The session keeps no key past the ones typed: it asks once more at
	// most, to learn that the user is gone, and then ends.
	if (sHost->KeysAsked() > keyCount + 1) {
		fprintf(stderr, "DoorSessionFuzzer: %zu keys asked of %zu typed\n",
			sHost->KeysAsked(), keyCount);
		abort();
	}
	// What the session leaves is the record it found or a whole record,
	// and no temporary file of a save.
	std::string left;
	if (ReadBack(kSectionFiles[kPlayerSection], &left)
		&& !(written[kPlayerSection] && left == found)) {
		CPlayer player;
		if (!player.LoadPlayer(kUser)) {
			fprintf(stderr, "DoorSessionFuzzer: the session left a player "
				"file that does not load\n");
			abort();
		}
	}
	if (FuzzVolume::CountEntries(kVraskFolder ".saving/") != 0) {
		fprintf(stderr, "DoorSessionFuzzer: a save left its temporary "
			"file\n");
		abort();
	}
	return 0;
}
