#pragma once

#include <Directory.h>
#include <String.h>

#include <time.h>

#include <vector>

class CPlayer;

// Every character of the current boot volume, read from the users folder
// the one way the game reads it: a regular file that loads as a whole
// player file is a character; a folder, a link, a foreign file or a file
// that its owner's session is rewriting at this moment is passed over. The
// Wall of Fame, the sysop's players table and the score bulletin all list
// the characters through it, so they never disagree on who is there. A
// listing only reads: it never touches a session's record or saves.
class CharacterListing {
public:
	// One character as the listings show it; the texts are printable, as
	// names stored before names were judged must be shown harmless.
	struct Character {
		BString				userName;		// the player file's name
		BString				name;			// the character's own
		int32				level = 0;
		int32				hp = 0;
		int32				maxHP = 0;
		int32				gold = 0;
		BString				weapon;
		BString				armor;
		time_t				lastPlayed = 0;	// the player file's last save
	};

	// What each character carries: the Wall of Fame shows names and levels
	// of thousands and has no use for the time of each file's last save.
	enum class Detail {
		kEverything,
		kWithoutLastPlayed,
	};

	explicit					CharacterListing(
									Detail detail = Detail::kEverything);
								CharacterListing(const CharacterListing&)
									= delete;
			CharacterListing&	operator=(const CharacterListing&) = delete;

			// B_ENTRY_NOT_FOUND when the volume has no users folder.
			status_t			InitCheck() const;

			// The next character in the folder's order; false once there
			// is none left.
			bool				GetNextCharacter(Character* character);

	// Every character, sorted by level (highest first), then by name.
	// B_ENTRY_NOT_FOUND when the volume has no users folder.
	[[nodiscard]] static status_t ReadAll(std::vector<Character>* characters);
	// The user name whose player file is there, found as callers type
	// names (without regard to case); B_ENTRY_NOT_FOUND when there is
	// none. Only the file's name is looked at, not its content: a file a
	// session is writing is still its user's.
	[[nodiscard]] static status_t FindUserName(const BString& name,
									BString* userName);

private:
			BDirectory			fUsers;
			status_t			fStatus = B_NO_INIT;
			const Detail		fDetail;
};
