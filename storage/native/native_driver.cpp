// The native driver over SQLite.
//
// Per open file the driver keeps one connection and a cache of prepared
// statements.  A read walks a *chain* of statements, each a range search of the
// key's index: for the key (c1..cn, rowid) and a start value (v1..vn, r), going
// forwards,
//
//   level n:   c1=v1 AND .. AND cn=vn AND rowid > r     ORDER BY rowid
//   level n-1: c1=v1 AND .. AND cn > vn                 ORDER BY cn, rowid
//   ...
//   level 0:   c1 > v1                                  ORDER BY c1, .., cn, rowid
//
// and mirrored going backwards.  Each level is an index search; stepping them
// in turn yields the records after the start in key order without ever
// scanning a run of equal keys (a row-value comparison over (c1, rowid) does
// not search the index on SQLite 3.40).
//
// States: a *pending* position (key start, key value, stored position) set by
// the positioning operations; a *live* chain stepped by Next or Previous; and
// the *current* record, from which a change of direction, or a read after the
// locks were released, builds a new chain.  Invariant: while the chain is live
// its direction is cursor_dir_ and its statements have been reset and bound for
// this chain only.

#include "storage/native/native_driver.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <tuple>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/file_driver.h"
#include "runtime/option_text.h"
#include "runtime/text.h"
#include "storage/native/key_codec.h"
#include "storage/native/native_schema.h"

