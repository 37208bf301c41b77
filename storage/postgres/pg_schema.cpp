#include "storage/postgres/pg_schema.h"

#include <filesystem>

#include "runtime/text.h"
#include "storage/postgres/pg_session.h"

namespace mirabo::postgres {

std::string Quote(const std::string& name) { return SqlQuoted(name, '"'); }

std::string Literal(const std::string& text) { return SqlQuoted(text, '\''); }

namespace {
std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

Oid TypeOf(FieldType t) {
  switch (t) {
    case FieldType::kString:
      return kTextOid;
    case FieldType::kLong:
      return kInt4Oid;
    case FieldType::kReal:
      return kFloat8Oid;
    default:
      return kInt2Oid;  // SHORT, and BYTE (0 to 255)
  }
}

const char* TypeName(Oid t) {
  switch (t) {
    case kTextOid:
      return "text";
    case kInt4Oid:
      return "integer";
    case kFloat8Oid:
      return "double precision";
    case kByteaOid:
      return "bytea";
    default:
      return "smallint";
  }
}
}  // namespace

std::string TableName(const std::string& declared) {
  std::string name(Clip(declared));
  const size_t bang = name.find("\\!");
  if (bang != std::string::npos) return Lower(std::string(Clip(name.substr(bang + 2))));
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return Lower(name);
}

PgSchema::PgSchema(const FileDecl& decl, std::string table)
    : decl_(&decl), table_(std::move(table)) {
  for (size_t i = 0; i < decl.fields.size(); ++i) {
    const FieldDecl& f = decl.fields[i];
    columns_.push_back({Lower(f.ColumnName()), TypeOf(f.type), static_cast<int>(i), false, false});
  }
  indexes_.push_back({"$recno", "PRIMARY KEY", -1});
  for (size_t k = 0; k < decl.keys.size(); ++k) {
    const KeyDecl& key = decl.keys[k];
    std::vector<std::string> cols;
    std::vector<Oid> types;
    for (int c : key.components) {
      const FieldDecl& f = decl.fields[c];
      if (f.type != FieldType::kString) {
        cols.push_back(columns_[c].name);
        types.push_back(columns_[c].type);
        continue;
      }
      const std::string name = "key$" + columns_[c].name + (key.nocase ? "$nc" : "");
      bool known = false;
      for (const Column& col : columns_) known = known || col.name == name;
      if (!known) columns_.push_back({name, kByteaOid, c, true, key.nocase});
      cols.push_back(name);
      types.push_back(kByteaOid);
    }
    std::string list;
    for (const std::string& c : cols) list += (list.empty() ? "" : ", ") + Quote(c);
    const std::string suffix = "$" + Lower(key.Name());
    if (!key.dup) indexes_.push_back({suffix + "$unique", "UNIQUE (" + list + ")", -1});
    indexes_.push_back({suffix, "(" + list + ", recno)", static_cast<int>(k)});
    cols.push_back("recno");
    types.push_back(kInt4Oid);
    key_columns_.push_back(std::move(cols));
    key_types_.push_back(std::move(types));
  }
}

std::string PgSchema::Qualified(const std::string& table) {
  return std::string(kSchema) + "." + Quote(table);
}

bool PgSchema::HasUniqueKey() const {
  for (const KeyDecl& k : decl_->keys) {
    if (!k.dup) return true;
  }
  return false;
}

std::string PgSchema::CreateTableSql(const std::string& table) const {
  std::string sql = "CREATE TABLE " + Qualified(table) + " (recno integer NOT NULL";
  for (const Column& c : columns_)
    sql += ", " + Quote(c.name) + " " + TypeName(c.type) + " NOT NULL";
  sql += "); CREATE TRIGGER " + Quote(table + "$version") +
         " AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON " + Qualified(table) +
         " FOR EACH STATEMENT EXECUTE FUNCTION mirabo.raise_version()";
  return sql;
}

std::vector<std::string> PgSchema::CreateIndexSql(const std::string& table,
                                                  const std::string& name_table) const {
  std::vector<std::string> out;
  for (const Index& index : indexes_) {
    const std::string name = Quote(IndexName(index, name_table));
    if (index.key < 0) {
      // Constraints, so that the server refuses a duplicate whoever writes.
      const std::string def =
          index.definition == "PRIMARY KEY" ? "PRIMARY KEY (recno)" : index.definition;
      out.push_back("ALTER TABLE " + Qualified(table) + " ADD CONSTRAINT " + name + " " + def);
    } else {
      out.push_back("CREATE INDEX " + name + " ON " + Qualified(table) + " " + index.definition);
    }
  }
  return out;
}

std::string PgSchema::SelectList() const {
  std::string s = "recno";
  for (const Column& c : columns_) {
    if (!c.key_bytes) s += ", " + Quote(c.name);
  }
  return s;
}

std::string PgSchema::CopySql(const std::string& table, bool fresh) const {
  std::string s = "COPY " + Qualified(table) + " (recno";
  for (const Column& c : columns_) s += ", " + Quote(c.name);
  return s + ") FROM STDIN (FORMAT binary" + (fresh ? ", FREEZE" : "") + ")";
}

std::string PgSchema::InsertSql() const {
  std::string names = "recno",
              values = "(SELECT coalesce(max(recno), 0) + 1 FROM " + Qualified() + ")";
  int n = 0;
  for (const Column& c : columns_) {
    names += ", " + Quote(c.name);
    values += ", $" + std::to_string(++n);
  }
  return "INSERT INTO " + Qualified() + " (" + names + ") VALUES (" + values + ") RETURNING recno";
}

}  // namespace mirabo::postgres
