#include "storage/postgres/pg_session.h"

#include <poll.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "runtime/error.h"
#include "runtime/lock_wait.h"
#include "storage/postgres/pg_driver.h"
#include "storage/postgres/pg_file.h"

namespace mirabo::postgres {
namespace {

// A statement that has not answered after this long is taken for one that
// waits for another session's lock (every read the driver makes searches an
// index, so it answers in a few milliseconds on any table).
constexpr int kWaitThresholdMs = 250;
constexpr int kStepMs = 10;
// The lock timeout of one attempt of LockWaiting.
constexpr char kLockAttempt[] = "100ms";
constexpr size_t kCopyChunk = 1 << 16;
// Rows the program may have made ahead of the server, unsent.
constexpr size_t kCopyAhead = 8 << 20;
constexpr char kVersionsSql[] = "SELECT name, version FROM mirabo.versions";

int64_t MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// The server's code of an SQLSTATE, packed six bits a character as the
// server itself packs it: the driver's own error number.
int SqlStateNumber(const char* state) {
  int n = 0;
  for (int i = 0; i < 5 && state && state[i]; ++i) n |= ((state[i] - '0') & 0x3F) << (6 * i);
  return n;
}

// The first line of a libpq message, without its trailing newline.
std::string FirstLine(const char* text) {
  std::string s = text ? text : "";
  const size_t nl = s.find('\n');
  if (nl != std::string::npos) s.resize(nl);
  return s;
}

}  // namespace

Param Int2Param(int16_t v) {
  Param p{kInt2Oid, {}};
  PutInt16(&p.bytes, v);
  return p;
}
Param Int4Param(int32_t v) {
  Param p{kInt4Oid, {}};
  PutInt32(&p.bytes, v);
  return p;
}
Param Int8Param(int64_t v) {
  Param p{kInt8Oid, {}};
  PutInt64(&p.bytes, v);
  return p;
}
Param Float8Param(double v) {
  Param p{kFloat8Oid, {}};
  PutFloat8(&p.bytes, v);
  return p;
}
Param BytesParam(Oid type, std::string bytes) { return Param{type, std::move(bytes)}; }

int16_t Int2At(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<int16_t>((u[0] << 8) | u[1]);
}
int32_t Int4At(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<int32_t>((uint32_t{u[0]} << 24) | (uint32_t{u[1]} << 16) |
                              (uint32_t{u[2]} << 8) | uint32_t{u[3]});
}
int64_t Int8At(const char* p) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(Int4At(p))) << 32) |
                              static_cast<uint32_t>(Int4At(p + 4)));
}
double Float8At(const char* p) {
  const uint64_t bits = static_cast<uint64_t>(Int8At(p));
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
void PutInt16(std::string* out, int16_t v) {
  const auto u = static_cast<uint16_t>(v);
  const char b[2] = {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
  out->append(b, 2);
}
void PutInt32(std::string* out, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  const char b[4] = {static_cast<char>(u >> 24), static_cast<char>((u >> 16) & 0xFF),
                     static_cast<char>((u >> 8) & 0xFF), static_cast<char>(u & 0xFF)};
  out->append(b, 4);
}
void PutInt64(std::string* out, int64_t v) {
  const auto u = static_cast<uint64_t>(v);
  PutInt32(out, static_cast<int32_t>(u >> 32));
  PutInt32(out, static_cast<int32_t>(u & 0xFFFFFFFF));
}
void PutFloat8(std::string* out, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  PutInt64(out, static_cast<int64_t>(bits));
}

PgSession::PgSession(std::string uri) : uri_(std::move(uri)), display_(DisplayUri(uri_)) {}

PgSession::~PgSession() {
  if (conn_) PQfinish(conn_);
}

int PgSession::ConnectionError(const char* doing) {
  const std::string why = FirstLine(conn_ ? PQerrorMessage(conn_) : "out of memory");
  return SetFileSystemError(SqlStateNumber("08006"),
                            std::string(doing) + " " + display_ + ": " + why);
}

int PgSession::Connect() {
  if (conn_ && PQstatus(conn_) == CONNECTION_OK) return kNoError;
  if (conn_) {
    // A connection lost in a transaction lost the transaction with it.
    if (in_transaction_) return ConnectionError("the connection was lost to");
    PQfinish(conn_);
    conn_ = nullptr;
    statements_.clear();
  }
  // The URI's own settings win; ours only fill in.
  const char* keywords[] = {"dbname", "fallback_application_name", "client_encoding", nullptr};
  const char* values[] = {uri_.c_str(), "mirabo", "UTF8", nullptr};
  conn_ = PQconnectdbParams(keywords, values, /*expand_dbname=*/1);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    if (conn_ && PQconnectionNeedsPassword(conn_)) {
      return SetFileSystemError(
          SqlStateNumber("28P01"),
          "the server " + display_ +
              " asks for a password: put it in ~/.pgpass (or PGPASSWORD), never in the address");
    }
    const int rc = ConnectionError("cannot connect to");
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    return rc;
  }
  // The server's notices ("table does not exist, skipping") are not the
  // user's business.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  // Text reaches the record buffers as Windows-1252 from UTF-8, whatever
  // the database holds it in.
  if (PQsetClientEncoding(conn_, "UTF8") != 0) return ConnectionError("cannot talk UTF-8 with");
  return kNoError;
}

int PgSession::MapResult(PGresult* r, const WaitRule& wait, bool cancelled) {
  const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK || st == PGRES_COPY_IN) return kNoError;
  const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  const std::string code = state ? state : "";
  if (code == "23505") {
    const char* constraint = PQresultErrorField(r, PG_DIAG_CONSTRAINT_NAME);
    last_constraint_ = constraint ? constraint : "";
    return kCreatesDuplicateKey;
  }
  if (code == "55P03" || code == "40P01" || code == "40001") return kRecordIsAlreadyHeld;
  if (code == "57014" && cancelled) return kRecordIsAlreadyHeld;
  if (code == "42P01" || code == "3F000") return kFileNotFound;
  if (code == "42501" || code == "25006") return kAccessDenied;
  if (code == "53200") return kInsufficientMemory;
  if (code == "53100") return kOsErrorBase + 39;  // the disk is full, as the system says it
  std::string text = FirstLine(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_));
  if (text.rfind("ERROR:  ", 0) == 0) text.erase(0, 8);
  if (text.empty()) text = "the server did not answer";
  (void)wait;
  return SetFileSystemError(SqlStateNumber(state ? state : "08006"), display_ + ": " + text);
}

