// The server tables that hold one declared table: the SQL the driver writes
// and reads them with.  Private to storage/postgres; the layout is
// documented in docs/formats/server-store.md.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "runtime/file_decl.h"

namespace mirabo::postgres {

constexpr char kSchema[] = "mirabo";

// "name" quoted as an SQL identifier.
std::string Quote(const std::string& name);
// 'text' quoted as an SQL string literal.
std::string Literal(const std::string& text);

// The table a declared name stands for: the name without folder, extension
// and anything before "\!", lower-cased ("FEATURES" is "features").
std::string TableName(const std::string& declared);

class PgSchema {
 public:
  PgSchema(const FileDecl& decl, std::string table);

  struct Column {
    std::string name;  // "product", "key$product$nc"
    Oid type;          // text, int2, int4, float8 or bytea
    int field;         // the declared field it holds
    bool key_bytes;    // a companion: the field's key bytes
    bool nocase;
  };
  // An index: the one that orders a key ((columns..., recno)), the unique
  // constraint of a unique key, or the record numbers' primary key.
  struct Index {
    std::string suffix;      // the index name is "<table><suffix>"
    std::string definition;  // "UNIQUE (...)" or "(...)" after ON <table>
    int key;                 // the key it orders, or -1
  };

  const std::string& table() const { return table_; }
  // mirabo."<table>", or of another table built the same way.
  std::string Qualified() const { return Qualified(table_); }
  static std::string Qualified(const std::string& table);

  const std::vector<Column>& columns() const { return columns_; }  // after recno
  const std::vector<Index>& indexes() const { return indexes_; }
  // The columns that order key `key`, then recno.
  const std::vector<std::string>& KeyColumns(int key) const { return key_columns_[key]; }
  Oid KeyColumnType(int key, int component) const { return key_types_[key][component]; }
  bool HasUniqueKey() const;

  // CREATE TABLE of `table` with the version trigger, without indexes.
  std::string CreateTableSql(const std::string& table) const;
  // The CREATE INDEX statements of `table`; index names start with
  // `name_table` (the table's final name, when it is built under another).
  std::vector<std::string> CreateIndexSql(const std::string& table,
                                          const std::string& name_table) const;
  std::string IndexName(const Index& index, const std::string& name_table) const {
    return name_table + index.suffix;
  }
  // "recno, <field columns>": what a read selects, in field order.
  std::string SelectList() const;
  // COPY of every column of `table` in binary format; `fresh` for a table
  // made in this transaction, whose rows are written frozen (readers never
  // rewrite its pages to note that the load committed).
  std::string CopySql(const std::string& table, bool fresh) const;
  // INSERT of one record with the next record number, returning it.
  std::string InsertSql() const;

 private:
  const FileDecl* decl_;
  std::string table_;
  std::vector<Column> columns_;
  std::vector<Index> indexes_;
  std::vector<std::vector<std::string>> key_columns_;
  std::vector<std::vector<Oid>> key_types_;
};

}  // namespace mirabo::postgres
