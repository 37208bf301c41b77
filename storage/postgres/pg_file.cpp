// A server table's life: open, create, close, options, adding records and
// its part in a transaction (pg_session.h), including the rebuild of a
// table a load fills anew.
#include "storage/postgres/pg_file.h"

#include <cstring>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/option_text.h"
#include "runtime/text.h"

namespace mirabo::postgres {
namespace {

// What every table of the schema shares: the schema, the versions and the
// trigger function that raises them.  Made by the first Create.
constexpr char kInfrastructureSql[] = R"sql(
CREATE SCHEMA IF NOT EXISTS mirabo;
CREATE TABLE IF NOT EXISTS mirabo.versions (name text PRIMARY KEY, version bigint NOT NULL);
DO $do$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace
                 WHERE n.nspname = 'mirabo' AND p.proname = 'raise_version') THEN
    CREATE FUNCTION mirabo.raise_version() RETURNS trigger LANGUAGE plpgsql AS $f$
    BEGIN
      UPDATE mirabo.versions SET version = version + 1 WHERE name = TG_TABLE_NAME;
      RETURN NULL;
    END $f$;
  END IF;
END $do$)sql";

constexpr char kColumnsSql[] =
    "SELECT a.attname::text, a.atttypid::int4 FROM pg_catalog.pg_attribute a"
    " JOIN pg_catalog.pg_class c ON c.oid = a.attrelid"
    " JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
    " WHERE n.nspname = $1 AND c.relname = $2 AND c.relkind IN ('r', 'p')"
    " AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum";

constexpr char kIndexesSql[] =
    "SELECT i.relname::text FROM pg_catalog.pg_index x"
    " JOIN pg_catalog.pg_class i ON i.oid = x.indexrelid"
    " JOIN pg_catalog.pg_class t ON t.oid = x.indrelid"
    " JOIN pg_catalog.pg_namespace n ON n.oid = t.relnamespace"
    " WHERE n.nspname = $1 AND t.relname = $2";

// The advisory lock that one writing transaction at a time holds: two loads
// at once would each build a table to put in the other's place.
constexpr char kWriterLock[] = "SELECT pg_advisory_xact_lock(4924761)";

Param Text(const std::string& s) { return BytesParam(kTextOid, s); }

}  // namespace

PgFile::PgFile(File& file, std::shared_ptr<PgSession> session)
    : file_(file), decl_(file.decl()), session_(std::move(session)) {}

PgFile::~PgFile() { (void)Close(); }

std::string PgFile::Name() {
  return std::string(kSchema) + "." + TableName(decl_.ExternalName()) + " on " +
         session_->display();
}

WaitRule PgFile::Wait(bool observe) const {
  return {
      std::string(kSchema) + "." + (schema_ ? schema_->table() : TableName(decl_.ExternalName())),
      hold_wait_, observe};
}

int PgFile::CheckColumns() {
  const std::vector<Param> names = {Text(kSchema), Text(schema_->table())};
  Result r;
  if (const int rc = session_->Run(kColumnsSql, names, Wait(), &r)) return rc;
  const int rows = PQntuples(r.get());
  if (rows == 0) return kFileNotFound;
  const auto& cols = schema_->columns();
  bool same = rows == static_cast<int>(cols.size()) + 1 &&
              std::string(PQgetvalue(r.get(), 0, 0)) == "recno" &&
              Int4At(PQgetvalue(r.get(), 0, 1)) == static_cast<int32_t>(kInt4Oid);
  for (int i = 1; same && i < rows; ++i) {
    same = cols[i - 1].name == std::string(PQgetvalue(r.get(), i, 0), PQgetlength(r.get(), i, 0)) &&
           Int4At(PQgetvalue(r.get(), i, 1)) == static_cast<int32_t>(cols[i - 1].type);
  }
  if (!same) return kInvalidRecordDeclaration;
  if (const int rc = session_->Run(kIndexesSql, names, Wait(), &r)) return rc;
  std::unordered_set<std::string> present;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    present.emplace(PQgetvalue(r.get(), i, 0), PQgetlength(r.get(), i, 0));
  }
  for (const PgSchema::Index& index : schema_->indexes()) {
    if (!present.count(schema_->IndexName(index, schema_->table()))) return kKeyFileMustBeRebuilt;
  }
  return kNoError;
}