int PgSession::Await(const WaitRule& wait, Result* out) {
  const auto start = std::chrono::steady_clock::now();
  bool observed = false;
  bool cancelled = false;
  for (;;) {
    if (PQconsumeInput(conn_) == 0) break;  // the connection failed: the result says why
    if (!PQisBusy(conn_)) break;
    pollfd p{PQsocket(conn_), POLLIN, 0};
    (void)poll(&p, 1, kStepMs);
    const int64_t waited = MsSince(start);
    if (cancelled || !wait.observe || waited < kWaitThresholdMs) continue;
    bool go_on = !(wait.hold_wait > 0 && waited >= int64_t{wait.hold_wait} * 1000);
    if (go_on) go_on = ObserveLockWait({wait.file, 0, waited, !observed, 0});
    observed = true;
    if (!go_on) {
      PGcancel* c = PQgetCancel(conn_);
      char why[256];
      if (c) (void)PQcancel(c, why, sizeof why);
      PQfreeCancel(c);
      cancelled = true;
    }
  }
  Result first_error;
  Result last;
  while (PGresult* r = PQgetResult(conn_)) {
    const ExecStatusType st = PQresultStatus(r);
    const bool failed = st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && st != PGRES_COPY_IN &&
                        st != PGRES_EMPTY_QUERY;
    if (failed && !first_error) {
      first_error.reset(r);
    } else {
      last.reset(r);
    }
    if (st == PGRES_COPY_IN) break;  // the caller streams the rows
  }
  if (first_error) return MapResult(first_error.get(), wait, cancelled);
  if (!last && PQstatus(conn_) != CONNECTION_OK) return ConnectionError("lost the connection to");
  if (out) *out = std::move(last);
  return kNoError;
}

