// The substring index of a native table's text fields: creating it, keeping
// it through a bulk fill, building it for a file made without it, and asking
// it for the records that may hold a text.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/error.h"
#include "runtime/text.h"
#include "storage/native/native_file.h"

namespace mirabo::native {
namespace {

// The characters of a UTF-8 text, each as its bytes.
std::vector<std::string_view> Characters(std::string_view utf8) {
  std::vector<std::string_view> out;
  for (size_t i = 0; i < utf8.size();) {
    size_t n = 1;
    while (i + n < utf8.size() && (static_cast<unsigned char>(utf8[i + n]) & 0xC0) == 0x80) ++n;
    out.push_back(utf8.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace

std::string TextQuery(std::string_view cp1252) {
  const std::string utf8 = Utf8FromCp1252(cp1252);
  const std::vector<std::string_view> chars = Characters(utf8);
  if (chars.size() < 3) return {};
  // Every trigram of the text, each a quoted string: a record that holds the
  // text holds them all.  Order within the text is the caller's test.
  std::vector<std::string> seen;
  std::string query;
  for (size_t i = 0; i + 3 <= chars.size(); ++i) {
    std::string trigram;
    for (size_t k = i; k < i + 3; ++k) trigram.append(chars[k]);
    bool known = false;
    for (const std::string& s : seen) known = known || s == trigram;
    if (known) continue;
    seen.push_back(trigram);
    if (!query.empty()) query += " AND ";
    query += '"';
    for (char c : trigram) {
      if (c == '"') query += '"';
      query += c;
    }
    query += '"';
  }
  return query;
}

std::vector<std::string> NativeFile::TextIndexSql() const {
  std::vector<std::string> sql;
  for (const auto& text : schema_->text_indexes()) {
    sql.push_back(schema_->CreateTextTableSql(text));
    for (std::string& t : schema_->CreateTextTriggersSql(text)) sql.push_back(std::move(t));
  }
  return sql;
}

int NativeFile::TextIndexPresent(sqlite3* db, const NativeSchema::TextIndex& text, bool* present) {
  // The table and all three triggers: an index that one write could miss is
  // no index.
  const std::string sql = "SELECT count(*) FROM " + QuoteIdentifier(schema_->database()) +
                          ".sqlite_master WHERE name IN (?, ?, ?, ?)";
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    const std::string names[] = {text.name, text.name + "$AI", text.name + "$AD",
                                 text.name + "$AU"};
    for (int i = 0; i < 4; ++i) {
      sqlite3_bind_text(stmt, i + 1, names[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    rc = sqlite3_step(stmt);
  }
  if (rc == SQLITE_ROW) *present = sqlite3_column_int(stmt, 0) == 4;
  sqlite3_finalize(stmt);
  return rc == SQLITE_ROW ? kNoError : MapError(rc, db, BusyMode::kRead);
}

int NativeFile::BuildTextIndex(sqlite3* db) {
  std::string sql;
  for (const auto& text : schema_->text_indexes()) {
    sql += schema_->DropTextIndexSql(text) + ";";
    sql += schema_->CreateTextTableSql(text) + ";";
    sql += schema_->RebuildTextSql(text) + ";";
    for (const std::string& t : schema_->CreateTextTriggersSql(text)) sql += t + ";";
  }
  return sql.empty() ? kNoError : Exec(db, sql, BusyMode::kRead);
}

int NativeFile::DeferTextIndex() {
  // The rows of an empty table filled in one transaction are indexed once,
  // at the commit, not one by one.
  std::string sql;
  for (const auto& text : schema_->text_indexes()) {
    bool present = false;
    if (const int rc = TextIndexPresent(db_, text, &present); rc != kNoError) return rc;
    if (!present) continue;
    sql += "DROP TRIGGER " + schema_->Qualified(schema_->InsertTriggerName(text)) + ";";
    deferred_text_.push_back(text.field);
  }
  return sql.empty() ? kNoError : Exec(db_, sql, BusyMode::kRead);
}

int NativeFile::FinishTextIndex() {
  std::string sql;
  for (const auto& text : schema_->text_indexes()) {
    bool deferred = false;
    for (int f : deferred_text_) deferred = deferred || f == text.field;
    if (!deferred) continue;
    sql += schema_->RebuildTextSql(text) + ";";
    sql += schema_->CreateTextTriggersSql(text)[0] + ";";
  }
  deferred_text_.clear();
  return sql.empty() ? kNoError : Exec(db_, sql, BusyMode::kRead);
}

int NativeFile::FindText(int field, std::string_view text, int64_t after, size_t limit,
                         std::vector<int64_t>* records) {
  records->clear();
  if (!db_) return kFileNotOpen;
  const NativeSchema::TextIndex* index = nullptr;
  for (const auto& t : schema_->text_indexes()) {
    if (t.field == field) index = &t;
  }
  const std::string query = TextQuery(text);
  if (!index || query.empty()) return kUnsupportedFunction;
  EnsureReadTransaction();
  bool present = false;
  if (const int rc = TextIndexPresent(db_, *index, &present); rc != kNoError) return rc;
  if (!present) return kUnsupportedFunction;  // a file made before the index, or by another program

  const std::string sql = schema_->FindTextSql(*index);
  sqlite3_stmt* stmt = nullptr;
  busy_mode_ = BusyMode::kRead;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(stmt, 1, query.data(), static_cast<int>(query.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(stmt, 2, after);
    sqlite3_bind_int64(stmt, 3, static_cast<int64_t>(std::min<size_t>(limit, INT64_MAX)));
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) records->push_back(sqlite3_column_int64(stmt, 0));
  }
  sqlite3_finalize(stmt);
  if (rc == SQLITE_DONE) return kNoError;
  records->clear();
  return MapError(rc, db_, BusyMode::kRead);
}

int NativeFile::GetByRecord(int64_t record) {
  if (record <= 0 || record > kMaxRecordNumber) return kRecordNotFound;
  return GetByPosition(kRecordOrder, EncodePosition(decl_, nullptr, nullptr, record));
}

int NativeFile::RecordNumber(int64_t* record) {
  if (!has_current_) return kRecordNotAvailable;
  *record = current_rowid_;
  return kNoError;
}

}  // namespace mirabo::native
