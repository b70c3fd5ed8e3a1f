#include "AccountDatabase.h"

#include "HostLog.h"

#include <BootVolume.h>
#include <Errors.h>
#include <ZenboUserName.h>

#include <sqlite3.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>


// The host's looper waits no longer than this for a sysop's command that
// reads at the moment a checkpoint needs the file alone.
static const int kHostBusyMilliseconds = 200;
static const int kReaderBusyMilliseconds = 2000;


// #pragma mark - The schema, a step per version


namespace {

// Each step brings the schema from the version before it to its own; a
// database of an older host takes every step after its version, in one
// transaction each, so that a step cut short leaves the version before.
const char* const kSchemaSteps[] = {
	// 1: the accounts and the calls.
	"CREATE TABLE accounts ("
	"  key TEXT PRIMARY KEY NOT NULL,"
	"  name TEXT NOT NULL,"
	"  hash TEXT NOT NULL,"
	"  locked INTEGER NOT NULL DEFAULT 0,"
	"  first_call INTEGER,"
	"  last_call INTEGER,"
	"  calls INTEGER NOT NULL DEFAULT 0,"
	"  seconds_online INTEGER NOT NULL DEFAULT 0"
	") WITHOUT ROWID;"
	"CREATE TABLE calls ("
	"  id INTEGER PRIMARY KEY,"
	"  name TEXT NOT NULL,"
	"  key TEXT NOT NULL,"
	"  way TEXT NOT NULL,"
	"  address TEXT NOT NULL,"
	"  started INTEGER NOT NULL,"
	"  ended INTEGER,"
	"  ending TEXT"
	");"
	"CREATE INDEX calls_by_name ON calls (key, id);"
	"CREATE INDEX calls_unfinished ON calls (id) WHERE ending IS NULL;",
};


status_t
StatusFor(int result)
{
	switch (result & 0xff) {
		case SQLITE_OK:
		case SQLITE_DONE:
		case SQLITE_ROW:
			return B_OK;
		case SQLITE_NOMEM:
			return B_NO_MEMORY;
		case SQLITE_BUSY:
		case SQLITE_LOCKED:
			return B_BUSY;
		case SQLITE_READONLY:
		case SQLITE_PERM:
		case SQLITE_AUTH:
		case SQLITE_CANTOPEN:
			return B_PERMISSION_DENIED;
		case SQLITE_FULL:
			return B_NO_SPACE;
		case SQLITE_CONSTRAINT:
			return B_FILE_EXISTS;
		case SQLITE_CORRUPT:
		case SQLITE_NOTADB:
			return B_BAD_DATA;
		default:
			return B_IO_ERROR;
	}
}


// Resets the statement whatever way its run ends, so that it holds no
// read transaction open between two changes.
class StatementRun {
public:
	explicit StatementRun(sqlite3_stmt* statement)
		:
		fStatement(statement)
	{
	}
	~StatementRun()
	{
		if (fStatement != NULL) {
			sqlite3_reset(fStatement);
			sqlite3_clear_bindings(fStatement);
		}
	}
	StatementRun(const StatementRun&) = delete;
	StatementRun& operator=(const StatementRun&) = delete;

	int Step() { return fStatement != NULL ? sqlite3_step(fStatement)
		: SQLITE_MISUSE; }

private:
	sqlite3_stmt* fStatement;
};


void
BindText(sqlite3_stmt* statement, int index, const char* text, size_t size)
{
	sqlite3_bind_text(statement, index, text, (int)size, SQLITE_TRANSIENT);
}


void
BindText(sqlite3_stmt* statement, int index, const BString& text)
{
	BindText(statement, index, text.String(), (size_t)text.Length());
}


void
BindText(sqlite3_stmt* statement, int index, const std::string& text)
{
	BindText(statement, index, text.data(), text.size());
}


BString
ColumnText(sqlite3_stmt* statement, int column)
{
	const unsigned char* text = sqlite3_column_text(statement, column);
	int size = sqlite3_column_bytes(statement, column);
	return text != NULL ? BString((const char*)text, size) : BString();
}

std::string
EscapedForUri(const char* path)
{
	std::string escaped;
	for (const char* c = path; *c != '\0'; c++) {
		if (*c == '?' || *c == '#' || *c == '%') {
			char hex[4];
			snprintf(hex, sizeof(hex), "%%%02X", (unsigned char)*c);
			escaped += hex;
		} else
			escaped += *c;
	}
	return escaped;
}

}	// namespace


