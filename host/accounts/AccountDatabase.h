#pragma once

#include "AccountFile.h"
#include "AccountStore.h"
#include "CallLog.h"

#include <String.h>

#include <map>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

#define kRecordsPath "/boot/home/Zenbo/records.sqlite"
// The accounts file of before, once taken over, is kept under its name
// with this after it.
#define kMigratedAccountsSuffix ".migrated"

// The board's records in one SQLite database of the host's own folder
// (kRecordsPath, beside where the accounts file lay): the accounts (name,
// hash, lock, first and last call, number of calls, time online) and the log
// of calls. The host opens it for writing, in WAL mode, so that the sysop's
// commands read it at the same time without the host; they open it to read
// alone. At the first start the accounts file of before is taken over and
// kept, renamed (kMigratedAccountsSuffix). Each change is one short
// transaction on prepared statements; WAL's commits are appends, so the
// looper that owns the database waits for no sync of the whole file, and
// only an account's change waits for the sync of its own append. A
// write the disk refuses fails that change alone: the host's log says so
// once, until a write succeeds again. Belongs to one thread (the host's
// looper, or a command's).
class AccountDatabase : public AccountStore, public CallLog {
public:
	enum class Access {
		kReadWrite,			// the host: made, brought up to date, written
		kReadOnly,			// the sysop's commands beside the host
	};

	explicit					AccountDatabase(
									const char* bootPath = kRecordsPath,
									const char* accountsFilePath
										= kAccountsPath);
								AccountDatabase(const AccountDatabase&)
									= delete;
			AccountDatabase&	operator=(const AccountDatabase&) = delete;
	virtual						~AccountDatabase();

	// Opens the database. For writing, it is made owner-only when missing,
	// its schema brought up to kSchemaVersion, the accounts file taken
	// over, and calls the host died under marked dropped. To read,
	// B_ENTRY_NOT_FOUND when there are no records yet. Another error with
	// a message for the sysop.
			status_t			Open(Access access, BString* problem);
			bool				IsOpen() const { return fDatabase != NULL; }
	// The schema's version as the file says (PRAGMA user_version).
			int32				SchemaVersion() const;
	static	const int32			kSchemaVersion;

	// AccountStore
	virtual	status_t			Find(const BString& name, BString* storedName,
									std::string* hash) const override;
	virtual	status_t			Add(const BString& name,
									const std::string& hash) override;
	virtual	status_t			SetHash(const BString& name,
									const std::string& hash,
									BString* storedName) override;
	// The sysop's lock; B_ENTRY_NOT_FOUND for a name nobody registered.
			status_t			SetLocked(const BString& name, bool locked,
									BString* storedName);

	// One account's record, for the sysop.
	struct Account {
		BString			name;
		bool			locked = false;
		time_t			firstCall = 0;		// 0 before the first
		time_t			lastCall = 0;
		int64			calls = 0;
		int64			secondsOnline = 0;
	};
			status_t			GetAccount(const BString& name,
									Account* account) const;

	// CallLog
	virtual	int64				CallStarted(const BString& name,
									const char* way,
									const BString& address) override;
	virtual	void				CallEnded(int64 call,
									CallEnding ending) override;
	virtual	std::vector<CallRecord> LastCalls(int32 count,
									const BString& name) const override;
	// The start of each name's last call, by the name's key.
			std::map<std::string, time_t> LastCallsByName() const;

private:
			status_t			_Migrate(BString* problem);
			status_t			_TakeOverAccountsFile(BString* problem);
			void				_MarkUnfinishedCallsDropped();
			sqlite3_stmt*		_Statement(const char* sql) const;
			// Runs a statement that changes records and says when the disk
			// refused it.
			status_t			_Change(sqlite3_stmt* statement,
									const char* what);
			status_t			_ChangeDurably(sqlite3_stmt* statement,
									const char* what);
			bool				_Execute(const char* sql, BString* problem);
			void				_WriteFailed(const char* what);

			BString				fBootPath;
			BString				fAccountsFilePath;
			sqlite3*			fDatabase = NULL;
			bool				fReadOnly = false;
			// Whether the log has said that writes fail; said once until
			// one succeeds again.
			bool				fWritesFailing = false;
			// Prepared once, by their text.
			mutable std::map<std::string, sqlite3_stmt*> fStatements;
};
