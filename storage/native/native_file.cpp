// The native file's connection and its life: open, create, close, options,
// adding records and the write transactions.
#include "storage/native/native_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/option_text.h"
#include "runtime/text.h"
#include "storage/native/joint_transaction.h"
#include "storage/native/lock_holder.h"

namespace mirabo::native {

int NativeFile::OpenConnection(const std::string& path, int flags, sqlite3** db) {
  *db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const int code = MapError(rc, *db, BusyMode::kOpen);
    sqlite3_close_v2(*db);
    *db = nullptr;
    return code;
  }
  sqlite3_extended_result_codes(*db, 1);
  if (db == &db_) open_flags_ = flags;
  // A bounded page cache large enough for a key range of a few thousand
  // records scattered over a large table: re-reading a range (a browse page,
  // a report's group) then costs the same on a small file as on a large one.
  sqlite3_exec(*db, "PRAGMA cache_size = -8192", nullptr, nullptr, nullptr);
  sqlite3_busy_handler(*db, &NativeFile::BusyCallback, this);
  sqlite3_create_function(*db, "KVX$KEY", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          &KeyFunction, nullptr, nullptr);
  return kNoError;
}

void NativeFile::CloseConnection() {
  EndReadTransaction();
  DropStatements([](const StmtId&) { return true; });
  // A member of a joint transaction borrows the first member's connection.
  if (db_ && !leader_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void NativeFile::DropStatements(bool (*drop)(const StmtId&)) {
  ResetChain();
  for (auto it = statements_.begin(); it != statements_.end();) {
    if (drop(it->first)) {
      sqlite3_finalize(it->second);
      it = statements_.erase(it);
    } else {
      ++it;
    }
  }
}

int NativeFile::Open(uint8_t access_mode) {
  if (!DeclarationFits(decl_)) return kInvalidRecordDeclaration;
  if (db_) return kFileAlreadyOpen;
  name_ = ResolveName(decl_.ExternalName());
  schema_ = std::make_unique<NativeSchema>(decl_, name_.table);

  struct stat st;
  if (::stat(name_.path.c_str(), &st) != 0) {
    const int err = errno;
    if (err == ENOENT) {
      // Tell a missing folder from a missing file.
      const std::filesystem::path dir = std::filesystem::path(name_.path).parent_path();
      struct stat dst;
      return ::stat(dir.c_str(), &dst) == 0 ? kFileNotFound : kPathNotFound;
    }
    return ErrorFromErrno(err);
  }
  if (S_ISDIR(st.st_mode)) return kAccessDenied;

  // A writer that stopped half-way leaves a journal that only a writable
  // connection can roll back; "Recover=n" lets the opens do so until one
  // succeeds.  None of them waits: a live process's lock answers 32 at once.
  if (recover_seconds_ > 0) {
    sqlite3* fixer = nullptr;
    if (OpenConnection(name_.path, SQLITE_OPEN_READWRITE, &fixer) == kNoError) {
      Exec(fixer, "SELECT count(*) FROM sqlite_master", BusyMode::kOpen);
      sqlite3_close_v2(fixer);
    }
  }

  const int flags = CanWrite(access_mode) ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
  int rc = OpenConnection(name_.path, flags, &db_);
  if (rc == kNoError) rc = VerifySchema(db_, fullbuild_);
  if (rc == kNoError) rc = CheckRecordNumbers();
  if (rc != kNoError) {
    CloseConnection();
    return rc;
  }
  if (CanWrite(access_mode)) RemoveStaleJournal();
  recover_seconds_ = 0;
  order_ = kRecordOrder;
  pending_ = PendingKind::kNone;
  has_current_ = false;
  return kNoError;
}

void NativeFile::RemoveStaleJournal() {
  const std::string journal = name_.path + "-journal";
  if (::access(journal.c_str(), F_OK) != 0) return;
  // Taking the reserved lock reads the file first, which rolls a hot journal
  // back; with the lock held no other writer can be making one.  What is
  // left is a journal SQLite will never use.
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return;
  if (sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) ==
      SQLITE_OK) {
    (void)::unlink(journal.c_str());
  }
  sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

// Positions carry a record number in four bytes: a table that another tool
// filled with larger record numbers cannot be read by position.
int NativeFile::CheckRecordNumbers() {
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = "SELECT max(rowid) FROM " + schema_->QualifiedTable();
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  const bool fits = rc != SQLITE_ROW || sqlite3_column_int64(stmt, 0) <= kMaxRecordNumber;
  sqlite3_finalize(stmt);
  if (rc != SQLITE_ROW) return MapError(rc, db_, BusyMode::kOpen);
  return fits ? kNoError : kInvalidDataFile;
}

int NativeFile::Create() {
  if (!DeclarationFits(decl_)) return kInvalidRecordDeclaration;
  name_ = ResolveName(decl_.ExternalName());
  schema_ = std::make_unique<NativeSchema>(decl_, name_.table);
  const std::filesystem::path dir = std::filesystem::path(name_.path).parent_path();
  struct stat dst;
  if (::stat(dir.c_str(), &dst) != 0)
    return errno == ENOENT ? kPathNotFound : ErrorFromErrno(errno);

  sqlite3* db = nullptr;
  int rc = OpenConnection(name_.path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &db);
  if (rc != kNoError) return rc;
  std::string sql = "PRAGMA application_id = " + std::to_string(kApplicationId) + ";";
  sql += "BEGIN IMMEDIATE;";
  for (const auto& text : schema_->text_indexes()) sql += schema_->DropTextIndexSql(text) + ";";
  sql += "DROP TABLE IF EXISTS " + QuoteIdentifier(schema_->table()) + ";";
  sql += schema_->CreateTableSql() + ";";
  for (const auto& index : schema_->indexes()) sql += index.sql + ";";
  for (const std::string& text : TextIndexSql()) sql += text + ";";
  sql += "COMMIT;";
  rc = Exec(db, sql, BusyMode::kOpen);
  if (rc != kNoError) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
  return rc;
}

int NativeFile::Close() {
  if (joint_) {
    (void)joint_->Rollback();  // a member leaving ends the whole transaction
  } else if (in_transaction_) {
    (void)Rollback();
  }
  CloseConnection();
  return kNoError;
}

int NativeFile::Records(int64_t* count) {
  EnsureReadTransaction();
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = "SELECT count(*) FROM " + schema_->QualifiedTable();
  busy_mode_ = BusyMode::kRead;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) *count = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  return rc == SQLITE_ROW ? kNoError : MapError(rc, db_, BusyMode::kRead);
}

void NativeFile::BindRecord(sqlite3_stmt* stmt) {
  const char* record = file_.record();
  int p = 1;
  for (const FieldDecl& f : decl_.fields) {
    ValueRef ref{f.type, const_cast<char*>(record) + f.offset, f.size};
    switch (f.type) {
      case FieldType::kString: {
        const std::string utf8 = Utf8FromCp1252(Clip(ref.Bytes()));
        sqlite3_bind_text(stmt, p++, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        break;
      }
      case FieldType::kReal:
        sqlite3_bind_double(stmt, p++, ref.GetNumber());
        break;
      default:
        sqlite3_bind_int64(stmt, p++, static_cast<int64_t>(ref.GetNumber()));
        break;
    }
  }
  for (const auto& c : schema_->companions()) {
    const FieldDecl& f = decl_.fields[c.field];
    BindPart(stmt, p++, EncodeKeyPart(f, c.nocase, std::string_view(record + f.offset, f.size)));
  }
}

int NativeFile::Add() {
  EndReadTransaction();  // an add outside a transaction commits at once
  if (in_transaction_ && !bulk_checked_) {
    if (int rc = StartBulkIfEmpty()) return rc;
  }
  sqlite3_stmt* s = nullptr;
  auto it = statements_.find({-2, 0, RowidOp::kNone, Dir::kForward, false});
  if (it != statements_.end()) {
    s = it->second;
  } else {
    const std::string sql = schema_->InsertSql();
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) !=
        SQLITE_OK) {
      return MapError(sqlite3_errcode(db_), db_, BusyMode::kRead);
    }
    statements_[{-2, 0, RowidOp::kNone, Dir::kForward, false}] = s;
  }
  BindRecord(s);
  busy_mode_ = BusyMode::kRead;
  const int rc = sqlite3_step(s);
  sqlite3_reset(s);
  if (rc != SQLITE_DONE) return MapError(rc, db_, BusyMode::kRead);
  const int64_t rowid = sqlite3_last_insert_rowid(db_);
  if (rowid > kMaxRecordNumber) {
    // Taken back: a position could not name this record.
    const std::string undo =
        "DELETE FROM " + schema_->QualifiedTable() + " WHERE rowid = " + std::to_string(rowid);
    sqlite3_exec(db_, undo.c_str(), nullptr, nullptr, nullptr);
    return SetFileSystemError(13, "the file holds the most records it can number");
  }
  has_current_ = true;
  current_rowid_ = rowid;
  current_record_.assign(file_.record(), decl_.record_size);
  return kNoError;
}

