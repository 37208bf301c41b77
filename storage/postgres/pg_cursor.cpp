// Reading a server table: page queries by keyset and the cursor that steps
// through their rows.
//
// A positioning (key start, key value, stored position) leaves a *pending*
// start; the next read fetches a page from it in the read's direction:
//
//   from a key's end:      ORDER BY c1, .., cn, recno LIMIT p
//   from a key value:      WHERE (c1, .., cn) >= (v1, .., vn) ORDER BY ...
//   from a position:       WHERE (c1, .., cn, recno) >= (v1, .., vn, r) ...
//   on from a record:      WHERE (c1, .., cn, recno) > (v1, .., vn, r) ...
//
// mirrored (<, <=, DESC) going backwards; record order is recno alone.  The
// server answers each with a search of the key's index (c1, .., cn, recno).
// Rows are then taken from the *buffer* one read at a time; when it runs
// out, the next page is fetched on from the last row taken.  A change of
// direction fetches anew from the *current* record.  Invariant: while the
// buffer is live, its rows follow the current record in buffer_forward_
// direction, in key order.
//
// Each page carries the table's version in its own snapshot.  After
// ReleaseLocks (between the program's events) the buffer is *stale*: it is
// read on only while the table's version is still the page's (the versions
// of every table are read in one query, which a run's check between its
// batches has usually made already), else the next page is fetched from the
// current record, so a read after a release sees what others committed.
//
// Pages grow (32, 128, 512, 2048, 4096 rows) while a run reads on, so a
// browse page costs one small query and a copy of a million records a few
// hundred.
#include <cstring>

#include "runtime/error.h"
#include "runtime/text.h"
#include "storage/postgres/pg_file.h"

