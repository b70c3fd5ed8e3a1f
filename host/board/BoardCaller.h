#pragma once

#include "Board.h"
#include "IdleClock.h"
#include "Login.h"
#include "PasswordChange.h"
#include "TimeLimit.h"

#include <String.h>

#include <memory>
#include <string>
#include <vector>


// One caller from the connection to the hang-up. While it logs in, its
// Login holds what it has given; once logged in, it has a name and stands
// in the front room or sits in the door. Private to the board's own files.
struct Board::Caller {
	enum class Place {
		kLoggingIn,
		kFrontRoom,
		kChangingPassword,	// in the front room, at its questions
		kInDoor,
	};

	// How the caller came: to log in; with its user's name for the door
	// alone (a bridge's); or vouched for by another board (an RLogin call),
	// straight into the door and back to that board when the session ends,
	// but free to resume after a dropped line as one who logged in is.
	enum class Arrival {
		kLogsIn,
		kForTheDoor,
		kVouched,
	};

	Caller(int32 id, Terminal* connection, bigtime_t now)
		:
		id(id),
		connection(connection),
		address(connection->Address()),
		idle(now)
	{
	}

	bool LoggedIn() const { return login == nullptr; }
	bool ForTheDoor() const { return arrival == Arrival::kForTheDoor; }
	// Whose call ends when the door's session does, with no front room.
	bool EndsWithTheSession() const { return arrival != Arrival::kLogsIn; }
	// A bridge's name is held for the door alone; another board's caller
	// takes a session over only from another call of the same board.
	bool MayTakeOverFrom(const Caller& previous) const
	{
		if (previous.ForTheDoor())
			return false;
		return arrival != Arrival::kVouched
			|| previous.arrival == Arrival::kVouched;
	}

	int32				id;
	Terminal*			connection;
	BString				address;
	Arrival				arrival = Arrival::kLogsIn;
	Place				place = Place::kLoggingIn;
	std::unique_ptr<Login> login;
	BString				name;
	IdleClock			idle;
	// What the caller's own board left them (a drop file's); no limit
	// unless the way in says so.
	TimeLimit			timeLimit;
	// A change of the caller's password under way in the front room.
	std::unique_ptr<PasswordChange> passwordChange;
	// The call in the board's log (0 for none), and how it ends unless the
	// board learns otherwise: a line that drops says nothing first.
	int64				call = 0;
	CallEnding			ending = CallEnding::kDropped;
	// The sysop's notices not yet shown, a line each.
	std::vector<std::string> notices;
	// When the caller last paged the sysop (0: never), and whether that
	// page still waits for the sysop.
	bigtime_t			pagedAt = 0;
	bool				paging = false;
	// The sysop chats with the caller: their keys go to the chat.
	bool				chatting = false;
};