namespace mirabo::native {
namespace {

constexpr int kApplicationId = 0x4B565831;  // "KVX1"

std::string& TcfName() {
  static std::string name = "c:\\karvinex.tcf";
  return name;
}

struct ResolvedName {
  std::string path;   // full file name
  std::string table;  // table inside the file
  bool table_named = false;
};

ResolvedName ResolveName(const std::string& declared) {
  ResolvedName out;
  std::string file = std::string(Clip(declared));
  out.table = "UNNAMED";
  const size_t bang = file.find("\\!");
  if (bang != std::string::npos) {
    out.table = ToUpper1252(Clip(file.substr(bang + 2)));
    out.table_named = true;
    file = file.substr(0, bang);
  }
  std::filesystem::path p(file);
  if (!p.has_extension()) p += ".KVX";
  if (p.is_relative()) {
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (!ec) p = cwd / p;
  }
  out.path = p.lexically_normal().string();
  return out;
}

bool DeclarationFits(const FileDecl& decl) {
  return decl.record_size <= kMaxRecordSize && decl.keys.size() <= kMaxKeys &&
         decl.memos <= kMaxMemos;
}

enum class Dir : uint8_t { kForward, kBackward };
enum class RowidOp : uint8_t { kNone, kAfter, kFrom };  // strict or inclusive

// Identifies a cached statement.  level -1 scans the whole key; level n (the
// key's component count) ranges over equal keys by record number; lower
// levels range over component level+1.  `get` marks the one-record lookups.
struct StmtId {
  int key;
  int level;
  RowidOp rowid_op;
  Dir dir;
  bool get;
  bool operator<(const StmtId& o) const {
    return std::tie(key, level, rowid_op, dir, get) <
           std::tie(o.key, o.level, o.rowid_op, o.dir, o.get);
  }
};

// The runtime's key form of a text column, for companion columns: the
// Windows-1252 bytes without trailing blanks, upper-cased when asked.
void KeyFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int n = sqlite3_value_bytes(argv[0]);
  std::string_view utf8(text ? text : "", n);
  std::optional<std::string> bytes = Cp1252FromUtf8(utf8);
  std::string key(Clip(bytes ? *bytes : std::string(utf8)));
  if (argc > 1 && sqlite3_value_int(argv[1]) != 0) key = ToUpper1252(key);
  sqlite3_result_blob(ctx, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

class NativeFile final : public DriverFile {
 public:
  explicit NativeFile(File& file) : file_(file), decl_(file.decl()) {}
  ~NativeFile() override { CloseConnection(); }

  int Open(uint8_t access_mode) override;
  int Create() override;
  int Close() override;
  std::string Name() override { return ResolveName(decl_.ExternalName()).path; }
  int Records(int64_t* count) override;
  int SetKeyStart(int key) override;
  int SetKeyValue(int key) override;
  int Next() override { return Read(Dir::kForward); }
  int Previous() override { return Read(Dir::kBackward); }
  int Position(int key, std::string* position) override;
  int ResetToPosition(int key, std::string_view position) override;
  int ResetPastPosition(int key, std::string_view position) override;
  int GetByKey(int key) override;
  int GetByPosition(int key, std::string_view position) override;
  int Add() override;
  int Empty() override;
  int BuildKeys() override;
  int BeginTransaction() override;
  int Commit() override;
  int Rollback() override;
  int Option(std::string_view text, std::string* answer) override;
  void SetHoldWait(int seconds) override { hold_wait_ = seconds; }
  void ReleaseLocks() override;

  std::vector<std::pair<std::string, std::string>> Explain();
  int prepared() const { return prepared_; }

 private:
  enum class PendingKind : uint8_t { kNone, kStart, kValue, kPosition, kPastPosition };
  int SetPendingPosition(int key, std::string_view position, PendingKind kind);
  enum class BusyMode : uint8_t { kOpen, kRead };

  static int BusyCallback(void* self, int count);

  int OpenConnection(const std::string& path, int flags, sqlite3** db);
  void CloseConnection();
  int VerifySchema(sqlite3* db, bool full);
  int MapError(int rc, sqlite3* db, BusyMode mode);
  int Exec(sqlite3* db, const std::string& sql, BusyMode mode);
  sqlite3_stmt* Statement(const StmtId& id);
  std::string StatementSql(const StmtId& id) const;
  int KeyWidth(int key) const {
    return key == kRecordOrder ? 0 : static_cast<int>(decl_.keys[key].components.size());
  }

  void ResetChain();
  // Builds the chain that reads from `value` (and `rowid` when given) in `dir`.
  bool BuildChain(int key, Dir dir, const KeyValue& value, bool with_rowid, int64_t rowid,
                  bool inclusive);
  void BindPart(sqlite3_stmt* stmt, int index, const KeyPart& part);
  int Read(Dir dir);
  int StartBulkIfEmpty();
  int StepInto(sqlite3_stmt* stmt);  // SQLITE_ROW after decoding, else the code
  // Reads between two releases of the locks share one read transaction, so
  // a lookup per record does not take and drop the file's lock each time.
  void EnsureReadTransaction();
  void EndReadTransaction();
  void DecodeRow(sqlite3_stmt* stmt);
  void BindRecord(sqlite3_stmt* stmt);

  File& file_;
  const FileDecl& decl_;
  ResolvedName name_;
  std::unique_ptr<NativeSchema> schema_;
  sqlite3* db_ = nullptr;
  std::map<StmtId, sqlite3_stmt*> statements_;

  bool fullbuild_ = false;
  int recover_seconds_ = 0;
  int hold_wait_ = 0;
  BusyMode busy_mode_ = BusyMode::kRead;
  std::chrono::steady_clock::time_point busy_deadline_;

  int order_ = kRecordOrder;  // key of the last positioning
  PendingKind pending_ = PendingKind::kNone;
  KeyValue pending_value_;
  int64_t pending_rowid_ = 0;

  std::vector<sqlite3_stmt*> chain_;
  size_t chain_at_ = 0;
  bool chain_live_ = false;
  Dir chain_dir_ = Dir::kForward;

  bool has_current_ = false;
  int64_t current_rowid_ = 0;
  std::string current_record_;  // the record as it was read

  int prepared_ = 0;
  bool in_read_transaction_ = false;
  bool in_transaction_ = false;
  bool bulk_checked_ = false;
  bool bulk_ = false;  // a transaction that defers its non-unique keys to the commit
};

int NativeFile::BusyCallback(void* self, int count) {
  auto* f = static_cast<NativeFile*>(self);
  const auto now = std::chrono::steady_clock::now();
  int wait = f->busy_mode_ == BusyMode::kOpen ? f->recover_seconds_ : f->hold_wait_;
  if (f->busy_mode_ == BusyMode::kOpen && wait == 0) return 0;  // locked: report it at once
  if (count == 0) f->busy_deadline_ = now + std::chrono::seconds(wait);
  if (wait > 0 && now >= f->busy_deadline_) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(count < 10 ? 1 : 10));
  return 1;
}

int NativeFile::MapError(int rc, sqlite3* db, BusyMode mode) {
  const int extended = db ? sqlite3_extended_errcode(db) : rc;
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kNoError;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return mode == BusyMode::kOpen ? kFileIsAlreadyLocked : kRecordIsAlreadyHeld;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
      return kInvalidDataFile;
    case SQLITE_READONLY:
      // A hot journal that a read-only connection cannot roll back: the lock
      // of a writer that stopped half-way.
      if (extended == SQLITE_READONLY_ROLLBACK || extended == SQLITE_READONLY_RECOVERY) {
        return kFileIsAlreadyLocked;
      }
      return kAccessDenied;
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kAccessDenied;
    case SQLITE_NOMEM:
      return kInsufficientMemory;
    case SQLITE_FULL:
      return kOsErrorBase + 39;
    case SQLITE_CONSTRAINT:
      return kCreatesDuplicateKey;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR: {
      const int sys = db ? sqlite3_system_errno(db) : 0;
      if (sys != 0) {
        const int code = ErrorFromErrno(sys);
        if (code != kFileSystemError) return code;
      }
      if ((rc & 0xFF) == SQLITE_CANTOPEN) return kAccessDenied;
      break;
    }
    default:
      break;
  }
  return SetFileSystemError(std::to_string(extended), db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

int NativeFile::Exec(sqlite3* db, const std::string& sql, BusyMode mode) {
  busy_mode_ = mode;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? kNoError : MapError(rc, db, mode);
}

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
  ResetChain();
  EndReadTransaction();
  for (auto& [id, stmt] : statements_) sqlite3_finalize(stmt);
  statements_.clear();
  chain_.clear();
  chain_live_ = false;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

// Checks the stored table against the declaration: 47 when its columns differ,
// 46 when a key's index or companion column is missing or (full check) damaged.
int NativeFile::VerifySchema(sqlite3* db, bool full) {
  busy_mode_ = BusyMode::kOpen;
  sqlite3_stmt* stmt = nullptr;
  const std::string info = "PRAGMA table_info(" + QuoteIdentifier(schema_->table()) + ")";
  int rc = sqlite3_prepare_v2(db, info.c_str(), -1, &stmt, nullptr);
  if (rc != SQLITE_OK) return MapError(rc, db, BusyMode::kOpen);
  std::vector<std::pair<std::string, std::string>> stored;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    stored.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)),
                        ToUpper1252(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2))));
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) return MapError(rc, db, BusyMode::kOpen);

  const auto& columns = schema_->columns();
  if (stored.size() < columns.size()) return kInvalidRecordDeclaration;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (stored[i].first != columns[i].name || stored[i].second != columns[i].type) {
      return kInvalidRecordDeclaration;
    }
  }
  bool keys_bad = false;
  for (size_t i = columns.size(); i < stored.size(); ++i) {
    bool companion = false;
    for (const auto& c : schema_->companions()) companion = companion || c.name == stored[i].first;
    if (!companion) return kInvalidRecordDeclaration;
  }
  for (const auto& c : schema_->companions()) {
    bool present = false;
    for (size_t i = columns.size(); i < stored.size(); ++i)
      present = present || stored[i].first == c.name;
    keys_bad = keys_bad || !present;
  }

  std::map<std::string, std::string> indexes;
  rc = sqlite3_prepare_v2(db,
                          "SELECT name, sql FROM sqlite_master WHERE type='index' AND tbl_name=?",
                          -1, &stmt, nullptr);
  if (rc != SQLITE_OK) return MapError(rc, db, BusyMode::kOpen);
  sqlite3_bind_text(stmt, 1, schema_->table().c_str(), -1, SQLITE_TRANSIENT);
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    const char* sql = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
    indexes[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] = sql ? sql : "";
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) return MapError(rc, db, BusyMode::kOpen);
  for (const auto& index : schema_->indexes()) {
    auto it = indexes.find(index.name);
    keys_bad = keys_bad || it == indexes.end() || it->second != index.sql;
  }
  if (keys_bad) return kKeyFileMustBeRebuilt;
  if (!full) return kNoError;

  // The full check: the indexes against the table, and every companion column
  // against the text it is made from.
  const std::string check = "PRAGMA integrity_check(" + QuoteIdentifier(schema_->table()) + ")";
  rc = sqlite3_prepare_v2(db, check.c_str(), -1, &stmt, nullptr);
  if (rc != SQLITE_OK) return MapError(rc, db, BusyMode::kOpen);
  bool index_damage = false, table_damage = false;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    const std::string line = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    if (line == "ok") continue;
    if (line.find("index") != std::string::npos) {
      index_damage = true;
    } else {
      table_damage = true;
    }
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) return MapError(rc, db, BusyMode::kOpen);
  if (table_damage) return kInvalidDataFile;
  if (index_damage) return kKeyFileMustBeRebuilt;
  for (const auto& c : schema_->companions()) {
    const std::string sql = "SELECT 1 FROM " + QuoteIdentifier(schema_->table()) + " WHERE " +
                            QuoteIdentifier(c.name) + " IS NOT \"KVX$KEY\"(" +
                            QuoteIdentifier(schema_->columns()[c.field].name) + ", " +
                            (c.nocase ? "1" : "0") + ") LIMIT 1";
    rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK) return MapError(rc, db, BusyMode::kOpen);
    rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc == SQLITE_ROW) return kKeyFileMustBeRebuilt;
    if (rc != SQLITE_DONE) return MapError(rc, db, BusyMode::kOpen);
  }
  return kNoError;
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
  // connection can roll back; "Recover=n" lets this open do so.
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
  recover_seconds_ = 0;
  if (rc != kNoError) {
    CloseConnection();
    return rc;
  }
  order_ = kRecordOrder;
  pending_ = PendingKind::kNone;
  has_current_ = false;
  return kNoError;
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
  sql += "DROP TABLE IF EXISTS " + QuoteIdentifier(schema_->table()) + ";";
  sql += schema_->CreateTableSql() + ";";
  for (const auto& index : schema_->indexes()) sql += index.sql + ";";
  sql += "COMMIT;";
  rc = Exec(db, sql, BusyMode::kOpen);
  if (rc != kNoError) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
  return rc;
}

