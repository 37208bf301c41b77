// Reading a native file: its statements and the cursor that steps them.
//
// Per open file the driver keeps one connection and a cache of prepared
// statements.  A read walks a *chain* of statements, each a range search of the
// key's index: for the key (c1..cn, rowid) and a start value (v1..vn, r), going
// forwards,
//
//   level n:   c1=v1 AND .. AND cn=vn AND rowid > r     ORDER BY rowid
//   level n-1: c1=v1 AND .. AND cn > vn                 ORDER BY cn, rowid
//   ...
//   level 0:   c1 > v1                                  ORDER BY c1, .., cn, rowid
//
// and mirrored going backwards.  Each level is an index search; stepping them
// in turn yields the records after the start in key order without ever
// scanning a run of equal keys (a row-value comparison over (c1, rowid) does
// not search the index on SQLite 3.40).
//
// States: a *pending* position (key start, key value, stored position) set by
// the positioning operations; a *live* chain stepped by Next or Previous; and
// the *current* record, from which a change of direction, or a read after the
// locks were released, builds a new chain.  Invariant: while the chain is live
// its direction is cursor_dir_ and its statements have been reset and bound for
// this chain only.

#include "storage/native/native_file.h"

#include <cstdint>
#include <cstring>

#include "runtime/error.h"
#include "runtime/text.h"

namespace mirabo::native {

std::string NativeFile::StatementSql(const StmtId& id) const {
  std::string sql = "SELECT " + schema_->SelectList() + " FROM " + schema_->QualifiedTable();
  const char* dir = id.dir == Dir::kForward ? " ASC" : " DESC";
  if (id.key == kRecordOrder) {
    if (id.get) return sql + " WHERE rowid = ?";
    if (id.rowid_op != RowidOp::kNone) {
      const bool fwd = id.dir == Dir::kForward;
      const char* op = id.rowid_op == RowidOp::kFrom ? (fwd ? ">=" : "<=") : (fwd ? ">" : "<");
      sql += std::string(" WHERE rowid ") + op + " ?";
    }
    return sql + " ORDER BY rowid" + dir;
  }
  const int n = KeyWidth(id.key);
  sql += " INDEXED BY " + QuoteIdentifier(schema_->indexes()[id.key].name);
  auto col = [&](int c) { return QuoteIdentifier(schema_->KeyColumn(id.key, c)); };
  std::string where;
  std::string order;
  if (id.level < 0) {
    for (int c = 0; c < n; ++c) order += col(c) + dir + ", ";
  } else {
    for (int c = 0; c < id.level; ++c) where += (where.empty() ? "" : " AND ") + col(c) + " = ?";
    if (id.level < n) {
      where += (where.empty() ? "" : " AND ") + col(id.level) +
               (id.dir == Dir::kForward ? " > ?" : " < ?");
      for (int c = id.level; c < n; ++c) order += col(c) + dir + ", ";
    } else if (id.rowid_op != RowidOp::kNone) {
      const bool fwd = id.dir == Dir::kForward;
      const char* op = id.rowid_op == RowidOp::kFrom ? (fwd ? ">=" : "<=") : (fwd ? ">" : "<");
      where += (where.empty() ? "" : " AND ") + std::string("rowid ") + op + " ?";
    }
  }
  if (!where.empty()) sql += " WHERE " + where;
  sql += " ORDER BY " + order + "rowid" + dir;
  if (id.get) sql += " LIMIT 1";
  return sql;
}

sqlite3_stmt* NativeFile::Statement(const StmtId& id) {
  auto it = statements_.find(id);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = StatementSql(id);
  if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
      SQLITE_OK) {
    return nullptr;
  }
  statements_[id] = stmt;
  ++prepared_;
  return stmt;
}