// The schema's version is the number of its steps.
const int32 AccountDatabase::kSchemaVersion
	= (int32)(sizeof(kSchemaSteps) / sizeof(kSchemaSteps[0]));


// #pragma mark - Opening


AccountDatabase::AccountDatabase(const char* bootPath,
	const char* accountsFilePath)
	:
	fBootPath(bootPath),
	fAccountsFilePath(accountsFilePath)
{
}


AccountDatabase::~AccountDatabase()
{
	for (auto& entry : fStatements)
		sqlite3_finalize(entry.second);
	if (fDatabase != NULL)
		sqlite3_close(fDatabase);
}


status_t
AccountDatabase::Open(Access access, BString* problem)
{
	if (fDatabase != NULL)
		return B_OK;
	fReadOnly = access == Access::kReadOnly;
	BString path;
	status_t status = resolve_boot_path(fBootPath.String(), &path);
	if (status != B_OK) {
		problem->SetTo("cannot find the board's records: ");
		*problem << strerror_status(status);
		return status;
	}

	struct stat info;
	if (fReadOnly && stat(path.String(), &info) != 0) {
		problem->SetTo("the board has no records yet (");
		*problem << path << " is made at the host's first start)";
		return B_ENTRY_NOT_FOUND;
	}
	if (!fReadOnly) {
		std::string folder(path.String());
		size_t slash = folder.rfind('/');
		if (slash != std::string::npos && slash > 0)
			create_directory(folder.substr(0, slash).c_str(), 0755);
		// Made owner-only before SQLite sees it: its journal and shared
		// memory files take the database's own permissions.
		int file = open(path.String(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
		if (file < 0 && errno != EACCES && errno != EROFS) {
			status = status_from_errno(errno);
			problem->SetTo("cannot make the board's records ");
			*problem << path << ": " << strerror_status(status);
			return status;
		}
		if (file >= 0) {
			// Records of an older host's making are owner-only from now.
			fchmod(file, 0600);
			close(file);
		}
	}

	int flags = (fReadOnly ? SQLITE_OPEN_READONLY
		: SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
	// A reader beside no host would make the log's files itself, owned by
	// whoever reads (root, for a sysop's sudo), and a host of another user
	// could not open them after. Without a log the records are whole in
	// their file, which is read as it is.
	BString log = path;
	log << "-wal";
	bool whole = fReadOnly && stat(log.String(), &info) != 0;
	std::string uri = "file:" + EscapedForUri(path.String())
		+ (whole ? "?immutable=1" : "");
	int result = sqlite3_open_v2(uri.c_str(), &fDatabase, flags, NULL);
	if (result != SQLITE_OK) {
		problem->SetTo("cannot open the board's records ");
		*problem << path << ": " << (fDatabase != NULL
			? sqlite3_errmsg(fDatabase) : sqlite3_errstr(result));
		sqlite3_close(fDatabase);
		fDatabase = NULL;
		return StatusFor(result);
	}
	sqlite3_busy_timeout(fDatabase, fReadOnly ? kReaderBusyMilliseconds
		: kHostBusyMilliseconds);
	sqlite3_extended_result_codes(fDatabase, 1);

	// Reading the version is the first read: a file that is no database
	// fails here.
	int32 version = SchemaVersion();
	if (version < 0) {
		problem->SetTo("the board's records ");
		*problem << path << " cannot be read: "
			<< sqlite3_errmsg(fDatabase);
		sqlite3_close(fDatabase);
		fDatabase = NULL;
		return B_BAD_DATA;
	}
	if (version > kSchemaVersion) {
		problem->SetTo("the board's records ");
		*problem << path << " are of a newer host (schema version "
			<< version << "; this one knows up to " << kSchemaVersion << ")";
		sqlite3_close(fDatabase);
		fDatabase = NULL;
		return B_NOT_SUPPORTED;
	}
	if (fReadOnly) {
		if (version < kSchemaVersion) {
			problem->SetTo("the board's records ");
			*problem << path << " are of an older host; start the host"
				" once to bring them up to date";
			sqlite3_close(fDatabase);
			fDatabase = NULL;
			return B_NOT_SUPPORTED;
		}
		return B_OK;
	}

	// WAL: the sysop's commands read while the host writes, and a commit
	// appends without syncing the whole file; NORMAL syncs at checkpoints,
	// which keeps the records whole through a crash of the host.
	if (!_Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
			" PRAGMA foreign_keys=ON;", problem)
		|| (status = _Migrate(problem)) != B_OK
		|| (status = _TakeOverAccountsFile(problem)) != B_OK) {
		if (status == B_OK)
			status = B_IO_ERROR;
		for (auto& entry : fStatements)
			sqlite3_finalize(entry.second);
		fStatements.clear();
		sqlite3_close(fDatabase);
		fDatabase = NULL;
		return status;
	}
	if (sqlite3_db_readonly(fDatabase, "main") == 1) {
		fWritesFailing = true;
		HostLog("the board's records %s can only be read: no call, new"
			" account or password is kept until the host can write them",
			path.String());
	}
	_MarkUnfinishedCallsDropped();
	return B_OK;
}


int32
AccountDatabase::SchemaVersion() const
{
	if (fDatabase == NULL)
		return -1;
	sqlite3_stmt* statement = NULL;
	if (sqlite3_prepare_v2(fDatabase, "PRAGMA user_version", -1, &statement,
			NULL) != SQLITE_OK) {
		return -1;
	}
	int32 version = -1;
	if (sqlite3_step(statement) == SQLITE_ROW)
		version = (int32)sqlite3_column_int(statement, 0);
	sqlite3_finalize(statement);
	return version;
}


status_t
AccountDatabase::_Migrate(BString* problem)
{
	int32 version = SchemaVersion();
	for (int32 step = version; step < kSchemaVersion; step++) {
		BString sql("BEGIN IMMEDIATE; ");
		sql << kSchemaSteps[step] << " PRAGMA user_version = " << step + 1
			<< "; COMMIT;";
		if (!_Execute(sql.String(), problem)) {
			sqlite3_exec(fDatabase, "ROLLBACK", NULL, NULL, NULL);
			BString what("cannot bring the board's records to version ");
			what << step + 1 << ": " << *problem;
			*problem = what;
			return B_IO_ERROR;
		}
		if (step > 0 || version > 0)
			HostLog("the board's records are now of version %d",
				(int)(step + 1));
	}
	return B_OK;
}


// The accounts file of a host before the records is taken over whole, in
// one transaction, and only then renamed: a crash on the way leaves the
// file in place to be taken over again, and an account already in the
// records (a password changed since) is never overwritten by the file's.
status_t
AccountDatabase::_TakeOverAccountsFile(BString* problem)
{
	BString filePath;
	if (resolve_boot_path(fAccountsFilePath.String(), &filePath) != B_OK)
		return B_OK;
	struct stat info;
	if (stat(filePath.String(), &info) != 0)
		return B_OK;
	AccountFile file(fAccountsFilePath.String());
	status_t status = file.Load(problem);
	if (status != B_OK)
		return status;

	if (!_Execute("BEGIN IMMEDIATE", problem))
		return B_IO_ERROR;
	sqlite3_stmt* insert = _Statement("INSERT OR IGNORE INTO accounts"
		" (key, name, hash, locked) VALUES (?1, ?2, ?3, ?4)");
	int32 count = 0;
	for (auto& account : file.Accounts()) {
		bool locked = IsLockedAccountHash(account.second);
		StatementRun run(insert);
		BindText(insert, 1, NameKey(account.first));
		BindText(insert, 2, account.first);
		BindText(insert, 3, locked ? account.second.substr(1)
			: account.second);
		sqlite3_bind_int(insert, 4, locked ? 1 : 0);
		if (run.Step() != SQLITE_DONE) {
			problem->SetTo("cannot take over the accounts file: ");
			*problem << sqlite3_errmsg(fDatabase);
			sqlite3_exec(fDatabase, "ROLLBACK", NULL, NULL, NULL);
			return B_IO_ERROR;
		}
		count++;
	}
	if (!_Execute("COMMIT", problem)) {
		sqlite3_exec(fDatabase, "ROLLBACK", NULL, NULL, NULL);
		return B_IO_ERROR;
	}

	BString kept = filePath;
	kept << kMigratedAccountsSuffix;
	if (rename(filePath.String(), kept.String()) != 0) {
		status = status_from_errno(errno);
		problem->SetTo("took over the accounts file but cannot rename it"
			" to ");
		*problem << kept << ": " << strerror_status(status);
		return status;
	}
	HostLog("took over %d accounts from %s; the file is kept as %s",
		(int)count, filePath.String(), kept.String());
	return B_OK;
}


void
AccountDatabase::_MarkUnfinishedCallsDropped()
{
	sqlite3_stmt* statement = _Statement("UPDATE calls SET ending = ?1"
		" WHERE ending IS NULL");
	if (statement == NULL)
		return;
	StatementRun run(statement);
	sqlite3_bind_text(statement, 1, CallEndingName(CallEnding::kDropped), -1,
		SQLITE_STATIC);
	if (_Change(statement, "mark the calls of before as dropped") == B_OK
		&& sqlite3_changes(fDatabase) > 0) {
		HostLog("%d calls had not ended when the host stopped; they are"
			" logged as dropped", sqlite3_changes(fDatabase));
	}
}


// #pragma mark - Accounts


status_t
AccountDatabase::Find(const BString& name, BString* storedName,
	std::string* hash) const
{
	sqlite3_stmt* statement = _Statement("SELECT name, hash, locked FROM"
		" accounts WHERE key = ?1");
	if (statement == NULL)
		return B_NO_INIT;
	StatementRun run(statement);
	BindText(statement, 1, NameKey(name));
	int result = run.Step();
	if (result == SQLITE_DONE)
		return B_ENTRY_NOT_FOUND;
	if (result != SQLITE_ROW)
		return StatusFor(result);
	*storedName = ColumnText(statement, 0);
	BString stored = ColumnText(statement, 1);
	hash->assign(stored.String(), (size_t)stored.Length());
	if (sqlite3_column_int(statement, 2) != 0)
		hash->insert(0, 1, kLockedAccountMark);
	return B_OK;
}


status_t
AccountDatabase::Add(const BString& name, const std::string& hash)
{
	sqlite3_stmt* statement = _Statement("INSERT INTO accounts (key, name,"
		" hash, locked) VALUES (?1, ?2, ?3, ?4)");
	if (statement == NULL)
		return B_NO_INIT;
	bool locked = IsLockedAccountHash(hash);
	StatementRun run(statement);
	BindText(statement, 1, NameKey(name));
	BindText(statement, 2, name);
	BindText(statement, 3, locked ? hash.substr(1) : hash);
	sqlite3_bind_int(statement, 4, locked ? 1 : 0);
	// A name taken meanwhile breaks the key's uniqueness: B_FILE_EXISTS.
	return _ChangeDurably(statement, "keep a new account");
}


status_t
AccountDatabase::SetHash(const BString& name, const std::string& hash,
	BString* storedName)
{
	Account account;
	status_t status = GetAccount(name, &account);
	if (status != B_OK)
		return status;
	*storedName = account.name;
	sqlite3_stmt* statement = _Statement("UPDATE accounts SET hash = ?2"
		" WHERE key = ?1");
	if (statement == NULL)
		return B_NO_INIT;
	StatementRun run(statement);
	BindText(statement, 1, NameKey(name));
	BindText(statement, 2, hash);
	return _ChangeDurably(statement, "keep a new password");
}


status_t
AccountDatabase::SetLocked(const BString& name, bool locked,
	BString* storedName)
{
	Account account;
	status_t status = GetAccount(name, &account);
	if (status != B_OK)
		return status;
	*storedName = account.name;
	if (account.locked == locked)
		return B_OK;
	sqlite3_stmt* statement = _Statement("UPDATE accounts SET locked = ?2"
		" WHERE key = ?1");
	if (statement == NULL)
		return B_NO_INIT;
	StatementRun run(statement);
	BindText(statement, 1, NameKey(name));
	sqlite3_bind_int(statement, 2, locked ? 1 : 0);
	return _ChangeDurably(statement, "keep an account's lock");
}


status_t
AccountDatabase::GetAccount(const BString& name, Account* account) const
{
	sqlite3_stmt* statement = _Statement("SELECT name, locked,"
		" COALESCE(first_call, 0), COALESCE(last_call, 0), calls,"
		" seconds_online FROM accounts WHERE key = ?1");
	if (statement == NULL)
		return B_NO_INIT;
	StatementRun run(statement);
	BindText(statement, 1, NameKey(name));
	int result = run.Step();
	if (result == SQLITE_DONE)
		return B_ENTRY_NOT_FOUND;
	if (result != SQLITE_ROW)
		return StatusFor(result);
	account->name = ColumnText(statement, 0);
	account->locked = sqlite3_column_int(statement, 1) != 0;
	account->firstCall = (time_t)sqlite3_column_int64(statement, 2);
	account->lastCall = (time_t)sqlite3_column_int64(statement, 3);
	account->calls = sqlite3_column_int64(statement, 4);
	account->secondsOnline = sqlite3_column_int64(statement, 5);
	return B_OK;
}


// #pragma mark - Calls


int64
AccountDatabase::CallStarted(const BString& name, const char* way,
	const BString& address)
{
	sqlite3_stmt* insert = _Statement("INSERT INTO calls (name, key, way,"
		" address, started) VALUES (?1, ?2, ?3, ?4, ?5)");
	sqlite3_stmt* account = _Statement("UPDATE accounts SET calls = calls"
		" + 1, last_call = ?2, first_call = COALESCE(first_call, ?2)"
		" WHERE key = ?1");
	sqlite3_stmt* begin = _Statement("BEGIN IMMEDIATE");
	sqlite3_stmt* commit = _Statement("COMMIT");
	if (insert == NULL || account == NULL || begin == NULL || commit == NULL)
		return 0;
	time_t now = time(NULL);
	std::string key = NameKey(name);
	if (_Change(begin, "log a call") != B_OK)
		return 0;
	int64 call = 0;
	{
		StatementRun run(insert);
		BindText(insert, 1, name);
		BindText(insert, 2, key);
		sqlite3_bind_text(insert, 3, way, -1, SQLITE_TRANSIENT);
		BindText(insert, 4, address);
		sqlite3_bind_int64(insert, 5, (sqlite3_int64)now);
		if (_Change(insert, "log a call") == B_OK)
			call = sqlite3_last_insert_rowid(fDatabase);
	}
	if (call != 0) {
		StatementRun run(account);
		BindText(account, 1, key);
		sqlite3_bind_int64(account, 2, (sqlite3_int64)now);
		if (_Change(account, "count a call") != B_OK)
			call = 0;
	}
	if (call == 0 || _Change(commit, "log a call") != B_OK) {
		sqlite3_exec(fDatabase, "ROLLBACK", NULL, NULL, NULL);
		return 0;
	}
	return call;
}


void
AccountDatabase::CallEnded(int64 call, CallEnding ending)
{
	if (call <= 0)
		return;
	sqlite3_stmt* end = _Statement("UPDATE calls SET ended = ?2, ending = ?3"
		" WHERE id = ?1 AND ending IS NULL");
	sqlite3_stmt* account = _Statement("UPDATE accounts SET seconds_online"
		" = seconds_online + MAX(0, ?2 - (SELECT started FROM calls WHERE"
		" id = ?1)) WHERE key = (SELECT key FROM calls WHERE id = ?1)");
	sqlite3_stmt* begin = _Statement("BEGIN IMMEDIATE");
	sqlite3_stmt* commit = _Statement("COMMIT");
	if (end == NULL || account == NULL || begin == NULL || commit == NULL)
		return;
	time_t now = time(NULL);
	if (_Change(begin, "log a call's end") != B_OK)
		return;
	status_t status;
	{
		StatementRun run(end);
		sqlite3_bind_int64(end, 1, call);
		sqlite3_bind_int64(end, 2, (sqlite3_int64)now);
		sqlite3_bind_text(end, 3, CallEndingName(ending), -1, SQLITE_STATIC);
		status = _Change(end, "log a call's end");
	}
	if (status == B_OK && sqlite3_changes(fDatabase) > 0) {
		StatementRun run(account);
		sqlite3_bind_int64(account, 1, call);
		sqlite3_bind_int64(account, 2, (sqlite3_int64)now);
		status = _Change(account, "count a call's time");
	}
	if (status != B_OK || _Change(commit, "log a call's end") != B_OK)
		sqlite3_exec(fDatabase, "ROLLBACK", NULL, NULL, NULL);
}


std::vector<CallRecord>
AccountDatabase::LastCalls(int32 count, const BString& name) const
{
	std::vector<CallRecord> calls;
	bool byName = name.Length() > 0;
	sqlite3_stmt* statement = _Statement(byName
		? "SELECT id, name, way, address, started, COALESCE(ended, 0),"
			" ending FROM calls WHERE key = ?2 ORDER BY id DESC LIMIT ?1"
		: "SELECT id, name, way, address, started, COALESCE(ended, 0),"
			" ending FROM calls ORDER BY id DESC LIMIT ?1");
	if (statement == NULL || count <= 0)
		return calls;
	StatementRun run(statement);
	sqlite3_bind_int(statement, 1, count);
	if (byName)
		BindText(statement, 2, NameKey(name));
	while (run.Step() == SQLITE_ROW) {
		CallRecord record;
		record.id = sqlite3_column_int64(statement, 0);
		record.name = ColumnText(statement, 1);
		record.way = ColumnText(statement, 2);
		record.address = ColumnText(statement, 3);
		record.start = (time_t)sqlite3_column_int64(statement, 4);
		record.end = (time_t)sqlite3_column_int64(statement, 5);
		BString ending = ColumnText(statement, 6);
		record.ended = ending.Length() > 0
			&& CallEndingFromName(ending.String(), &record.ending);
		calls.push_back(record);
	}
	return calls;
}


std::map<std::string, time_t>
AccountDatabase::LastCallsByName() const
{
	std::map<std::string, time_t> last;
	sqlite3_stmt* statement = _Statement("SELECT key, MAX(started) FROM calls"
		" GROUP BY key");
	if (statement == NULL)
		return last;
	StatementRun run(statement);
	while (run.Step() == SQLITE_ROW) {
		BString key = ColumnText(statement, 0);
		last[key.String()] = (time_t)sqlite3_column_int64(statement, 1);
	}
	return last;
}


// #pragma mark - Private


sqlite3_stmt*
AccountDatabase::_Statement(const char* sql) const
{
	if (fDatabase == NULL)
		return NULL;
	auto found = fStatements.find(sql);
	if (found != fStatements.end())
		return found->second;
	sqlite3_stmt* statement = NULL;
	if (sqlite3_prepare_v3(fDatabase, sql, -1, SQLITE_PREPARE_PERSISTENT,
			&statement, NULL) != SQLITE_OK) {
		HostLog("the board's records cannot prepare a statement: %s",
			sqlite3_errmsg(fDatabase));
		return NULL;
	}
	fStatements[sql] = statement;
	return statement;
}


status_t
AccountDatabase::_Change(sqlite3_stmt* statement, const char* what)
{
	int result = sqlite3_step(statement);
	if (result == SQLITE_DONE || result == SQLITE_ROW) {
		if (fWritesFailing) {
			fWritesFailing = false;
			HostLog("the board's records are written again");
		}
		// A statement run alone (BEGIN, COMMIT) ends its own run here.
		sqlite3_reset(statement);
		return B_OK;
	}
	status_t status = StatusFor(result);
	if ((result & 0xff) != SQLITE_CONSTRAINT)
		_WriteFailed(what);
	sqlite3_reset(statement);
	return status;
}


// An account's change reaches the disk before the caller hears it is kept:
// a calls' commit may wait for the next checkpoint's sync, a new password
// may not, or a power cut could give the old one back.
status_t
AccountDatabase::_ChangeDurably(sqlite3_stmt* statement, const char* what)
{
	sqlite3_exec(fDatabase, "PRAGMA synchronous=FULL", NULL, NULL, NULL);
	status_t status = _Change(statement, what);
	sqlite3_exec(fDatabase, "PRAGMA synchronous=NORMAL", NULL, NULL, NULL);
	return status;
}


bool
AccountDatabase::_Execute(const char* sql, BString* problem)
{
	char* message = NULL;
	if (sqlite3_exec(fDatabase, sql, NULL, NULL, &message) == SQLITE_OK)
		return true;
	problem->SetTo(message != NULL ? message : sqlite3_errmsg(fDatabase));
	sqlite3_free(message);
	return false;
}


void
AccountDatabase::_WriteFailed(const char* what)
{
	if (fWritesFailing)
		return;
	fWritesFailing = true;
	HostLog("cannot %s in the board's records: %s (the board goes on; this"
		" is said once until a write succeeds)", what,
		sqlite3_errmsg(fDatabase));
}