int PgSession::Prepare(const std::string& sql, const std::vector<Param>& params,
                       const WaitRule& wait, std::string* name) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) {
    *name = it->second;
    return kNoError;
  }
  std::vector<Oid> types;
  for (const Param& p : params) types.push_back(p.type);
  const std::string n = NewName("s");
  if (!PQsendPrepare(conn_, n.c_str(), sql.c_str(), static_cast<int>(types.size()), types.data())) {
    return ConnectionError("cannot send to");
  }
  if (const int rc = Await(wait, nullptr)) return rc;
  statements_.emplace(sql, n);
  statement_types_[sql] = types;
  ++prepared_;
  *name = n;
  return kNoError;
}

int PgSession::Run(const std::string& sql, const std::vector<Param>& params, const WaitRule& wait,
                   Result* out) {
  if (copy_file_) {
    if (const int rc = EndCopy()) return rc;
  }
  // A connection lost outside a transaction is made anew once: positions
  // live in the program, so reading goes on where it was.
  for (int attempt = 0;; ++attempt) {
    if (const int rc = Connect()) return rc;
    std::string name;
    int rc = Prepare(sql, params, wait, &name);
    if (rc == kNoError) {
      std::vector<const char*> values;
      std::vector<int> lengths, formats;
      for (const Param& p : params) {
        values.push_back(p.bytes.data());
        lengths.push_back(static_cast<int>(p.bytes.size()));
        formats.push_back(1);
      }
      if (!PQsendQueryPrepared(conn_, name.c_str(), static_cast<int>(params.size()), values.data(),
                               lengths.data(), formats.data(), /*resultFormat=*/1)) {
        rc = ConnectionError("cannot send to");
      } else {
        rc = Await(wait, out);
      }
    }
    if (rc == kNoError || attempt > 0 || in_transaction_ || PQstatus(conn_) == CONNECTION_OK) {
      return rc;
    }
  }
}

std::vector<std::pair<std::string, std::string>> PgSession::Explain() {
  std::vector<std::pair<std::string, std::string>> out;
  if (copy_file_ && EndCopy() != kNoError) return out;
  if (!conn_ || Exec("SET plan_cache_mode = force_generic_plan", {"", 0, false})) return out;
  for (const auto& [sql, name] : statements_) {
    std::string args;
    for (Oid t : statement_types_[sql]) {
      args += args.empty() ? "" : ", ";
      args += t == kByteaOid ? "'\\x41'::bytea" : t == kTextOid ? "'x'::text" : "1";
    }
    const std::string explain = "EXPLAIN EXECUTE " + name + (args.empty() ? "" : "(" + args + ")");
    PGresult* r = PQexec(conn_, explain.c_str());
    std::string plan;
    if (PQresultStatus(r) == PGRES_TUPLES_OK) {
      for (int i = 0; i < PQntuples(r); ++i) plan += std::string(PQgetvalue(r, i, 0)) + "\n";
    } else {
      plan = "error: " + FirstLine(PQresultErrorMessage(r));
    }
    PQclear(r);
    out.emplace_back(sql, plan);
  }
  (void)Exec("RESET plan_cache_mode", {"", 0, false});
  return out;
}

