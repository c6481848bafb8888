// SqliteDb, SqliteStatement, SqliteTransaction (see SqliteDb.h).
#include "vaddaemon/SqliteDb.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

SqliteDb::~SqliteDb() {
  Close();
}

void SqliteDb::Close() {
  for (auto& [sql, stmt] : kept_) sqlite3_finalize(stmt);
  kept_.clear();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

sqlite3_stmt* SqliteDb::Take(const char* sql) {
  auto found = kept_.find(sql);
  if (found != kept_.end()) {
    sqlite3_stmt* stmt = found->second;
    kept_.erase(found);
    return stmt;
  }
  sqlite3_stmt* stmt = nullptr;
  if (!db_ || sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
    NoteError("cannot prepare a statement");
    sqlite3_finalize(stmt);
    return nullptr;
  }
  return stmt;
}

void SqliteDb::Keep(sqlite3_stmt* stmt) {
  if (stmt == nullptr) return;
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  if (kept_.size() >= kKeptStatements) {
    sqlite3_finalize(stmt);
    return;
  }
  kept_.emplace(sqlite3_sql(stmt), stmt);
}

void SqliteDb::NoteError(const char* what) {
  error_ = what;
  code_ = db_ ? sqlite3_extended_errcode(db_) : SQLITE_MISUSE;
  if (!db_) return;
  error_ += ": ";
  error_ += sqlite3_errmsg(db_);
}

bool SqliteDb::Open(const std::string& path, int busyTimeoutMs) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  const int opened = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (opened == SQLITE_OK) {
    sqlite3_busy_timeout(db_, busyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
  }
  // Touch the file's header now: a file that is not a database fails here.
  if (opened == SQLITE_OK && Exec("PRAGMA user_version;")) return true;
  if (opened != SQLITE_OK) NoteError("cannot open the index");
  if (LastFailureIsDamage()) {
    error_ = "the index is not a readable database (" + error_ + ")";
  } else {
    if (opened == SQLITE_OK) error_ = "cannot open the index: " + error_;
    // "unable to open database file" alone does not say why.
    const int system = db_ ? sqlite3_system_errno(db_) : 0;
    if (system != 0) error_ += std::string(" (") + std::strerror(system) + ")";
  }
  sqlite3_close_v2(db_);
  db_ = nullptr;
  return false;
}

bool SqliteDb::LastFailureIsDamage() const {
  const int primary = code_ & 0xff;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool SqliteDb::Exec(const char* sql) {
  char* message = nullptr;
  code_ = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  if (code_ == SQLITE_OK) return true;
  error_ = message ? message : "unknown SQLite error";
  sqlite3_free(message);
  return false;
}

bool BeginsAsDatabase(const std::string& path) {
  static const char kHeader[] = "SQLite format 3";  // and its NUL: 16 bytes
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return true;
  char bytes[sizeof kHeader] = {};
  const ssize_t n = ::read(fd, bytes, sizeof bytes);
  ::close(fd);
  if (n <= 0) return true;
  return size_t(n) == sizeof kHeader && std::memcmp(bytes, kHeader, sizeof kHeader) == 0;
}

SqliteStatement::SqliteStatement(SqliteDb& db, const char* sql) : db_(db), stmt_(db.Take(sql)) {}

SqliteStatement::~SqliteStatement() {
  db_.Keep(stmt_);
}

void SqliteStatement::BindInt(int index, int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
}

void SqliteStatement::BindDouble(int index, double value) {
  sqlite3_bind_double(stmt_, index, value);
}

void SqliteStatement::BindText(int index, std::string_view text) {
  sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void SqliteStatement::BindBlob(int index, std::span<const uint8_t> bytes) {
  // A zero-length blob is bound as an empty blob, never as NULL.
  static const uint8_t kNothing = 0;
  const void* data = bytes.empty() ? &kNothing : bytes.data();
  sqlite3_bind_blob64(stmt_, index, data, bytes.size(), SQLITE_TRANSIENT);
}

void SqliteStatement::BindNull(int index) {
  sqlite3_bind_null(stmt_, index);
}

int SqliteStatement::Step() {
  if (!stmt_) return SQLITE_MISUSE;
  const int rc = sqlite3_step(stmt_);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) db_.NoteError("a statement failed");
  return rc;
}

int64_t SqliteStatement::Int(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

double SqliteStatement::Double(int column) const {
  return sqlite3_column_double(stmt_, column);
}

std::string SqliteStatement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  const int n = sqlite3_column_bytes(stmt_, column);
  if (!text || n <= 0) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n));
}

std::vector<uint8_t> SqliteStatement::Blob(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  const int n = sqlite3_column_bytes(stmt_, column);
  if (!data || n <= 0) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + n);
}

bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

SqliteTransaction::SqliteTransaction(SqliteDb& db) : db_(db) {
  begun_ = db.Exec("BEGIN IMMEDIATE;");
}

SqliteTransaction::~SqliteTransaction() {
  if (!begun_ || done_) return;
  // Keep the error that made the caller give up, not the rollback's.
  const std::string error = db_.LastError();
  const int code = db_.LastCode();
  db_.Exec("ROLLBACK;");
  db_.RestoreError(error, code);
}

bool SqliteTransaction::Commit() {
  if (!begun_ || done_) return false;
  if (!db_.Exec("COMMIT;")) return false;
  done_ = true;
  return true;
}
