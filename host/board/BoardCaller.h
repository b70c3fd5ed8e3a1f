#pragma once

#include "Board.h"
#include "IdleClock.h"
#include "Login.h"

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
		kInDoor,
	};

	// How the caller came: to log in, or with its user's name for the door
	// alone (a bridge's), whose call ends with the session.
	enum class Arrival {
		kLogsIn,
		kForTheDoor,
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

	int32				id;
	Terminal*			connection;
	BString				address;
	Arrival				arrival = Arrival::kLogsIn;
	Place				place = Place::kLoggingIn;
	std::unique_ptr<Login> login;
	BString				name;
	IdleClock			idle;
	// The sysop's notices not yet shown, a line each.
	std::vector<std::string> notices;
};