int NativeFile::Empty() {
  ResetChain();
  EndReadTransaction();
  return Exec(db_, "DELETE FROM " + schema_->QualifiedTable(), BusyMode::kRead);
}

int NativeFile::BeginTransaction() {
  if (joint_) return kUnsupportedFunction;  // the joint transaction is the file's
  ResetChain();
  EndReadTransaction();
  const int rc = Exec(db_, "BEGIN IMMEDIATE", BusyMode::kRead);
  in_transaction_ = rc == kNoError;
  bulk_checked_ = false;
  return rc;
}

// Filling an empty table inside a transaction: its non-unique keys are built
// once, at the commit, instead of entry by entry.  Unique keys stay, so a
// duplicate is still refused at the record that makes it.
int NativeFile::StartBulkIfEmpty() {
  bulk_checked_ = true;
  int64_t count = 0;
  int rc = Records(&count);
  if (rc != kNoError || count != 0) return rc;
  std::string sql;
  for (const auto& index : schema_->indexes()) {
    if (!index.unique) sql += schema_->DropIndexSql(index) + ";";
  }
  bulk_ = true;
  if (rc = DeferTextIndex(); rc != kNoError) return rc;
  if (sql.empty()) return kNoError;
  // Statements prepared against the dropped indexes must not be reused.
  DropStatements([](const StmtId& id) { return id.key >= 0; });
  return Exec(db_, sql, BusyMode::kRead);
}