int PgFile::Open(uint8_t access_mode) {
  if (open_) return kFileAlreadyOpen;
  schema_ = std::make_unique<PgSchema>(decl_, TableName(decl_.ExternalName()));
  // Only the catalogs are read: an open never waits for a load's lock.
  if (const int rc = CheckColumns()) return rc;
  open_ = true;
  writable_ = CanWrite(access_mode);
  order_ = kRecordOrder;
  pending_ = Pending::kNone;
  buffer_live_ = false;
  has_current_ = false;
  page_rows_ = 0;
  return kNoError;
}

int PgFile::Create() {
  schema_ = std::make_unique<PgSchema>(decl_, TableName(decl_.ExternalName()));
  const std::string& t = schema_->table();
  // One string of statements is one transaction of its own, or part of
  // the session's.
  std::string sql = std::string(kInfrastructureSql) + ";\nDROP TABLE IF EXISTS " +
                    schema_->Qualified() + ";\n" + schema_->CreateTableSql(t) + ";\n";
  for (const std::string& s : schema_->CreateIndexSql(t, t)) sql += s + ";\n";
  sql += "INSERT INTO mirabo.versions VALUES (" + Literal(t) +
         ", 1) ON CONFLICT (name) DO UPDATE SET version = mirabo.versions.version + 1";
  return session_->Exec(sql, Wait(false));
}

int PgFile::Close() {
  if (writing_ && session_->in_transaction()) (void)session_->Rollback();
  open_ = false;
  buffer_live_ = false;
  return kNoError;
}

int PgFile::Records(int64_t* count) {
  if (!open_) return kFileNotOpen;
  Result r;
  const std::string sql = "SELECT count(*) FROM " + PgSchema::Qualified(Table());
  if (const int rc = session_->Run(sql, {}, Wait(), &r)) return rc;
  *count = Int8At(PQgetvalue(r.get(), 0, 0));
  return kNoError;
}

std::vector<Param> PgFile::RecordParams() const {
  std::vector<Param> out;
  const char* record = file_.record();
  for (const PgSchema::Column& c : schema_->columns()) {
    const FieldDecl& f = decl_.fields[c.field];
    const std::string_view raw(record + f.offset, f.size);
    ValueRef ref{f.type, const_cast<char*>(record) + f.offset, f.size};
    if (c.key_bytes) {
      out.push_back(
          BytesParam(kByteaOid, std::get<std::string>(keys::EncodeKeyPart(f, c.nocase, raw))));
      continue;
    }
    switch (c.type) {
      case kTextOid:
        out.push_back(Text(Utf8FromCp1252(Clip(raw))));
        break;
      case kInt4Oid:
        out.push_back(Int4Param(static_cast<int32_t>(ref.GetNumber())));
        break;
      case kFloat8Oid:
        out.push_back(Float8Param(ref.GetNumber()));
        break;
      default:
        out.push_back(Int2Param(static_cast<int16_t>(ref.GetNumber())));
        break;
    }
  }
  return out;
}