namespace mirabo::postgres {
namespace {
constexpr int kFirstPage = 32;
constexpr int kLargestPage = 4096;
}  // namespace

bool PgFile::ValidKey(int key, bool record_order_too) const {
  if (key == kRecordOrder) return record_order_too;
  return key >= 0 && key < static_cast<int>(decl_.keys.size());
}

std::string PgFile::PageSql(bool forward, From from, int limit) const {
  static const std::vector<std::string> kRecno = {"recno"};
  const std::vector<std::string>& cols =
      order_ == kRecordOrder ? kRecno : schema_->KeyColumns(order_);
  std::string sql =
      "SELECT " + schema_->SelectList() +
      ", (SELECT version FROM mirabo.versions WHERE name = " + Literal(schema_->table()) +
      ") FROM " + PgSchema::Qualified(Table());
  if (from != From::kEnd) {
    // The value alone compares the key's components, without recno.
    const size_t n = from == From::kValueAtOrPast ? cols.size() - 1 : cols.size();
    std::string lhs, rhs;
    for (size_t i = 0; i < n; ++i) {
      lhs += (i ? ", " : "") + Quote(cols[i]);
      rhs += (i ? ", $" : "$") + std::to_string(i + 1);
    }
    const bool strict = from == From::kRowPast;
    const char* op = forward ? (strict ? " > " : " >= ") : (strict ? " < " : " <= ");
    sql += " WHERE (" + lhs + ")" + op + "(" + rhs + ")";
  }
  sql += " ORDER BY ";
  for (size_t i = 0; i < cols.size(); ++i) {
    sql += (i ? ", " : "") + Quote(cols[i]) + (forward ? "" : " DESC");
  }
  return sql + " LIMIT " + std::to_string(limit);
}

void PgFile::BindKey(int key, const keys::KeyValue& value, std::vector<Param>* params) const {
  for (size_t c = 0; c < value.size(); ++c) {
    const keys::KeyPart& part = value[c];
    switch (schema_->KeyColumnType(key, static_cast<int>(c))) {
      case kByteaOid:
        params->push_back(BytesParam(kByteaOid, std::get<std::string>(part)));
        break;
      case kFloat8Oid:
        params->push_back(Float8Param(std::holds_alternative<double>(part)
                                          ? std::get<double>(part)
                                          : static_cast<double>(std::get<int64_t>(part))));
        break;
      case kInt4Oid:
        params->push_back(Int4Param(static_cast<int32_t>(std::get<int64_t>(part))));
        break;
      default:
        params->push_back(Int2Param(static_cast<int16_t>(std::get<int64_t>(part))));
        break;
    }
  }
}

void PgFile::DecodeRow(const PGresult* result, int row, std::string* record, int64_t* recno) const {
  record->assign(decl_.record_size, '\0');
  *recno = Int4At(PQgetvalue(result, row, 0));
  int col = 1;
  for (const PgSchema::Column& c : schema_->columns()) {
    if (c.key_bytes) continue;
    const FieldDecl& f = decl_.fields[c.field];
    const char* v = PQgetvalue(result, row, col);
    const int n = PQgetlength(result, row, col);
    ++col;
    ValueRef ref{f.type, record->data() + f.offset, f.size};
    switch (c.type) {
      case kTextOid: {
        char* out = record->data() + f.offset;
        int w = 0;
        for (int k = 0; k < n && w < f.size;) {
          const auto ch = static_cast<unsigned char>(v[k]);
          if (ch < 0x80) {
            out[w++] = static_cast<char>(ch);
            ++k;
            continue;
          }
          // A character Windows-1252 cannot hold (written by another tool)
          // shows as '?'.
          int len = (ch & 0xE0) == 0xC0 ? 2 : (ch & 0xF0) == 0xE0 ? 3 : (ch & 0xF8) == 0xF0 ? 4 : 1;
          if (k + len > n) len = n - k;
          std::optional<std::string> b = Cp1252FromUtf8(std::string_view(v + k, len));
          out[w++] = b && b->size() == 1 ? (*b)[0] : '?';
          k += len;
        }
        std::memset(out + w, ' ', f.size - w);
        break;
      }
      case kInt4Oid:
        ref.SetNumber(Int4At(v));
        break;
      case kFloat8Oid:
        ref.SetNumber(Float8At(v));
        break;
      default:
        ref.SetNumber(Int2At(v));
        break;
    }
  }
}

void PgFile::TakeRow(size_t at) {
  std::memcpy(file_.record(), buffer_[at].data(), buffer_[at].size());
  has_current_ = true;
  current_recno_ = buffer_recnos_[at];
  current_record_ = buffer_[at];
}

int PgFile::FetchPage(bool forward, From from, const keys::KeyValue& value, int64_t recno) {
  buffer_live_ = false;
  const int limit = page_rows_ > 0 ? page_rows_ : kFirstPage;
  std::vector<Param> params;
  if (from != From::kEnd && order_ != kRecordOrder) BindKey(order_, value, &params);
  if (from == From::kRowAt || from == From::kRowPast) {
    params.push_back(Int4Param(static_cast<int32_t>(recno)));
  }
  Result r;
  if (const int rc = session_->Run(PageSql(forward, from, limit), params, Wait(), &r)) return rc;
  const int rows = PQntuples(r.get());
  buffer_.resize(rows);
  buffer_recnos_.resize(rows);
  for (int i = 0; i < rows; ++i) DecodeRow(r.get(), i, &buffer_[i], &buffer_recnos_[i]);
  const int version_column = PQnfields(r.get()) - 1;
  buffer_version_ = rows > 0 && !PQgetisnull(r.get(), 0, version_column)
                        ? static_cast<uint64_t>(Int8At(PQgetvalue(r.get(), 0, version_column)))
                        : 0;
  buffer_stale_ = rows == 0;  // an empty page tells no version
  buffer_at_ = 0;
  buffer_forward_ = forward;
  buffer_live_ = true;
  buffer_complete_ = rows < limit;
  page_rows_ = std::min(limit * 4, kLargestPage);
  return kNoError;
}

int PgFile::Read(bool forward) {
  if (!open_) return kFileNotOpen;
  int rc = kNoError;
  if (pending_ != Pending::kNone) {
    const Pending kind = pending_;
    pending_ = Pending::kNone;
    const From from = kind == Pending::kStart      ? From::kEnd
                      : kind == Pending::kValue    ? From::kValueAtOrPast
                      : kind == Pending::kPosition ? From::kRowAt
                                                   : From::kRowPast;
    rc = FetchPage(forward, from, pending_value_, pending_recno_);
  } else if (buffer_live_ && buffer_forward_ == forward) {
    if (buffer_stale_) {
      uint64_t now = 0;
      if (const int failed = session_->Version(schema_->table(), Wait(), &now)) return failed;
      buffer_stale_ = false;
      if (now != buffer_version_) {
        buffer_live_ = false;
        return Read(forward);  // from the current record, on the data as it is now
      }
    }
    session_->CountRead();
    if (buffer_at_ < buffer_.size()) {
      TakeRow(buffer_at_++);
      return kNoError;
    }
    if (buffer_complete_) return kRecordNotAvailable;
    keys::KeyValue value;
    if (order_ != kRecordOrder)
      value = keys::KeyFromRecord(decl_, decl_.keys[order_], current_record_.data());
    rc = FetchPage(forward, From::kRowPast, value, current_recno_);
  } else {
    if (!has_current_) return kRecordNotAvailable;
    keys::KeyValue value;
    if (order_ != kRecordOrder)
      value = keys::KeyFromRecord(decl_, decl_.keys[order_], current_record_.data());
    rc = FetchPage(forward, From::kRowPast, value, current_recno_);
  }
  if (rc != kNoError) return rc;
  if (buffer_at_ >= buffer_.size()) return kRecordNotAvailable;
  TakeRow(buffer_at_++);
  return kNoError;
}

int PgFile::SetKeyStart(int key) {
  if (!ValidKey(key, true)) return kInvalidKeyFile;
  order_ = key;
  pending_ = Pending::kStart;
  buffer_live_ = false;
  page_rows_ = kFirstPage;
  return kNoError;
}

int PgFile::SetKeyValue(int key) {
  if (!ValidKey(key, false)) return kInvalidKeyFile;
  order_ = key;
  pending_ = Pending::kValue;
  pending_value_ = keys::KeyFromRecord(decl_, decl_.keys[key], file_.record());
  buffer_live_ = false;
  page_rows_ = kFirstPage;
  return kNoError;
}

int PgFile::Position(int key, std::string* position) {
  if (!has_current_) return kRecordNotAvailable;
  if (!ValidKey(key, true)) return kInvalidKeyFile;
  *position = keys::EncodePosition(decl_, key == kRecordOrder ? nullptr : &decl_.keys[key],
                                   current_record_.data(), current_recno_);
  return kNoError;
}

int PgFile::SetPending(int key, std::string_view position, Pending kind) {
  if (!ValidKey(key, true)) return kInvalidKeyFile;
  keys::KeyValue value;
  int64_t recno = 0;
  if (!keys::DecodePosition(decl_, key == kRecordOrder ? nullptr : &decl_.keys[key], position,
                            &value, &recno)) {
    return kRecordNotFound;
  }
  order_ = key;
  pending_ = kind;
  pending_value_ = std::move(value);
  pending_recno_ = recno;
  buffer_live_ = false;
  page_rows_ = kFirstPage;
  return kNoError;
}

int PgFile::ResetToPosition(int key, std::string_view position) {
  return SetPending(key, position, Pending::kPosition);
}

int PgFile::ResetPastPosition(int key, std::string_view position) {
  return SetPending(key, position, Pending::kPastPosition);
}

int PgFile::GetByKey(int key) {
  if (!open_) return kFileNotOpen;
  if (!ValidKey(key, false)) return kInvalidKeyFile;
  const std::vector<std::string>& cols = schema_->KeyColumns(key);
  std::string where, order;
  for (size_t i = 0; i + 1 < cols.size(); ++i) {
    where += (i ? " AND " : "") + Quote(cols[i]) + " = $" + std::to_string(i + 1);
  }
  for (size_t i = 0; i < cols.size(); ++i) order += (i ? ", " : "") + Quote(cols[i]);
  const std::string sql = "SELECT " + schema_->SelectList() + " FROM " +
                          PgSchema::Qualified(Table()) + " WHERE " + where + " ORDER BY " + order +
                          " LIMIT 1";
  std::vector<Param> params;
  BindKey(key, keys::KeyFromRecord(decl_, decl_.keys[key], file_.record()), &params);
  Result r;
  if (const int rc = session_->Run(sql, params, Wait(), &r)) return rc;
  if (PQntuples(r.get()) == 0) return kRecordNotFound;
  buffer_.resize(1);
  buffer_recnos_.resize(1);
  DecodeRow(r.get(), 0, &buffer_[0], &buffer_recnos_[0]);
  TakeRow(0);
  buffer_live_ = false;  // reading on continues from this record
  return kNoError;
}

int PgFile::GetByPosition(int key, std::string_view position) {
  if (!open_) return kFileNotOpen;
  if (!ValidKey(key, true)) return kInvalidKeyFile;
  keys::KeyValue value;
  int64_t recno = 0;
  const KeyDecl* k = key == kRecordOrder ? nullptr : &decl_.keys[key];
  if (!keys::DecodePosition(decl_, k, position, &value, &recno)) return kRecordNotFound;
  const std::string sql = "SELECT " + schema_->SelectList() + " FROM " +
                          PgSchema::Qualified(Table()) + " WHERE recno = $1";
  Result r;
  if (const int rc = session_->Run(sql, {Int4Param(static_cast<int32_t>(recno))}, Wait(), &r)) {
    return rc;
  }
  if (PQntuples(r.get()) == 0) return kRecordNotFound;
  std::string record;
  int64_t got = 0;
  DecodeRow(r.get(), 0, &record, &got);
  if (k) {
    // A record number given to another record (the table was loaded anew
    // meanwhile) does not name the record the position was taken from.
    const keys::KeyValue now = keys::KeyFromRecord(decl_, *k, record.data());
    for (size_t i = 0; i < now.size(); ++i) {
      if (keys::CompareKeyParts(now[i], value[i]) != 0) return kRecordNotFound;
    }
  }
  buffer_.assign(1, record);
  buffer_recnos_.assign(1, got);
  TakeRow(0);
  buffer_live_ = false;
  return kNoError;
}

void PgFile::ReleaseLocks() {
  // No lock is held between operations; what others commit meanwhile is
  // seen through the versions at the next read.
  if (buffer_live_) buffer_stale_ = true;
  session_->ForgetVersions();
}

}  // namespace mirabo::postgres
