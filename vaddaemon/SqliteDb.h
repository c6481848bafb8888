// SqliteDb, SqliteStatement, SqliteTransaction: a thin owner of one SQLite
// connection, its prepared statements and its transactions.
//
// SqliteDb owns the connection (closed by the destructor, or by Close, after
// which Open may be called again). Open creates the file when missing, sets
// the busy time-out, and reads the schema version (PRAGMA user_version) so
// that a file that is not a database fails at once rather than at the first
// query. LastError() is the text of the last failure on this connection
// (with the system's reason when SQLite names one), LastCode() its extended
// SQLite result code (SQLITE_OK before any failure).
//
// SqliteStatement uses one prepared statement of its connection. The
// connection keeps the statements it has prepared (up to kKeptStatements
// texts): a statement made again with the same SQL text takes a kept one,
// reset and with its bindings cleared, instead of parsing the text anew;
// the destructor hands it back (or finalizes it when the connection keeps
// enough). Binding indexes start at 1, column indexes at 0. Reading a
// column of another type converts as SQLite does; a NULL reads as 0 or the
// empty text. Step answers SQLITE_ROW, SQLITE_DONE or an error code.
//
// SqliteTransaction begins an immediate transaction; the destructor rolls
// it back unless Commit succeeded. Commit answers false (and the
// transaction stays open for the destructor to roll back) when SQLite
// refuses the commit.
//
// Threads: the callers guard a connection with their own mutex; nothing
// here locks. Nothing throws.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class SqliteDb {
 public:
  // Idle prepared statements kept per connection, at most.
  static constexpr size_t kKeptStatements = 64;

  SqliteDb() = default;
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  bool Open(const std::string& path, int busyTimeoutMs);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }
  // Runs one or more statements without results.
  bool Exec(const char* sql);
  sqlite3* Handle() const { return db_; }
  const std::string& LastError() const { return error_; }
  int LastCode() const { return code_; }
  // Whether the last failure says the file is not a database or is damaged
  // (SQLITE_NOTADB, SQLITE_CORRUPT), rather than that it cannot be used now
  // (permissions, I/O, locks).
  bool LastFailureIsDamage() const;
  void NoteError(const char* what);
  void RestoreError(std::string text, int code) {
    error_ = std::move(text);
    code_ = code;
  }

  // A prepared statement for `sql`: a kept one when there is one, else a
  // new one (null on failure, noted in LastError). Internal to
  // SqliteStatement, which hands it back with Keep.
  sqlite3_stmt* Take(const char* sql);
  // Resets `stmt` and keeps it for the next Take of the same text.
  void Keep(sqlite3_stmt* stmt);
  // Idle prepared statements held (for checks).
  size_t KeptCount() const { return kept_.size(); }

 private:
  sqlite3* db_ = nullptr;
  std::string error_;
  int code_ = SQLITE_OK;
  // Idle statements by SQL text.
  std::unordered_multimap<std::string, sqlite3_stmt*> kept_;
};

// False when the file at `path` holds bytes but does not begin with the
// header every SQLite database begins with: no database, whatever SQLite
// would make of it (it may first take a journal beside it for its own and
// play or drop it). True for anything else (a database, an empty file, a
// file that cannot be read: SQLite says why).
bool BeginsAsDatabase(const std::string& path);

class SqliteStatement {
 public:
  SqliteStatement(SqliteDb& db, const char* sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  bool Ok() const { return stmt_ != nullptr; }
  void BindInt(int index, int64_t value);
  void BindDouble(int index, double value);
  void BindText(int index, std::string_view text);
  void BindBlob(int index, std::span<const uint8_t> bytes);
  void BindNull(int index);
  // SQLITE_ROW, SQLITE_DONE or an error code (noted on the connection).
  int Step();
  // Step that expects SQLITE_DONE.
  bool Run() { return Step() == SQLITE_DONE; }

  int64_t Int(int column) const;
  double Double(int column) const;
  std::string Text(int column) const;
  std::vector<uint8_t> Blob(int column) const;
  bool IsNull(int column) const;

 private:
  SqliteDb& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class SqliteTransaction {
 public:
  explicit SqliteTransaction(SqliteDb& db);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;

  bool Begun() const { return begun_; }
  bool Commit();

 private:
  SqliteDb& db_;
  bool begun_ = false;
  bool done_ = false;
};
