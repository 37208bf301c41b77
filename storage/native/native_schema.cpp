#include "storage/native/native_schema.h"

namespace mirabo::native {

std::string QuoteIdentifier(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

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

std::string NativeSchema::SelectList() const {
  std::string s = "rowid";
  for (const Column& c : columns_) s += ", " + QuoteIdentifier(c.name);
  return s;
}

}  // namespace mirabo::native
