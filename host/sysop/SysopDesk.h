#pragma once

#include "SysopConnection.h"

#include <string>
#include <vector>

class AccountFile;
class Board;

// What the running host does for the sysop's commands (SysopProtocol.h):
// each request checked and carried out on the host's looper, against the
// board, the accounts and the player files, with an answer for the
// command. Slow work stays with the command: a new password is hashed
// there, and only its hash comes here.
class SysopDesk {
public:
								SysopDesk(Board& board, AccountFile& accounts);

			SysopConnection::Answer Handle(
									const std::vector<std::string>& words);

private:
			SysopConnection::Answer _Who();
			SysopConnection::Answer _Kick(const std::string& name);
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
			AccountFile&		fAccounts;
};

// The longest notice that zenbo say passes on: one line of a terminal.
const size_t kMaxSysopNoticeLength = 200;
