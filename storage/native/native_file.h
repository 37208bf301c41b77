// The per-file state of the native driver, shared by the files that
// implement it: the connection and statements (native_file.cpp), the reading
// cursor (native_cursor.cpp), the schema checks and key rebuilding
// (native_schema_check.cpp) and the mapping of SQLite's results onto the
// runtime's codes (native_errors.cpp).  Private to storage/native.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "runtime/file.h"
#include "runtime/file_driver.h"
#include "storage/keys/key_codec.h"
#include "storage/native/native_schema.h"

namespace mirabo::native {

using keys::CompareKeyParts;
using keys::DecodePosition;
using keys::EncodeKeyPart;
using keys::EncodePosition;
using keys::KeyFromRecord;
using keys::KeyPart;
using keys::KeyValue;

class JointTransaction;

constexpr int kApplicationId = 0x4B565831;  // "KVX1"

// Positions hold a record number in four bytes.
constexpr int64_t kMaxRecordNumber = 0xFFFFFFFF;

// The FTS5 query that finds the records whose text may hold `cp1252`: all
// its trigrams.  Empty for a text of fewer than three characters.
std::string TextQuery(std::string_view cp1252);

// The transaction control file's name, as the last "TCF=" set it.
std::string& TcfName();

struct ResolvedName {
  std::string path;   // full file name
  std::string table;  // table inside the file
  bool table_named = false;
};

// The declared name completed to a full name in the current directory, with
// ".KVX" added when it has no extension, and the table that "\!" names.
ResolvedName ResolveName(const std::string& declared);

bool DeclarationFits(const FileDecl& decl);

// The runtime's key form of a text column, for companion columns: the
// Windows-1252 bytes without trailing blanks, upper-cased when asked.
void KeyFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv);

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

class NativeFile final : public DriverFile {
 public:
  explicit NativeFile(File& file) : file_(file), decl_(file.decl()) {}
  ~NativeFile() override { (void)Close(); }

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
  int DataVersion(uint64_t* version) override;
  int FindText(int field, std::string_view text, int64_t after, size_t limit,
               std::vector<int64_t>* records) override;
  int GetByRecord(int64_t record) override;
  int RecordNumber(int64_t* record) override;

  std::vector<std::pair<std::string, std::string>> Explain();
  int prepared() const { return prepared_; }

 private:
  friend class JointTransaction;
  enum class PendingKind : uint8_t { kNone, kStart, kValue, kPosition, kPastPosition };
  int SetPendingPosition(int key, std::string_view position, PendingKind kind);
  enum class BusyMode : uint8_t { kOpen, kRead };

  static int BusyCallback(void* self, int count);
  // The file of this connection (or, for the connection of a joint
  // transaction, of any file it attached) that another process holds locked.
  void FindLockHolder();

  int OpenConnection(const std::string& path, int flags, sqlite3** db);
  void CloseConnection();
  int VerifySchema(sqlite3* db, bool full);
  int CheckRecordNumbers();
  // A journal left beside the file that SQLite does not take for hot (a
  // writer killed between the steps of a multi-file commit leaves one whose
  // super-journal is gone) is never used again: a writable open removes it.
  void RemoveStaleJournal();
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
  // Builds the keys that StartBulkIfEmpty deferred.
  int FinishBulk();
  // The substring indexes (native_text_index.cpp): the statements that make
  // them on a new table; whether one is whole in `db`; made afresh from the
  // table; kept out of a bulk fill and brought up to date at its end.
  std::vector<std::string> TextIndexSql() const;
  int TextIndexPresent(sqlite3* db, const NativeSchema::TextIndex& text, bool* present);
  int BuildTextIndex(sqlite3* db);
  int DeferTextIndex();
  int FinishTextIndex();
  // Finalizes the cached statements that `drop` selects; the chain, which
  // may point at them, is reset first.
  void DropStatements(bool (*drop)(const StmtId&));
  bool joined() const { return joint_ != nullptr; }
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
  int recover_seconds_ = 0;  // the last "RECOVER=n": armed while above 0
  int hold_wait_ = 0;
  int open_flags_ = 0;  // of the connection, to reopen it after a joint transaction
  BusyMode busy_mode_ = BusyMode::kRead;
  std::chrono::steady_clock::time_point busy_started_;
  std::string busy_file_;  // the file a wait is for, and who holds it
  int busy_holder_ = 0;

  // A joint transaction (joint_transaction.h) this file takes part in; a
  // member other than the first works through the first one's connection,
  // which attached its database under schema_'s database name.
  JointTransaction* joint_ = nullptr;
  NativeFile* leader_ = nullptr;
  std::vector<NativeFile*> followers_;

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
  std::vector<int> deferred_text_;  // fields whose substring index the bulk fill defers
};

}  // namespace mirabo::native