void NativeFile::BindPart(sqlite3_stmt* stmt, int index, const KeyPart& part) {
  if (const auto* i = std::get_if<int64_t>(&part)) {
    sqlite3_bind_int64(stmt, index, *i);
  } else if (const auto* d = std::get_if<double>(&part)) {
    sqlite3_bind_double(stmt, index, *d);
  } else {
    const std::string& s = std::get<std::string>(part);
    sqlite3_bind_blob(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
}

void NativeFile::ResetChain() {
  for (sqlite3_stmt* s : chain_) sqlite3_reset(s);
  chain_.clear();
  chain_at_ = 0;
  chain_live_ = false;
}

bool NativeFile::BuildChain(int key, Dir dir, const KeyValue& value, bool with_rowid, int64_t rowid,
                            bool inclusive) {
  ResetChain();
  chain_dir_ = dir;
  const int n = KeyWidth(key);
  const RowidOp rop = with_rowid ? (inclusive ? RowidOp::kFrom : RowidOp::kAfter) : RowidOp::kNone;
  // The deepest level: equal keys, by record number.
  sqlite3_stmt* first = Statement({key, key == kRecordOrder ? 0 : n, rop, dir, false});
  if (!first) return false;
  int p = 1;
  for (int c = 0; c < n; ++c) BindPart(first, p++, value[c]);
  if (with_rowid) sqlite3_bind_int64(first, p, rowid);
  chain_.push_back(first);
  for (int level = n - 1; level >= 0; --level) {
    sqlite3_stmt* s = Statement({key, level, RowidOp::kNone, dir, false});
    if (!s) return false;
    for (int c = 0; c <= level; ++c) BindPart(s, c + 1, value[c]);
    chain_.push_back(s);
  }
  chain_live_ = true;
  return true;
}

void NativeFile::DecodeRow(sqlite3_stmt* stmt) {
  char* record = file_.record();
  for (size_t i = 0; i < decl_.fields.size(); ++i) {
    const FieldDecl& f = decl_.fields[i];
    const int col = static_cast<int>(i) + 1;
    ValueRef ref{f.type, record + f.offset, f.size};
    switch (f.type) {
      case FieldType::kString: {
        const unsigned char* text = sqlite3_column_text(stmt, col);
        const int n = sqlite3_column_bytes(stmt, col);
        char* out = record + f.offset;
        // Most text is ASCII: copy runs of eight such bytes whole.
        int w = 0, k = 0;
        for (uint64_t word; k + 8 <= n && w + 8 <= f.size; k += 8, w += 8) {
          std::memcpy(&word, text + k, 8);
          if (word & 0x8080808080808080ull) break;
          std::memcpy(out + w, &word, 8);
        }
        while (k < n && w < f.size) {
          const unsigned char c = text[k];
          if (c < 0x80) {
            out[w++] = static_cast<char>(c);
            ++k;
            continue;
          }
          // A multi-byte character: convert it alone; one the set cannot hold
          // (a file written by another tool) shows as '?'.
          int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
          if (k + len > n) len = n - k;
          std::optional<std::string> b =
              Cp1252FromUtf8(std::string_view(reinterpret_cast<const char*>(text + k), len));
          out[w++] = b && b->size() == 1 ? (*b)[0] : '?';
          k += len;
        }
        std::memset(out + w, ' ', f.size - w);
        break;
      }
      case FieldType::kReal:
        ref.SetNumber(sqlite3_column_double(stmt, col));
        break;
      default:
        ref.SetNumber(static_cast<double>(sqlite3_column_int64(stmt, col)));
        break;
    }
  }
  has_current_ = true;
  current_rowid_ = sqlite3_column_int64(stmt, 0);
  current_record_.assign(record, decl_.record_size);
}

void NativeFile::EnsureReadTransaction() {
  if (in_read_transaction_ || in_transaction_ || !db_) return;
  in_read_transaction_ = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void NativeFile::EndReadTransaction() {
  if (!in_read_transaction_) return;
  in_read_transaction_ = false;
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

int NativeFile::StepInto(sqlite3_stmt* stmt) {
  EnsureReadTransaction();
  busy_mode_ = BusyMode::kRead;
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) DecodeRow(stmt);
  return rc;
}

int NativeFile::Read(Dir dir) {
  if (!db_) return kFileNotOpen;
  bool built = true;
  if (pending_ != PendingKind::kNone) {
    if (pending_ == PendingKind::kStart) {
      ResetChain();
      chain_dir_ = dir;
      sqlite3_stmt* s =
          Statement({order_, order_ == kRecordOrder ? 0 : -1, RowidOp::kNone, dir, false});
      built = s != nullptr;
      if (built) {
        chain_.push_back(s);
        chain_live_ = true;
      }
    } else if (pending_ == PendingKind::kValue) {
      built = BuildChain(order_, dir, pending_value_, false, 0, true);
    } else {
      built = BuildChain(order_, dir, pending_value_, true, pending_rowid_,
                         pending_ == PendingKind::kPosition);
    }
    pending_ = PendingKind::kNone;
  } else if (!chain_live_ || chain_dir_ != dir) {
    if (!has_current_) return kRecordNotAvailable;
    KeyValue value;
    if (order_ != kRecordOrder) {
      value = KeyFromRecord(decl_, decl_.keys[order_], current_record_.data());
    }
    built = BuildChain(order_, dir, value, true, current_rowid_, false);
  }
  if (!built) return kKeyFileMustBeRebuilt;

  while (chain_at_ < chain_.size()) {
    sqlite3_stmt* s = chain_[chain_at_];
    const int rc = StepInto(s);
    if (rc == SQLITE_ROW) return kNoError;
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
      chain_live_ = false;
      return MapError(rc, db_, BusyMode::kRead);
    }
    ++chain_at_;
  }
  ResetChain();
  return kRecordNotAvailable;
}

int NativeFile::SetKeyStart(int key) {
  if (key != kRecordOrder && (key < 0 || key >= static_cast<int>(decl_.keys.size()))) {
    return kInvalidKeyFile;
  }
  ResetChain();
  order_ = key;
  pending_ = PendingKind::kStart;
  return kNoError;
}

int NativeFile::SetKeyValue(int key) {
  if (key < 0 || key >= static_cast<int>(decl_.keys.size())) return kInvalidKeyFile;
  ResetChain();
  order_ = key;
  pending_ = PendingKind::kValue;
  pending_value_ = KeyFromRecord(decl_, decl_.keys[key], file_.record());
  return kNoError;
}

int NativeFile::Position(int key, std::string* position) {
  if (!has_current_) return kRecordNotAvailable;
  if (key != kRecordOrder && (key < 0 || key >= static_cast<int>(decl_.keys.size()))) {
    return kInvalidKeyFile;
  }
  *position = EncodePosition(decl_, key == kRecordOrder ? nullptr : &decl_.keys[key],
                             current_record_.data(), current_rowid_);
  return kNoError;
}

int NativeFile::SetPendingPosition(int key, std::string_view position, PendingKind kind) {
  if (key != kRecordOrder && (key < 0 || key >= static_cast<int>(decl_.keys.size()))) {
    return kInvalidKeyFile;
  }
  KeyValue value;
  int64_t rowid = 0;
  if (!DecodePosition(decl_, key == kRecordOrder ? nullptr : &decl_.keys[key], position, &value,
                      &rowid)) {
    return kRecordNotFound;
  }
  ResetChain();
  order_ = key;
  pending_ = kind;
  pending_value_ = std::move(value);
  pending_rowid_ = rowid;
  return kNoError;
}

int NativeFile::ResetToPosition(int key, std::string_view position) {
  return SetPendingPosition(key, position, PendingKind::kPosition);
}

int NativeFile::ResetPastPosition(int key, std::string_view position) {
  return SetPendingPosition(key, position, PendingKind::kPastPosition);
}

int NativeFile::GetByKey(int key) {
  if (key < 0 || key >= static_cast<int>(decl_.keys.size())) return kInvalidKeyFile;
  sqlite3_stmt* s = Statement({key, KeyWidth(key), RowidOp::kNone, Dir::kForward, true});
  if (!s) return kKeyFileMustBeRebuilt;
  const KeyValue value = KeyFromRecord(decl_, decl_.keys[key], file_.record());
  for (size_t c = 0; c < value.size(); ++c) BindPart(s, static_cast<int>(c) + 1, value[c]);
  const int rc = StepInto(s);
  sqlite3_reset(s);
  if (rc == SQLITE_ROW) {
    chain_live_ = false;  // reading on continues from this record
    return kNoError;
  }
  return rc == SQLITE_DONE ? kRecordNotFound : MapError(rc, db_, BusyMode::kRead);
}

int NativeFile::GetByPosition(int key, std::string_view position) {
  KeyValue value;
  int64_t rowid = 0;
  if (key != kRecordOrder && (key < 0 || key >= static_cast<int>(decl_.keys.size()))) {
    return kInvalidKeyFile;
  }
  if (!DecodePosition(decl_, key == kRecordOrder ? nullptr : &decl_.keys[key], position, &value,
                      &rowid)) {
    return kRecordNotFound;
  }
  sqlite3_stmt* s = Statement({kRecordOrder, 0, RowidOp::kNone, Dir::kForward, true});
  if (!s) return kInvalidDataFile;
  sqlite3_bind_int64(s, 1, rowid);
  const std::string before(file_.record_bytes());
  const bool had_current = has_current_;
  const int64_t was_rowid = current_rowid_;
  const std::string was_record = current_record_;
  const int rc = StepInto(s);
  sqlite3_reset(s);
  if (rc == SQLITE_ROW) {
    chain_live_ = false;
    // A record number given to another record (the file was rebuilt
    // meanwhile) does not name the record the position was taken from.
    if (key != kRecordOrder) {
      const KeyValue now = KeyFromRecord(decl_, decl_.keys[key], file_.record());
      bool same = now.size() == value.size();
      for (size_t i = 0; same && i < now.size(); ++i) same = CompareKeyParts(now[i], value[i]) == 0;
      if (!same) {
        std::memcpy(file_.record(), before.data(), before.size());
        has_current_ = had_current;
        current_rowid_ = was_rowid;
        current_record_ = was_record;
        return kRecordNotFound;
      }
    }
    return kNoError;
  }
  return rc == SQLITE_DONE ? kRecordNotFound : MapError(rc, db_, BusyMode::kRead);
}

std::vector<std::pair<std::string, std::string>> NativeFile::Explain() {
  std::vector<std::pair<std::string, std::string>> out;
  if (!db_) return out;
  std::vector<StmtId> ids;
  for (Dir dir : {Dir::kForward, Dir::kBackward}) {
    for (RowidOp op : {RowidOp::kNone, RowidOp::kAfter, RowidOp::kFrom}) {
      ids.push_back({kRecordOrder, 0, op, dir, false});
    }
    for (int k = 0; k < static_cast<int>(decl_.keys.size()); ++k) {
      const int n = KeyWidth(k);
      for (int level = -1; level < n; ++level)
        ids.push_back({k, level, RowidOp::kNone, dir, false});
      for (RowidOp op : {RowidOp::kNone, RowidOp::kAfter, RowidOp::kFrom}) {
        ids.push_back({k, n, op, dir, false});
      }
    }
  }
  for (int k = 0; k < static_cast<int>(decl_.keys.size()); ++k) {
    ids.push_back({k, KeyWidth(k), RowidOp::kNone, Dir::kForward, true});
  }
  ids.push_back({kRecordOrder, 0, RowidOp::kNone, Dir::kForward, true});
  for (const StmtId& id : ids) {
    const std::string sql = StatementSql(id);
    sqlite3_stmt* stmt = nullptr;
    std::string plan;
    if (sqlite3_prepare_v2(db_, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &stmt, nullptr) ==
        SQLITE_OK) {
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        if (!plan.empty()) plan += "\n";
        plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
      }
    } else {
      plan = std::string("error: ") + sqlite3_errmsg(db_);
    }
    sqlite3_finalize(stmt);
    out.emplace_back(sql, plan);
  }
  return out;
}

}  // namespace mirabo::native