int PgSession::Exec(const std::string& sql, const WaitRule& wait) {
  versions_known_ = false;
  if (copy_file_) {
    if (const int rc = EndCopy()) return rc;
  }
  if (const int rc = Connect()) return rc;
  if (!PQsendQuery(conn_, sql.c_str())) return ConnectionError("cannot send to");
  return Await(wait, nullptr);
}

int PgSession::Version(const std::string& table, const WaitRule& wait, uint64_t* version) {
  if (!versions_known_) {
    Result r;
    if (const int rc = Run(kVersionsSql, {}, wait, &r)) return rc;
    versions_.clear();
    for (int i = 0; i < PQntuples(r.get()); ++i) {
      versions_[std::string(PQgetvalue(r.get(), i, 0), PQgetlength(r.get(), i, 0))] =
          static_cast<uint64_t>(Int8At(PQgetvalue(r.get(), i, 1)));
    }
    versions_known_ = true;
  }
  auto it = versions_.find(table);
  *version = it == versions_.end() ? 0 : it->second;
  return kNoError;
}

int PgSession::Begin() {
  if (in_transaction_) return kNoError;
  const int rc = Exec("BEGIN", {"", 0, false});
  in_transaction_ = rc == kNoError;
  return rc;
}

void PgSession::Join(PgFile* file) {
  for (PgFile* f : writers_) {
    if (f == file) return;
  }
  writers_.push_back(file);
}

void PgSession::Leave(PgFile* file) {
  if (copy_file_ == file) (void)Rollback();
  std::erase(writers_, file);
}

int PgSession::Commit() {
  if (!in_transaction_) return kNoError;
  int rc = EndCopy();
  for (PgFile* f : writers_) {
    if (rc == kNoError) rc = f->FinishLoad();
  }
  for (PgFile* f : writers_) {
    if (rc == kNoError) rc = f->RaiseVersion();
  }
  if (rc == kNoError) {
    // A transaction that failed on the way commits as a rollback: say so.
    if (PQtransactionStatus(conn_) != PQTRANS_INTRANS) {
      rc =
          SetFileSystemError(SqlStateNumber("25P02"), display_ + ": the load's transaction failed");
    } else {
      Result r;
      if (!PQsendQuery(conn_, "COMMIT")) {
        rc = ConnectionError("cannot send to");
      } else {
        rc = Await({"", 0, false}, &r);
      }
      if (rc == kNoError && (!r || std::strcmp(PQcmdStatus(r.get()), "COMMIT") != 0)) {
        rc = SetFileSystemError(SqlStateNumber("25P02"), display_ + ": the commit was refused");
      }
      if (rc == kNoError) {
        in_transaction_ = false;
        versions_known_ = false;
        for (PgFile* f : std::vector<PgFile*>(writers_)) f->EndLoad(true);
        writers_.clear();
        return kNoError;
      }
    }
  }
  const ErrorState saved = CurrentError();
  (void)Rollback();
  RestoreError(saved);
  return rc;
}

int PgSession::Rollback() {
  versions_known_ = false;
  if (copy_file_) {
    if (conn_) {
      (void)PQsetnonblocking(conn_, 0);
      (void)PQputCopyEnd(conn_, "the load was abandoned");
      while (PGresult* r = PQgetResult(conn_)) PQclear(r);
    }
    copy_file_ = nullptr;
    copy_buffer_.clear();
  }
  int rc = kNoError;
  if (in_transaction_) {
    in_transaction_ = false;
    if (conn_ && PQstatus(conn_) == CONNECTION_OK) rc = Exec("ROLLBACK", {"", 0, false});
  }
  for (PgFile* f : std::vector<PgFile*>(writers_)) f->EndLoad(false);
  writers_.clear();
  return rc;
}

