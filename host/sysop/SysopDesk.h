#pragma once

#include "SysopConnection.h"

#include <string>
#include <vector>

#include <time.h>

class AccountDatabase;
class Board;

// What the running host does for the sysop's commands (SysopProtocol.h):
// each request checked and carried out on the host's looper, against the
// board, the accounts and the player files, with an answer for the
// command. Slow work stays with the command: a new password is hashed
// there, and only its hash comes here.
class SysopDesk {
public:
								SysopDesk(Board& board,
									AccountDatabase& accounts);

			SysopConnection::Answer Handle(
									const std::vector<std::string>& words,
									SysopConnection& connection);

private:
			SysopConnection::Answer _Who();
			SysopConnection::Answer _Kick(const std::string& name,
									const std::string& reason);
			SysopConnection::Answer _Status(bool json);
			SysopConnection::Answer _Spy(const std::string& name,
									SysopConnection& connection);
			SysopConnection::Answer _Chat(const std::string& name,
									SysopConnection& connection);
			SysopConnection::Answer _WaitForPage(
									SysopConnection& connection);
			void				_Follow(SysopConnection& connection,
									const char* ended);
			SysopConnection::Answer _Say(const std::string& text);
			SysopConnection::Answer _DeletePlayer(const std::string& name);
			SysopConnection::Answer _CreateAccount(const std::string& name,
									const std::string& hash);
			SysopConnection::Answer _SetPassword(const std::string& name,
									const std::string& hash);
			SysopConnection::Answer _SetLocked(const std::string& name,
									bool locked);
			bool				_LoadAccounts(std::string* problem);

			Board&				fBoard;
			AccountDatabase&	fAccounts;
			// For the uptime: the wall clock, as a sysop reads it.
			time_t				fStarted;
};

// The longest notice that zenbo say passes on, and the longest reason of
// zenbo kick that a caller is shown: one line of a terminal.
const size_t kMaxSysopNoticeLength = 200;
