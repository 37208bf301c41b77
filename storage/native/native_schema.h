// The SQLite schema that holds one declared table: a column per field, a
// companion column per string key component, and an index per key.  The
// layout is documented field by field in docs/formats/native-store.md.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "runtime/file_decl.h"

namespace mirabo::native {

std::string QuoteIdentifier(const std::string& name);

class NativeSchema {
 public:
  NativeSchema(const FileDecl& decl, std::string table);

  struct Column {
    std::string name;
    std::string type;  // "TEXT", "INTEGER" or "REAL"
  };
  // The companion column that carries a string component in index order.
  struct Companion {
    int field;
    bool nocase;
    std::string name;
  };
  struct Index {
    std::string name;                  // "<table>$<key name>"
    std::vector<std::string> columns;  // one per key component
    bool unique;
    std::string sql;  // the CREATE INDEX statement, as stored
  };

  const std::string& table() const { return table_; }
  // The database of the connection that holds the table: "main", or the
  // name it was attached under.  Statements name the table through it.
  void SetDatabase(std::string name) { database_ = std::move(name); }
  const std::string& database() const { return database_; }
  // "<database>"."<table>".
  std::string QualifiedTable() const;
  const std::vector<Column>& columns() const { return columns_; }
  const std::vector<Companion>& companions() const { return companions_; }
  const std::vector<Index>& indexes() const { return indexes_; }

  // The index column that orders component `component` of key `key`.
  const std::string& KeyColumn(int key, int component) const;

  std::string CreateTableSql() const;
  // CREATE INDEX and DROP INDEX for `index` in the table's database (the
  // stored form, index.sql, names no database).
  std::string CreateIndexSql(const Index& index) const;
  std::string DropIndexSql(const Index& index) const;
  // INSERT with one parameter per column, then one per companion.
  std::string InsertSql() const;
  // "rowid, <data columns>": the columns a read selects, in field order.
  std::string SelectList() const;

  // The substring index of a text_indexed field: an FTS5 table of trigrams
  // over the column, "<table>$TEXT$<column>", reading its text from the table
  // itself, and three triggers ("...$AI", "$AD", "$AU") that keep it exact
  // in the transaction of every write, by this program or any other client.
  struct TextIndex {
    int field;
    std::string name;
  };
  const std::vector<TextIndex>& text_indexes() const { return text_indexes_; }
  // Statements (each without its ";") that create the index's table, or its
  // triggers, in the table's database.
  std::string CreateTextTableSql(const TextIndex& text) const;
  std::vector<std::string> CreateTextTriggersSql(const TextIndex& text) const;
  // The insert trigger alone: a bulk fill drops it and rebuilds the index
  // once at the end.
  std::string InsertTriggerName(const TextIndex& text) const { return text.name + "$AI"; }
  std::string DropTextIndexSql(const TextIndex& text) const;
  // Fills the index afresh from the table.
  std::string RebuildTextSql(const TextIndex& text) const;
  // The record numbers whose text holds every trigram of the first
  // parameter (an FTS5 query), in record-number order, after the second, at
  // most the third.
  std::string FindTextSql(const TextIndex& text) const;
  // In the table's database.
  std::string Qualified(const std::string& name) const;

 private:
  const FileDecl* decl_;
  std::string table_;
  std::string database_ = "main";
  std::vector<Column> columns_;
  std::vector<Companion> companions_;
  std::vector<Index> indexes_;
  std::vector<std::vector<std::string>> key_columns_;
  std::vector<TextIndex> text_indexes_;
};

}  // namespace mirabo::native
