#pragma once

#include <SupportDefs.h>

#include "Location.h"

// The commands of each place, in the order its menu lists them: the one
// table that the prompt's completion, the dispatch and the menus all read,
// so that a command is added or changed in one line.

// What a command does; the session carries it out.
enum class CommandAction {
	kGoToTown,
	kGoToCaves,
	kGoToBlacksmith,
	kGoToHealers,
	kWallOfFame,
	kStatus,
	kQuit,
	kFight,
	kGoUp,
	kGoDown,
	kBuyWeapon,
	kBuyArmor,
	kHealOne,
	kHealAll,
};


struct Command {
			// The upper-case key; CommandOf folds the typed one.
			char				key;
			// Completes the echoed key into the command's word; a text that
			// starts with a backspace overwrites the echo.
			const char*			completion;
			const char*			menuLine;
			CommandAction		action;
			// On this cave level (0: none) the command leads nowhere: the
			// menu leaves it out and the prompt completes it with
			// `blockedCompletion` instead.
			int32				blockedOnCaveLevel = 0;
			const char*			blockedCompletion = NULL;

			bool				IsBlocked(int32 caveLevel) const
								{
									return blockedOnCaveLevel != 0
										&& caveLevel == blockedOnCaveLevel;
								}
};


struct PlaceCommands {
			// The menu's first line, or NULL for a menu without one.
			const char*			menuHeading;
			const Command*		commands;
			int32				count;

			// The command of the key, or NULL for a key that selects none.
			const Command*		Find(char key) const;
};


// The commands of a place; NULL for no place, where nothing works.
const PlaceCommands* CommandsAt(Location location);
