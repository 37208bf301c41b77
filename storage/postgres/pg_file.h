// The per-file state of the server driver: its table, its reading cursor
// (pg_cursor.cpp) and its part in a load (pg_file.cpp).  Private to
// storage/postgres.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "runtime/file.h"
#include "runtime/file_driver.h"
#include "storage/keys/key_codec.h"
#include "storage/postgres/pg_schema.h"
#include "storage/postgres/pg_session.h"

namespace mirabo::postgres {

// The largest record number: recno is a signed 4-byte integer.
constexpr int64_t kMaxRecordNumber = 0x7FFFFFFF;

class PgFile final : public DriverFile {
 public:
  PgFile(File& file, std::shared_ptr<PgSession> session);
  ~PgFile() override;

  int Open(uint8_t access_mode) override;
  int Create() override;
  int Close() override;
  std::string Name() override;
  int Records(int64_t* count) override;
  int SetKeyStart(int key) override;
  int SetKeyValue(int key) override;
  int Next() override { return Read(true); }
  int Previous() override { return Read(false); }
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

  PgSession& session() { return *session_; }
  // BeginTransaction without the file being open (BeginServerTransaction).
  [[nodiscard]] int BeginWriting();

  // The session's commit: a table rebuilt in the transaction gets its
  // indexes and takes the old one's place; then its version is raised.
  [[nodiscard]] int FinishLoad();
  [[nodiscard]] int RaiseVersion();
  // The transaction ended (committed or not): the file reads its table again.
  void EndLoad(bool committed);

 private:
  enum class Pending : uint8_t { kNone, kStart, kValue, kPosition, kPastPosition };
  // How a page query starts: from the order's end, at or past a key value,
  // at or past a key value and record number.
  enum class From : uint8_t { kEnd, kValueAtOrPast, kRowAt, kRowPast };

  WaitRule Wait(bool observe = true) const;
  bool ValidKey(int key, bool record_order_too) const;
  int SetPending(int key, std::string_view position, Pending kind);
  int Read(bool forward);
  // Fetches the next page into the buffer: rows of order_ read in
  // `forward` direction from `value`/`recno` as `from` says.
  int FetchPage(bool forward, From from, const keys::KeyValue& value, int64_t recno);
  std::string PageSql(bool forward, From from, int limit) const;
  void BindKey(int key, const keys::KeyValue& value, std::vector<Param>* params) const;
  // Decodes row `row` of `result` (binary, SelectList order) into a record.
  void DecodeRow(const PGresult* result, int row, std::string* record, int64_t* recno) const;
  void TakeRow(size_t at);  // buffer row `at` becomes the current record
  void EncodeRecord(std::string* out, int64_t recno) const;  // appends one binary COPY row
  std::vector<Param> RecordParams() const;
  int CheckColumns();
  int StartWriting();
  std::string UniqueValue(int key, const char* record) const;
  std::string Table() const { return bulk_ ? load_table_ : schema_->table(); }

  File& file_;
  const FileDecl& decl_;
  std::shared_ptr<PgSession> session_;
  std::unique_ptr<PgSchema> schema_;
  bool open_ = false;
  bool writable_ = false;
  int hold_wait_ = 0;

  int order_ = kRecordOrder;
  Pending pending_ = Pending::kNone;
  keys::KeyValue pending_value_;
  int64_t pending_recno_ = 0;

  // The page buffer: records read ahead in buffer_forward_ direction.
  std::vector<std::string> buffer_;
  std::vector<int64_t> buffer_recnos_;
  size_t buffer_at_ = 0;
  bool buffer_forward_ = true;
  bool buffer_live_ = false;
  bool buffer_complete_ = false;  // the last page was short: nothing lies beyond it
  bool buffer_stale_ = false;     // read on only while the table's version is buffer_version_
  uint64_t buffer_version_ = 0;   // of the snapshot the page was read in
  int page_rows_ = 0;             // the size of the next page

  bool has_current_ = false;
  int64_t current_recno_ = 0;
  std::string current_record_;

  // Writing in a transaction.
  bool writing_ = false;  // joined the session's transaction
  bool bulk_ = false;     // building load_table_ to take the table's place
  std::string load_table_;
  std::string copy_sql_;  // the COPY of the table the adds go to
  int64_t next_recno_ = 0;
  std::vector<std::pair<int, std::unordered_set<std::string>>> unique_;  // per unique key
};

}  // namespace mirabo::postgres
