#pragma once

#include <SupportDefs.h>

#include <map>
#include <memory>
#include <vector>

// The host's connections of every way in (terminals of every kind and the
// sysop's commands), kept in one place. A connection ends once, from
// within a call of its own, so the registry only forgets it then and
// deletes it after the event that ended it, when no handler holds it any
// more. It lives on the looper's thread.
class ConnectionRegistry {
public:
	// Whether a connection keeps a host started by a bridge alive: a
	// caller's terminal does, a passing sysop's command does not.
	enum class Role {
		kTerminal,
		kCommand,
	};

								ConnectionRegistry() = default;
								ConnectionRegistry(const ConnectionRegistry&)
									= delete;
			ConnectionRegistry&	operator=(const ConnectionRegistry&)
									= delete;

	// Keeps the connection; returns it for its start.
	template<typename Connection>
			Connection*			Add(std::unique_ptr<Connection> connection,
									Role role = Role::kTerminal)
								{
									Connection* added = connection.get();
									fLive[added] = Entry{
										std::shared_ptr<void>(
											std::move(connection)),
										role};
									return added;
								}

	// The connection has ended: it goes at the next DeleteEnded. False
	// when it was not kept here (or has ended before).
			bool				End(const void* connection);
	// After the event: deletes what ended during it.
			void				DeleteEnded() { fEnded.clear(); }
	// Deletes every connection, live or ended, telling nobody.
			void				Clear();

			bool				HasEnded() const { return !fEnded.empty(); }
			bool				HasTerminals() const;

private:
	struct Entry {
		// Type-erased, with the deleter of the connection's own type.
		std::shared_ptr<void> connection;
		Role				role;
	};

			std::map<const void*, Entry> fLive;
			std::vector<std::shared_ptr<void>> fEnded;
};
