// Checking a stored table against its declaration, and rebuilding its keys.
#include "storage/native/native_file.h"

#include <unistd.h>

#include <algorithm>

#include "runtime/error.h"
#include "runtime/text.h"

namespace mirabo::native {

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
    rc = Exec(db, sql, BusyMode::kOpen);
    // The substring indexes are keys too: made afresh from the table.
    if (rc == kNoError) rc = BuildTextIndex(db);
    if (rc == kNoError) rc = Exec(db, "COMMIT", BusyMode::kOpen);
  }
  if (rc != kNoError) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
  recover_seconds_ = saved_recover;
  // Statements of this connection were prepared against the old indexes.
  if (db_) {
    DropStatements([](const StmtId&) { return true; });
  }
  return rc;
}

}  // namespace mirabo::native