void PgFile::EncodeRecord(std::string* out, int64_t recno) const {
  const char* record = file_.record();
  PutInt16(out, static_cast<int16_t>(schema_->columns().size() + 1));
  PutInt32(out, 4);
  PutInt32(out, static_cast<int32_t>(recno));
  // A value's length goes before it, written once the value is.
  auto with_length = [out](auto&& append) {
    const size_t at = out->size();
    PutInt32(out, 0);
    append();
    const auto n = static_cast<uint32_t>(out->size() - at - 4);
    const char b[4] = {static_cast<char>(n >> 24), static_cast<char>((n >> 16) & 0xFF),
                       static_cast<char>((n >> 8) & 0xFF), static_cast<char>(n & 0xFF)};
    out->replace(at, 4, b, 4);
  };
  for (const PgSchema::Column& c : schema_->columns()) {
    const FieldDecl& f = decl_.fields[c.field];
    const std::string_view raw(record + f.offset, f.size);
    const ValueRef ref{f.type, const_cast<char*>(record) + f.offset, f.size};
    if (c.key_bytes) {
      with_length([&] { *out += std::get<std::string>(keys::EncodeKeyPart(f, c.nocase, raw)); });
      continue;
    }
    switch (c.type) {
      case kTextOid:
        with_length([&] {
          for (unsigned char ch : Clip(raw)) {
            if (ch < 0x80) {
              out->push_back(static_cast<char>(ch));
            } else {
              *out += Utf8FromCp1252(std::string_view(reinterpret_cast<const char*>(&ch), 1));
            }
          }
        });
        break;
      case kInt4Oid:
        PutInt32(out, 4);
        PutInt32(out, static_cast<int32_t>(ref.GetNumber()));
        break;
      case kFloat8Oid:
        PutInt32(out, 8);
        PutFloat8(out, ref.GetNumber());
        break;
      default:
        PutInt32(out, 2);
        PutInt16(out, static_cast<int16_t>(ref.GetNumber()));
        break;
    }
  }
}

std::string PgFile::UniqueValue(int key, const char* record) const {
  std::vector<Param> params;
  BindKey(key, keys::KeyFromRecord(decl_, decl_.keys[key], record), &params);
  std::string out;
  for (const Param& p : params) {
    PutInt32(&out, static_cast<int32_t>(p.bytes.size()));
    out += p.bytes;
  }
  return out;
}

// The first write of this file in the session's transaction.  A table that
// is empty is built anew beside the old one (its indexes at the commit);
// otherwise the rows go into it as it is, numbered on from its last record,
// and the values of its unique keys are read so that a duplicate is refused
// at the record that makes it.
int PgFile::StartWriting() {
  session_->Join(this);
  writing_ = true;
  unique_.clear();
  for (size_t k = 0; k < decl_.keys.size(); ++k) {
    if (!decl_.keys[k].dup)
      unique_.emplace_back(static_cast<int>(k), std::unordered_set<std::string>{});
  }
  Result r;
  const std::string sql = "SELECT coalesce(max(recno), 0)::int4 FROM " + schema_->Qualified();
  if (const int rc = session_->Run(sql, {}, Wait(), &r)) return rc;
  next_recno_ = Int4At(PQgetvalue(r.get(), 0, 0));
  if (next_recno_ == 0) return Empty();
  for (auto& [key, values] : unique_) {
    const std::vector<std::string>& cols = schema_->KeyColumns(key);
    std::string list;
    for (size_t i = 0; i + 1 < cols.size(); ++i) list += (i ? ", " : "") + Quote(cols[i]);
    if (const int rc =
            session_->Run("SELECT " + list + " FROM " + schema_->Qualified(), {}, Wait(), &r)) {
      return rc;
    }
    for (int row = 0; row < PQntuples(r.get()); ++row) {
      std::string v;
      for (size_t i = 0; i + 1 < cols.size(); ++i) {
        const int c = static_cast<int>(i);
        PutInt32(&v, PQgetlength(r.get(), row, c));
        v.append(PQgetvalue(r.get(), row, c), PQgetlength(r.get(), row, c));
      }
      values.insert(std::move(v));
    }
  }
  return kNoError;
}