int NativeFile::FinishBulk() {
  if (!bulk_) return kNoError;
  bulk_ = false;
  std::string sql;
  for (const auto& index : schema_->indexes()) {
    if (!index.unique) sql += schema_->CreateIndexSql(index) + ";";
  }
  if (const int rc = FinishTextIndex(); rc != kNoError) return rc;
  return sql.empty() ? kNoError : Exec(db_, sql, BusyMode::kRead);
}

int NativeFile::Commit() {
  if (joint_) return kUnsupportedFunction;  // the joint transaction is the file's
  ResetChain();
  if (const int rc = FinishBulk(); rc != kNoError) {
    in_transaction_ = false;
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
  }
  in_transaction_ = false;
  const int rc = Exec(db_, "COMMIT", BusyMode::kRead);
  if (rc != kNoError && !sqlite3_get_autocommit(db_)) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  return rc;
}

int NativeFile::Rollback() {
  if (joint_) return kUnsupportedFunction;  // the joint transaction is the file's
  ResetChain();
  bulk_ = false;
  deferred_text_.clear();
  in_transaction_ = false;
  // SQLite ends a transaction itself after some failures (a full disk).
  if (sqlite3_get_autocommit(db_)) return kNoError;
  return Exec(db_, "ROLLBACK", BusyMode::kRead);
}

int NativeFile::Option(std::string_view text, std::string* answer) {
  answer->clear();
  const OptionText opt = ParseOption(text);
  if (opt.name == "TCF") {
    if (opt.is_query()) {
      *answer = TcfName();
    } else {
      // The setting keeps the name as written, blanks and case included.
      const size_t eq = text.find('=');
      TcfName() = std::string(Clip(text.substr(eq + 1)));
      while (!TcfName().empty() && TcfName().front() == ' ') TcfName().erase(0, 1);
    }
    return kNoError;
  }
  if (opt.name == "FULLBUILD") {
    if (opt.is_query()) {
      *answer = fullbuild_ ? "ON" : "OFF";
    } else {
      fullbuild_ = *opt.value == "ON";
    }
    return kNoError;
  }
  if (opt.name == "PNM") {
    if (!db_) return kFileNotOpen;
    *answer = name_.path;
    return kNoError;
  }
  if (opt.name == "LOCKHOLDER") {
    // Who holds the file locked, for a program that waits for it: a process
    // id, or 0 when nobody (or nobody the system names) does.
    *answer = std::to_string(std::max(LockHolder(Name()), 0));
    return kNoError;
  }
  if (opt.name == "TEXTINDEX") {
    // Whether every substring index of the table is in place; "TEXTINDEX=ON"
    // builds the missing ones in one transaction (a file made before them,
    // or by another program).
    if (!db_) return kFileNotOpen;
    bool all = true;
    for (const auto& index : schema_->text_indexes()) {
      bool present = false;
      if (const int rc = TextIndexPresent(db_, index, &present); rc != kNoError) return rc;
      all = all && present;
    }
    if (opt.is_query() || all) {
      *answer = all ? "ON" : "OFF";
      return kNoError;
    }
    if (*opt.value != "ON") return kUnsupportedFunction;
    if (in_transaction_ || joint_) return kUnsupportedFunction;
    ResetChain();
    EndReadTransaction();
    int rc = Exec(db_, "BEGIN IMMEDIATE", BusyMode::kRead);
    if (rc == kNoError) rc = BuildTextIndex(db_);
    if (rc == kNoError) rc = Exec(db_, "COMMIT", BusyMode::kRead);
    if (rc != kNoError && !sqlite3_get_autocommit(db_)) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    if (rc == kNoError) *answer = "ON";
    return rc;
  }
  if (opt.name == "RECOVER") {
    if (opt.is_query()) {
      *answer = std::to_string(recover_seconds_);
    } else {
      recover_seconds_ = std::max(0, std::atoi(opt.value->c_str()));
    }
    return kNoError;
  }
  return kUnsupportedFunction;
}

int NativeFile::DataVersion(uint64_t* version) {
  if (!db_) return kFileNotOpen;
  // SQLite's count of commits by other connections as this connection sees
  // them; cheap, and needs no lock.
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &stmt, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) *version = static_cast<uint64_t>(sqlite3_column_int64(stmt, 0));
  sqlite3_finalize(stmt);
  return rc == SQLITE_ROW ? kNoError : MapError(rc, db_, BusyMode::kRead);
}

void NativeFile::ReleaseLocks() {
  // A live chain and the read transaction keep SQLite's shared lock;
  // dropping them lets other processes write.  The next read builds a new
  // chain from the current record.
  ResetChain();
  EndReadTransaction();
}

}  // namespace mirabo::native
