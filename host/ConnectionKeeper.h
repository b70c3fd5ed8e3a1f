#pragma once

#include <memory>

class Connection;

// Who keeps the board's connections of a way in that makes them itself
// (SSH, the web terminal): it takes each new one, and deletes one that
// ended only after the event that ended it, never under its own call.
class ConnectionKeeper {
public:
	virtual						~ConnectionKeeper() = default;

	virtual	void				KeepConnection(
									std::unique_ptr<Connection> connection)
									= 0;
	virtual	void				ConnectionEnded(Connection* connection) = 0;
};