int PgFile::Add() {
  if (!open_) return kFileNotOpen;
  if (!writable_) return kAccessDenied;
  const char* record = file_.record();
  if (!session_->in_transaction()) {
    // One statement: the record number is the next after the last, taken
    // again when another writer took it first.
    for (int attempt = 0;; ++attempt) {
      Result r;
      const int rc = session_->Run(schema_->InsertSql(), RecordParams(), Wait(), &r);
      if (rc == kCreatesDuplicateKey && attempt < 3 &&
          session_->last_constraint() == schema_->table() + "$recno") {
        continue;
      }
      if (rc != kNoError) {
        if (CurrentError().code == kFileSystemError &&
            CurrentError().fs_text.find("out of range") != std::string::npos) {
          return SetFileSystemError(13, "the table holds the most records it can number");
        }
        return rc;
      }
      session_->ForgetVersions();
      has_current_ = true;
      current_recno_ = Int4At(PQgetvalue(r.get(), 0, 0));
      current_record_.assign(record, decl_.record_size);
      return kNoError;
    }
  }
  if (!writing_) {
    if (const int rc = StartWriting()) return rc;
  }
  std::vector<std::string> values;
  for (auto& [key, seen] : unique_) {
    values.push_back(UniqueValue(key, record));
    if (seen.count(values.back())) return kCreatesDuplicateKey;
  }
  if (next_recno_ >= kMaxRecordNumber) {
    return SetFileSystemError(13, "the table holds the most records it can number");
  }
  if (copy_sql_.empty()) copy_sql_ = schema_->CopySql(Table(), bulk_);
  std::string* buffer = nullptr;
  if (const int rc = session_->CopyBuffer(this, copy_sql_, &buffer)) return rc;
  EncodeRecord(buffer, next_recno_ + 1);
  if (const int rc = session_->RowCopied()) return rc;
  ++next_recno_;
  for (size_t i = 0; i < unique_.size(); ++i) unique_[i].second.insert(std::move(values[i]));
  has_current_ = true;
  current_recno_ = next_recno_;
  current_record_.assign(record, decl_.record_size);
  return kNoError;
}

int PgFile::Empty() {
  if (!open_) return kFileNotOpen;
  if (!writable_) return kAccessDenied;
  buffer_live_ = false;
  if (!session_->in_transaction()) {
    return session_->Exec("DELETE FROM " + schema_->Qualified(), Wait());
  }
  if (!writing_) {
    session_->Join(this);
    writing_ = true;
    for (size_t k = 0; k < decl_.keys.size(); ++k) {
      if (!decl_.keys[k].dup)
        unique_.emplace_back(static_cast<int>(k), std::unordered_set<std::string>{});
    }
  }
  // The new table is built beside the old one, which readers go on reading
  // until the commit puts the new one in its place.
  if (session_->copying() == this) {
    if (const int rc = session_->EndCopy()) return rc;
  }
  load_table_ = schema_->table() + "$load";
  const std::string sql = "DROP TABLE IF EXISTS " + PgSchema::Qualified(load_table_) + ";\n" +
                          schema_->CreateTableSql(load_table_);
  if (const int rc = session_->Exec(sql, Wait(false))) return rc;
  bulk_ = true;
  copy_sql_.clear();
  next_recno_ = 0;
  for (auto& u : unique_) u.second.clear();
  return kNoError;
}

int PgFile::FinishLoad() {
  if (!bulk_) return kNoError;
  const std::string& t = schema_->table();
  // Sorting a million keys in memory rather than in runs on disk: one load
  // at a time holds this, for this transaction only.
  std::string sql = "SET LOCAL maintenance_work_mem = '256MB';\n";
  for (const std::string& s : schema_->CreateIndexSql(load_table_, load_table_)) sql += s + ";\n";
  sql += "ANALYZE " + PgSchema::Qualified(load_table_);
  if (const int rc = session_->Exec(sql, Wait(false))) return rc;
  // Readers wait from here to the commit: only as long as the swap itself.
  if (const int rc = session_->LockWaiting(
          "LOCK TABLE " + schema_->Qualified() + " IN ACCESS EXCLUSIVE MODE", Wait())) {
    return rc;
  }
  sql = "DROP TABLE " + schema_->Qualified() + ";\nALTER TABLE " +
        PgSchema::Qualified(load_table_) + " RENAME TO " + Quote(t) + ";\nALTER TRIGGER " +
        Quote(load_table_ + "$version") + " ON " + schema_->Qualified() + " RENAME TO " +
        Quote(t + "$version");
  for (const PgSchema::Index& index : schema_->indexes()) {
    sql += ";\nALTER INDEX " + PgSchema::Qualified(schema_->IndexName(index, load_table_)) +
           " RENAME TO " + Quote(schema_->IndexName(index, t));
  }
  return session_->Exec(sql, Wait(false));
}