int PgSession::LockWaiting(const std::string& lock, const WaitRule& wait) {
  const auto start = std::chrono::steady_clock::now();
  bool first = true;
  for (;;) {
    const std::string sp = NewName("lock");
    int rc = Exec("SAVEPOINT " + sp + "; SET LOCAL lock_timeout = '" + kLockAttempt + "'; " + lock +
                      "; SET LOCAL lock_timeout = 0; RELEASE SAVEPOINT " + sp,
                  {wait.file, 0, false});
    if (rc != kRecordIsAlreadyHeld) return rc;
    if (const int undo = Exec("ROLLBACK TO SAVEPOINT " + sp, {"", 0, false})) return undo;
    const int64_t waited = MsSince(start);
    if (wait.hold_wait > 0 && waited >= int64_t{wait.hold_wait} * 1000) return rc;
    if (!ObserveLockWait({wait.file, 0, waited, first, 0})) return rc;
    first = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int PgSession::CopyBuffer(PgFile* file, const std::string& copy_sql, std::string** buffer) {
  if (copy_file_ && (copy_file_ != file || copy_sql_ != copy_sql)) {
    if (const int rc = EndCopy()) return rc;
  }
  if (!copy_file_) {
    if (const int rc = Connect()) return rc;
    if (!PQsendQuery(conn_, copy_sql.c_str())) return ConnectionError("cannot send to");
    if (const int rc = Await({"", 0, false}, nullptr)) return rc;
    copy_file_ = file;
    copy_sql_ = copy_sql;
    static const char kHeader[] = "PGCOPY\n\377\r\n";
    copy_buffer_.assign(kHeader, 11);
    PutInt32(&copy_buffer_, 0);  // flags
    PutInt32(&copy_buffer_, 0);  // header extension
    // Rows go out while the next ones are made: the server takes in one
    // chunk while the program encodes the next, instead of each waiting
    // for the other.
    (void)PQsetnonblocking(conn_, 1);
    copy_unsent_ = 0;
  }
  *buffer = &copy_buffer_;
  return kNoError;
}

int PgSession::SendCopyBuffer() {
  if (PQputCopyData(conn_, copy_buffer_.data(), static_cast<int>(copy_buffer_.size())) != 1) {
    return ConnectionError("cannot send to");
  }
  copy_unsent_ += copy_buffer_.size();
  copy_buffer_.clear();
  const int flushed = PQflush(conn_);
  if (flushed < 0) return ConnectionError("cannot send to");
  if (flushed == 0) {
    copy_unsent_ = 0;
    return kNoError;
  }
  // The server is slower than the program: wait for it before libpq's
  // buffer of unsent rows grows past a few megabytes.
  return copy_unsent_ > kCopyAhead ? FlushCopy() : kNoError;
}

int PgSession::FlushCopy() {
  for (;;) {
    const int flushed = PQflush(conn_);
    if (flushed < 0) return ConnectionError("cannot send to");
    if (flushed == 0) break;
    pollfd p{PQsocket(conn_), POLLOUT | POLLIN, 0};
    (void)poll(&p, 1, 100);
    if ((p.revents & POLLIN) && PQconsumeInput(conn_) == 0)
      return ConnectionError("cannot send to");
  }
  copy_unsent_ = 0;
  return kNoError;
}

int PgSession::RowCopied() {
  return copy_buffer_.size() < kCopyChunk ? kNoError : SendCopyBuffer();
}

int PgSession::EndCopy() {
  if (!copy_file_) return kNoError;
  copy_file_ = nullptr;
  PutInt16(&copy_buffer_, -1);
  int rc = SendCopyBuffer();
  if (rc == kNoError) rc = FlushCopy();
  (void)PQsetnonblocking(conn_, 0);
  copy_buffer_.clear();
  if (rc == kNoError && PQputCopyEnd(conn_, nullptr) != 1) rc = ConnectionError("cannot send to");
  if (rc != kNoError) {
    (void)PQputCopyEnd(conn_, "the load was abandoned");
  }
  const int ended = Await({"", 0, false}, nullptr);
  return rc != kNoError ? rc : ended;
}

}  // namespace mirabo::postgres