int NativeFile::Close() {
  if (in_transaction_) Rollback();
  CloseConnection();
  return kNoError;
}

int NativeFile::Records(int64_t* count) {
  EnsureReadTransaction();
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = "SELECT count(*) FROM " + QuoteIdentifier(schema_->table());
  busy_mode_ = BusyMode::kRead;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) *count = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  return rc == SQLITE_ROW ? kNoError : MapError(rc, db_, BusyMode::kRead);
}

std::string NativeFile::StatementSql(const StmtId& id) const {
  const std::string& table = schema_->table();
  std::string sql = "SELECT " + schema_->SelectList() + " FROM " + QuoteIdentifier(table);
  const char* dir = id.dir == Dir::kForward ? " ASC" : " DESC";
  if (id.key == kRecordOrder) {
    if (id.get) return sql + " WHERE rowid = ?";
    if (id.rowid_op != RowidOp::kNone) {
      const bool fwd = id.dir == Dir::kForward;
      const char* op = id.rowid_op == RowidOp::kFrom ? (fwd ? ">=" : "<=") : (fwd ? ">" : "<");
      sql += std::string(" WHERE rowid ") + op + " ?";
    }
    return sql + " ORDER BY rowid" + dir;
  }
  const int n = KeyWidth(id.key);
  sql += " INDEXED BY " + QuoteIdentifier(schema_->indexes()[id.key].name);
  auto col = [&](int c) { return QuoteIdentifier(schema_->KeyColumn(id.key, c)); };
  std::string where;
  std::string order;
  if (id.level < 0) {
    for (int c = 0; c < n; ++c) order += col(c) + dir + ", ";
  } else {
    for (int c = 0; c < id.level; ++c) where += (where.empty() ? "" : " AND ") + col(c) + " = ?";
    if (id.level < n) {
      where += (where.empty() ? "" : " AND ") + col(id.level) +
               (id.dir == Dir::kForward ? " > ?" : " < ?");
      for (int c = id.level; c < n; ++c) order += col(c) + dir + ", ";
    } else if (id.rowid_op != RowidOp::kNone) {
      const bool fwd = id.dir == Dir::kForward;
      const char* op = id.rowid_op == RowidOp::kFrom ? (fwd ? ">=" : "<=") : (fwd ? ">" : "<");
      where += (where.empty() ? "" : " AND ") + std::string("rowid ") + op + " ?";
    }
  }
  if (!where.empty()) sql += " WHERE " + where;
  sql += " ORDER BY " + order + "rowid" + dir;
  if (id.get) sql += " LIMIT 1";
  return sql;
}

