#include "storage/native/native_schema.h"

#include "runtime/text.h"

namespace mirabo::native {

std::string QuoteIdentifier(const std::string& name) { return SqlQuoted(name, '"'); }

NativeSchema::NativeSchema(const FileDecl& decl, std::string table)
    : decl_(&decl), table_(std::move(table)) {
  for (const FieldDecl& f : decl.fields) {
    const char* type = f.type == FieldType::kString ? "TEXT"
                       : f.type == FieldType::kReal ? "REAL"
                                                    : "INTEGER";
    columns_.push_back({f.ColumnName(), type});
  }
  for (size_t k = 0; k < decl.keys.size(); ++k) {
    const KeyDecl& key = decl.keys[k];
    Index index;
    index.name = table_ + "$" + key.Name();
    index.unique = !key.dup;
    std::vector<std::string> cols;
    for (int c : key.components) {
      const FieldDecl& f = decl.fields[c];
      if (f.type != FieldType::kString) {
        cols.push_back(columns_[c].name);
        continue;
      }
      const bool nocase = key.nocase;
      std::string name = "KEY$" + columns_[c].name + (nocase ? "$NC" : "");
      bool known = false;
      for (const Companion& comp : companions_) known = known || comp.name == name;
      if (!known) companions_.push_back({c, nocase, name});
      cols.push_back(name);
    }
    index.columns = cols;
    index.sql = std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " +
                QuoteIdentifier(index.name) + " ON " + QuoteIdentifier(table_) + " (";
    for (size_t i = 0; i < cols.size(); ++i) {
      if (i) index.sql += ", ";
      index.sql += QuoteIdentifier(cols[i]);
    }
    index.sql += ")";
    key_columns_.push_back(std::move(cols));
    indexes_.push_back(std::move(index));
  }
  for (int field : decl.text_indexed) {
    text_indexes_.push_back({field, table_ + "$TEXT$" + columns_[field].name});
  }
}

const std::string& NativeSchema::KeyColumn(int key, int component) const {
  return key_columns_[key][component];
}

std::string NativeSchema::CreateTableSql() const {
  std::string sql = "CREATE TABLE " + QuoteIdentifier(table_) + " (";
  bool first = true;
  for (const Column& c : columns_) {
    if (!first) sql += ", ";
    first = false;
    sql += QuoteIdentifier(c.name) + " " + c.type + " NOT NULL";
  }
  for (const Companion& c : companions_) sql += ", " + QuoteIdentifier(c.name) + " BLOB NOT NULL";
  sql += ")";
  return sql;
}

std::string NativeSchema::InsertSql() const {
  std::string names, params;
  int n = 0;
  auto add = [&](const std::string& name) {
    if (n++) {
      names += ", ";
      params += ", ";
    }
    names += QuoteIdentifier(name);
    params += "?";
  };
  for (const Column& c : columns_) add(c.name);
  for (const Companion& c : companions_) add(c.name);
  return "INSERT INTO " + QualifiedTable() + " (" + names + ") VALUES (" + params + ")";
}

std::string NativeSchema::QualifiedTable() const {
  return QuoteIdentifier(database_) + "." + QuoteIdentifier(table_);
}

std::string NativeSchema::CreateIndexSql(const Index& index) const {
  // SQLite names the database on the index, never on the table it indexes.
  const std::string plain = "INDEX " + QuoteIdentifier(index.name);
  std::string sql = index.sql;
  sql.replace(sql.find(plain), plain.size(),
              "INDEX " + QuoteIdentifier(database_) + "." + QuoteIdentifier(index.name));
  return sql;
}

std::string NativeSchema::DropIndexSql(const Index& index) const {
  return "DROP INDEX " + QuoteIdentifier(database_) + "." + QuoteIdentifier(index.name);
}

std::string NativeSchema::Qualified(const std::string& name) const {
  return QuoteIdentifier(database_) + "." + QuoteIdentifier(name);
}

std::string NativeSchema::CreateTextTableSql(const TextIndex& text) const {
  // Trigrams find any substring of three characters or more; folding case
  // is the tokenizer's own.  "detail=none" keeps only which records hold a
  // trigram and no sizes, the least the search needs: the smallest index.
  return "CREATE VIRTUAL TABLE " + Qualified(text.name) + " USING fts5(" +
         QuoteIdentifier(columns_[text.field].name) + ", content=" + QuoteIdentifier(table_) +
         ", content_rowid='rowid', tokenize='trigram', detail='none', columnsize=0)";
}

std::vector<std::string> NativeSchema::CreateTextTriggersSql(const TextIndex& text) const {
  // A trigger's table and body name no database: SQLite reads them in the
  // trigger's own.
  const std::string column = QuoteIdentifier(columns_[text.field].name);
  const std::string index = QuoteIdentifier(text.name);
  const std::string on = " ON " + QuoteIdentifier(table_) + " BEGIN ";
  const std::string add =
      "INSERT INTO " + index + " (rowid, " + column + ") VALUES (new.rowid, new." + column + ");";
  const std::string remove = "INSERT INTO " + index + " (" + index + ", rowid, " + column +
                             ") VALUES ('delete', old.rowid, old." + column + ");";
  return {
      "CREATE TRIGGER " + Qualified(InsertTriggerName(text)) + " AFTER INSERT" + on + add + " END",
      "CREATE TRIGGER " + Qualified(text.name + "$AD") + " AFTER DELETE" + on + remove + " END",
      "CREATE TRIGGER " + Qualified(text.name + "$AU") + " AFTER UPDATE" + on + remove + add +
          " END",
  };
}

std::string NativeSchema::DropTextIndexSql(const TextIndex& text) const {
  std::string sql;
  for (const char* trigger : {"$AI", "$AD", "$AU"}) {
    sql += "DROP TRIGGER IF EXISTS " + Qualified(text.name + trigger) + ";";
  }
  return sql + "DROP TABLE IF EXISTS " + Qualified(text.name);
}

std::string NativeSchema::RebuildTextSql(const TextIndex& text) const {
  return "INSERT INTO " + Qualified(text.name) + " (" + QuoteIdentifier(text.name) +
         ") VALUES ('rebuild')";
}

std::string NativeSchema::FindTextSql(const TextIndex& text) const {
  return "SELECT rowid FROM " + Qualified(text.name) + " WHERE " + QuoteIdentifier(text.name) +
         " MATCH ? AND rowid > ? ORDER BY rowid LIMIT ?";
}

std::string NativeSchema::SelectList() const {
  std::string s = "rowid";
  for (const Column& c : columns_) s += ", " + QuoteIdentifier(c.name);
  return s;
}

}  // namespace mirabo::native