int PgFile::RaiseVersion() {
  return session_->Run(
      "INSERT INTO mirabo.versions VALUES ($1, 1) ON CONFLICT (name) DO UPDATE SET version = "
      "mirabo.versions.version + 1",
      {Text(schema_->table())}, Wait(false));
}

void PgFile::EndLoad(bool committed) {
  (void)committed;
  copy_sql_.clear();
  writing_ = false;
  bulk_ = false;
  load_table_.clear();
  unique_.clear();
  buffer_live_ = false;
}

int PgFile::BeginTransaction() {
  if (!open_) return kFileNotOpen;
  return BeginWriting();
}

int PgFile::BeginWriting() {
  if (session_->in_transaction()) return kNoError;
  if (const int rc = session_->Begin()) return rc;
  // One writing transaction at a time on the server.
  const int rc = session_->Run(kWriterLock, {}, {"the mirabo schema", hold_wait_, true});
  if (rc != kNoError) {
    const ErrorState saved = CurrentError();
    (void)session_->Rollback();
    RestoreError(saved);
  }
  return rc;
}

int PgFile::Commit() {
  if (!open_) return kFileNotOpen;
  return session_->Commit();
}

int PgFile::Rollback() {
  if (!open_) return kFileNotOpen;
  return session_->Rollback();
}

int PgFile::BuildKeys() {
  if (!schema_) schema_ = std::make_unique<PgSchema>(decl_, TableName(decl_.ExternalName()));
  const std::vector<Param> names = {Text(kSchema), Text(schema_->table())};
  Result r;
  if (const int rc = session_->Run(kIndexesSql, names, Wait(), &r)) return rc;
  std::unordered_set<std::string> present;
  for (int i = 0; i < PQntuples(r.get()); ++i) present.emplace(PQgetvalue(r.get(), i, 0));
  const std::vector<std::string> all = schema_->CreateIndexSql(schema_->table(), schema_->table());
  std::string sql;
  for (size_t i = 0; i < all.size(); ++i) {
    if (!present.count(schema_->IndexName(schema_->indexes()[i], schema_->table())))
      sql += all[i] + ";\n";
  }
  return sql.empty() ? kNoError : session_->Exec(sql, Wait(false));
}

int PgFile::Option(std::string_view text, std::string* answer) {
  answer->clear();
  const OptionText opt = ParseOption(text);
  if (opt.name == "PNM") {
    if (!open_) return kFileNotOpen;
    *answer = Name();
    return kNoError;
  }
  if (opt.name == "LOCKHOLDER") {
    // The server does not say which program holds a table.
    *answer = "0";
    return kNoError;
  }
  // The native store's settings mean nothing here, and are taken as given.
  if (opt.name == "FULLBUILD") {
    if (opt.is_query()) *answer = "OFF";
    return kNoError;
  }
  if (opt.name == "RECOVER") {
    if (opt.is_query()) *answer = "0";
    return kNoError;
  }
  if (opt.name == "TCF") return kNoError;
  return kUnsupportedFunction;
}

int PgFile::DataVersion(uint64_t* version) {
  if (!open_) return kFileNotOpen;
  return session_->Version(schema_->table(), Wait(), version);
}

}  // namespace mirabo::postgres