sqlite3_stmt* NativeFile::Statement(const StmtId& id) {
  auto it = statements_.find(id);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = StatementSql(id);
  if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
      SQLITE_OK) {
    return nullptr;
  }
  statements_[id] = stmt;
  ++prepared_;
  return stmt;
}

void NativeFile::BindPart(sqlite3_stmt* stmt, int index, const KeyPart& part) {
  if (const auto* i = std::get_if<int64_t>(&part)) {
    sqlite3_bind_int64(stmt, index, *i);
  } else if (const auto* d = std::get_if<double>(&part)) {
    sqlite3_bind_double(stmt, index, *d);
  } else {
    const std::string& s = std::get<std::string>(part);
    sqlite3_bind_blob(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
}

void NativeFile::ResetChain() {
  for (sqlite3_stmt* s : chain_) sqlite3_reset(s);
  chain_.clear();
  chain_at_ = 0;
  chain_live_ = false;
}

bool NativeFile::BuildChain(int key, Dir dir, const KeyValue& value, bool with_rowid, int64_t rowid,
                            bool inclusive) {
  ResetChain();
  chain_dir_ = dir;
  const int n = KeyWidth(key);
  const RowidOp rop = with_rowid ? (inclusive ? RowidOp::kFrom : RowidOp::kAfter) : RowidOp::kNone;
  // The deepest level: equal keys, by record number.
  sqlite3_stmt* first = Statement({key, key == kRecordOrder ? 0 : n, rop, dir, false});
  if (!first) return false;
  int p = 1;
  for (int c = 0; c < n; ++c) BindPart(first, p++, value[c]);
  if (with_rowid) sqlite3_bind_int64(first, p, rowid);
  chain_.push_back(first);
  for (int level = n - 1; level >= 0; --level) {
    sqlite3_stmt* s = Statement({key, level, RowidOp::kNone, dir, false});
    if (!s) return false;
    for (int c = 0; c <= level; ++c) BindPart(s, c + 1, value[c]);
    chain_.push_back(s);
  }
  chain_live_ = true;
  return true;
}

void NativeFile::DecodeRow(sqlite3_stmt* stmt) {
  char* record = file_.record();
  for (size_t i = 0; i < decl_.fields.size(); ++i) {
    const FieldDecl& f = decl_.fields[i];
    const int col = static_cast<int>(i) + 1;
    ValueRef ref{f.type, record + f.offset, f.size};
    switch (f.type) {
      case FieldType::kString: {
        const unsigned char* text = sqlite3_column_text(stmt, col);
        const int n = sqlite3_column_bytes(stmt, col);
        char* out = record + f.offset;
        int w = 0;
        for (int k = 0; k < n && w < f.size;) {
          const unsigned char c = text[k];
          if (c < 0x80) {
            out[w++] = static_cast<char>(c);
            ++k;
            continue;
          }
          // A multi-byte character: convert it alone; one the set cannot hold
          // (a file written by another tool) shows as '?'.
          int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
          if (k + len > n) len = n - k;
          std::optional<std::string> b =
              Cp1252FromUtf8(std::string_view(reinterpret_cast<const char*>(text + k), len));
          out[w++] = b && b->size() == 1 ? (*b)[0] : '?';
          k += len;
        }
        std::memset(out + w, ' ', f.size - w);
        break;
      }
      case FieldType::kReal:
        ref.SetNumber(sqlite3_column_double(stmt, col));
        break;
      default:
        ref.SetNumber(static_cast<double>(sqlite3_column_int64(stmt, col)));
        break;
    }
  }
  has_current_ = true;
  current_rowid_ = sqlite3_column_int64(stmt, 0);
  current_record_.assign(record, decl_.record_size);
}

void NativeFile::EnsureReadTransaction() {
  if (in_read_transaction_ || in_transaction_ || !db_) return;
  in_read_transaction_ = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void NativeFile::EndReadTransaction() {
  if (!in_read_transaction_) return;
  in_read_transaction_ = false;
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

int NativeFile::StepInto(sqlite3_stmt* stmt) {
  EnsureReadTransaction();
  busy_mode_ = BusyMode::kRead;
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) DecodeRow(stmt);
  return rc;
}

int NativeFile::Read(Dir dir) {
  if (!db_) return kFileNotOpen;
  bool built = true;
  if (pending_ != PendingKind::kNone) {
    if (pending_ == PendingKind::kStart) {
      ResetChain();
      chain_dir_ = dir;
      sqlite3_stmt* s =
          Statement({order_, order_ == kRecordOrder ? 0 : -1, RowidOp::kNone, dir, false});
      built = s != nullptr;
      if (built) {
        chain_.push_back(s);
        chain_live_ = true;
      }
    } else if (pending_ == PendingKind::kValue) {
      built = BuildChain(order_, dir, pending_value_, false, 0, true);
    } else {
      built = BuildChain(order_, dir, pending_value_, true, pending_rowid_,
                         pending_ == PendingKind::kPosition);
    }
    pending_ = PendingKind::kNone;
  } else if (!chain_live_ || chain_dir_ != dir) {
    if (!has_current_) return kRecordNotAvailable;
    KeyValue value;
    if (order_ != kRecordOrder) {
      value = KeyFromRecord(decl_, decl_.keys[order_], current_record_.data());
    }
    built = BuildChain(order_, dir, value, true, current_rowid_, false);
  }
  if (!built) return kKeyFileMustBeRebuilt;

  while (chain_at_ < chain_.size()) {
    sqlite3_stmt* s = chain_[chain_at_];
    const int rc = StepInto(s);
    if (rc == SQLITE_ROW) return kNoError;
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
      chain_live_ = false;
      return MapError(rc, db_, BusyMode::kRead);
    }
    ++chain_at_;
  }
  ResetChain();
  return kRecordNotAvailable;
}

int NativeFile::SetKeyStart(int key) {
  if (key != kRecordOrder && (key < 0 || key >= static_cast<int>(decl_.keys.size()))) {
    return kInvalidKeyFile;
  }
  ResetChain();
  order_ = key;
  pending_ = PendingKind::kStart;
  return kNoError;
}

int NativeFile::SetKeyValue(int key) {
  if (key < 0 || key >= static_cast<int>(decl_.keys.size())) return kInvalidKeyFile;
  ResetChain();
  order_ = key;
  pending_ = PendingKind::kValue;
  pending_value_ = KeyFromRecord(decl_, decl_.keys[key], file_.record());
  return kNoError;
}

int NativeFile::Position(int key, std::string* position) {
  if (!has_current_) return kRecordNotAvailable;
  if (key != kRecordOrder && (key < 0 || key >= static_cast<int>(decl_.keys.size()))) {
    return kInvalidKeyFile;
  }
  *position = EncodePosition(decl_, key == kRecordOrder ? nullptr : &decl_.keys[key],
                             current_record_.data(), current_rowid_);
  return kNoError;
}

int NativeFile::SetPendingPosition(int key, std::string_view position, PendingKind kind) {
  if (key != kRecordOrder && (key < 0 || key >= static_cast<int>(decl_.keys.size()))) {
    return kInvalidKeyFile;
  }
  KeyValue value;
  int64_t rowid = 0;
  if (!DecodePosition(decl_, key == kRecordOrder ? nullptr : &decl_.keys[key], position, &value,
                      &rowid)) {
    return kRecordNotFound;
  }
  ResetChain();
  order_ = key;
  pending_ = kind;
  pending_value_ = std::move(value);
  pending_rowid_ = rowid;
  return kNoError;
}

int NativeFile::ResetToPosition(int key, std::string_view position) {
  return SetPendingPosition(key, position, PendingKind::kPosition);
}

int NativeFile::ResetPastPosition(int key, std::string_view position) {
  return SetPendingPosition(key, position, PendingKind::kPastPosition);
}

int NativeFile::GetByKey(int key) {
  if (key < 0 || key >= static_cast<int>(decl_.keys.size())) return kInvalidKeyFile;
  sqlite3_stmt* s = Statement({key, KeyWidth(key), RowidOp::kNone, Dir::kForward, true});
  if (!s) return kKeyFileMustBeRebuilt;
  const KeyValue value = KeyFromRecord(decl_, decl_.keys[key], file_.record());
  for (size_t c = 0; c < value.size(); ++c) BindPart(s, static_cast<int>(c) + 1, value[c]);
  const int rc = StepInto(s);
  sqlite3_reset(s);
  if (rc == SQLITE_ROW) {
    chain_live_ = false;  // reading on continues from this record
    return kNoError;
  }
  return rc == SQLITE_DONE ? kRecordNotFound : MapError(rc, db_, BusyMode::kRead);
}

int NativeFile::GetByPosition(int key, std::string_view position) {
  KeyValue value;
  int64_t rowid = 0;
  if (key != kRecordOrder && (key < 0 || key >= static_cast<int>(decl_.keys.size()))) {
    return kInvalidKeyFile;
  }
  if (!DecodePosition(decl_, key == kRecordOrder ? nullptr : &decl_.keys[key], position, &value,
                      &rowid)) {
    return kRecordNotFound;
  }
  sqlite3_stmt* s = Statement({kRecordOrder, 0, RowidOp::kNone, Dir::kForward, true});
  if (!s) return kInvalidDataFile;
  sqlite3_bind_int64(s, 1, rowid);
  const std::string before(file_.record_bytes());
  const bool had_current = has_current_;
  const int64_t was_rowid = current_rowid_;
  const std::string was_record = current_record_;
  const int rc = StepInto(s);
  sqlite3_reset(s);
  if (rc == SQLITE_ROW) {
    chain_live_ = false;
    // A record number given to another record (the file was rebuilt
    // meanwhile) does not name the record the position was taken from.
    if (key != kRecordOrder) {
      const KeyValue now = KeyFromRecord(decl_, decl_.keys[key], file_.record());
      bool same = now.size() == value.size();
      for (size_t i = 0; same && i < now.size(); ++i) same = CompareKeyParts(now[i], value[i]) == 0;
      if (!same) {
        std::memcpy(file_.record(), before.data(), before.size());
        has_current_ = had_current;
        current_rowid_ = was_rowid;
        current_record_ = was_record;
        return kRecordNotFound;
      }
    }
    return kNoError;
  }
  return rc == SQLITE_DONE ? kRecordNotFound : MapError(rc, db_, BusyMode::kRead);
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
  has_current_ = true;
  current_rowid_ = sqlite3_last_insert_rowid(db_);
  current_record_.assign(file_.record(), decl_.record_size);
  return kNoError;
}

int NativeFile::Empty() {
  ResetChain();
  EndReadTransaction();
  return Exec(db_, "DELETE FROM " + QuoteIdentifier(schema_->table()), BusyMode::kRead);
}

int NativeFile::BeginTransaction() {
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
    if (!index.unique) sql += "DROP INDEX " + QuoteIdentifier(index.name) + ";";
  }
  if (sql.empty()) return kNoError;
  rc = Exec(db_, sql, BusyMode::kRead);
  bulk_ = rc == kNoError;
  // Statements prepared against the dropped indexes must not be reused.
  for (auto it = statements_.begin(); it != statements_.end();) {
    if (it->first.key >= 0) {
      sqlite3_finalize(it->second);
      it = statements_.erase(it);
    } else {
      ++it;
    }
  }
  return rc;
}

int NativeFile::Commit() {
  ResetChain();
  if (bulk_) {
    std::string sql;
    for (const auto& index : schema_->indexes()) {
      if (!index.unique) sql += index.sql + ";";
    }
    bulk_ = false;
    const int rc = Exec(db_, sql, BusyMode::kRead);
    if (rc != kNoError) {
      in_transaction_ = false;
      if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return rc;
    }
  }
  in_transaction_ = false;
  const int rc = Exec(db_, "COMMIT", BusyMode::kRead);
  if (rc != kNoError && !sqlite3_get_autocommit(db_)) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  return rc;
}

int NativeFile::Rollback() {
  ResetChain();
  bulk_ = false;
  in_transaction_ = false;
  // SQLite ends a transaction itself after some failures (a full disk).
  if (sqlite3_get_autocommit(db_)) return kNoError;
  return Exec(db_, "ROLLBACK", BusyMode::kRead);
}

int NativeFile::BuildKeys() {
  if (!DeclarationFits(decl_)) return kInvalidRecordDeclaration;
  EndReadTransaction();
  name_ = ResolveName(decl_.ExternalName());
  schema_ = std::make_unique<NativeSchema>(decl_, name_.table);
  if (::access(name_.path.c_str(), F_OK) != 0) return kFileNotFound;
  ReleaseLocks();

  sqlite3* db = nullptr;
  int rc = OpenConnection(name_.path, SQLITE_OPEN_READWRITE, &db);
  if (rc != kNoError) return rc;
  const int saved_recover = recover_seconds_;
  rc = Exec(db, "BEGIN IMMEDIATE", BusyMode::kOpen);
  if (rc == kNoError) {
    rc = VerifySchema(db, false);
    if (rc == kKeyFileMustBeRebuilt) rc = kNoError;
  }
  if (rc == kNoError) {
    // Companion columns that are missing come back; all are recomputed from
    // the text they order, and every index is built afresh.
    std::vector<std::string> present;
    sqlite3_stmt* stmt = nullptr;
    const std::string info = "PRAGMA table_info(" + QuoteIdentifier(schema_->table()) + ")";
    if (sqlite3_prepare_v2(db, info.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        present.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
      }
    }
    sqlite3_finalize(stmt);
    std::string sql;
    for (const auto& c : schema_->companions()) {
      if (std::find(present.begin(), present.end(), c.name) == present.end()) {
        sql += "ALTER TABLE " + QuoteIdentifier(schema_->table()) + " ADD COLUMN " +
               QuoteIdentifier(c.name) + " BLOB NOT NULL DEFAULT x'';";
      }
    }
    if (!schema_->companions().empty()) {
      sql += "UPDATE " + QuoteIdentifier(schema_->table()) + " SET ";
      bool first = true;
      for (const auto& c : schema_->companions()) {
        if (!first) sql += ", ";
        first = false;
        sql += QuoteIdentifier(c.name) + " = \"KVX$KEY\"(" +
               QuoteIdentifier(schema_->columns()[c.field].name) + ", " + (c.nocase ? "1" : "0") +
               ")";
      }
      sql += ";";
    }
    for (const auto& index : schema_->indexes()) {
      sql += "DROP INDEX IF EXISTS " + QuoteIdentifier(index.name) + ";" + index.sql + ";";
    }
    sql += "COMMIT;";
    rc = Exec(db, sql, BusyMode::kOpen);
  }
  if (rc != kNoError) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
  recover_seconds_ = saved_recover;
  // Statements of this connection were prepared against the old indexes.
  if (db_) {
    for (auto& [id, stmt] : statements_) sqlite3_finalize(stmt);
    statements_.clear();
    chain_.clear();
    chain_live_ = false;
  }
  return rc;
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

void NativeFile::ReleaseLocks() {
  // A live chain and the read transaction keep SQLite's shared lock;
  // dropping them lets other processes write.  The next read builds a new
  // chain from the current record.
  ResetChain();
  EndReadTransaction();
}

std::vector<std::pair<std::string, std::string>> NativeFile::Explain() {
  std::vector<std::pair<std::string, std::string>> out;
  if (!db_) return out;
  std::vector<StmtId> ids;
  for (Dir dir : {Dir::kForward, Dir::kBackward}) {
    for (RowidOp op : {RowidOp::kNone, RowidOp::kAfter, RowidOp::kFrom}) {
      ids.push_back({kRecordOrder, 0, op, dir, false});
    }
    for (int k = 0; k < static_cast<int>(decl_.keys.size()); ++k) {
      const int n = KeyWidth(k);
      for (int level = -1; level < n; ++level)
        ids.push_back({k, level, RowidOp::kNone, dir, false});
      for (RowidOp op : {RowidOp::kNone, RowidOp::kAfter, RowidOp::kFrom}) {
        ids.push_back({k, n, op, dir, false});
      }
    }
  }
  for (int k = 0; k < static_cast<int>(decl_.keys.size()); ++k) {
    ids.push_back({k, KeyWidth(k), RowidOp::kNone, Dir::kForward, true});
  }
  ids.push_back({kRecordOrder, 0, RowidOp::kNone, Dir::kForward, true});
  for (const StmtId& id : ids) {
    const std::string sql = StatementSql(id);
    sqlite3_stmt* stmt = nullptr;
    std::string plan;
    if (sqlite3_prepare_v2(db_, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &stmt, nullptr) ==
        SQLITE_OK) {
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        if (!plan.empty()) plan += "\n";
        plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
      }
    } else {
      plan = std::string("error: ") + sqlite3_errmsg(db_);
    }
    sqlite3_finalize(stmt);
    out.emplace_back(sql, plan);
  }
  return out;
}

class NativeDriver final : public FileDriver {
 public:
  std::string Register() const override { return "KARVINEX"; }
  std::unique_ptr<DriverFile> Attach(File& file) const override {
    return std::make_unique<NativeFile>(file);
  }
};

}  // namespace

void RegisterNativeDriver() {
  static const bool registered = [] {
    RegisterDriver(std::make_shared<NativeDriver>());
    return true;
  }();
  (void)registered;
}

std::string TransactionControlFile() { return TcfName(); }

std::vector<std::pair<std::string, std::string>> ExplainQueries(File& file) {
  auto* native = dynamic_cast<NativeFile*>(file.driver_file());
  return native ? native->Explain() : std::vector<std::pair<std::string, std::string>>{};
}

int PreparedStatements(File& file) {
  auto* native = dynamic_cast<NativeFile*>(file.driver_file());
  return native ? native->prepared() : 0;
}

}  // namespace mirabo::native
