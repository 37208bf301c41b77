// One connection to the server, shared by every file of one driver instance
// in this process, with its prepared statements, its transaction and the
// COPY that a transaction's adds stream through.  Private to
// storage/postgres.
//
// Statements are prepared once per connection, named by their text, and run
// with binary parameters and binary results.  A statement that waits longer
// than a read should (another session holds the table) tells the lock-wait
// observer (runtime/lock_wait.h) at each step and is cancelled when the
// observer or the hold-wait time ends the wait: the caller gets 43.
//
// The program runs on one thread, and each operation finishes its exchange
// with the server before it returns, so the files never interleave their
// statements; only a COPY stays open between operations, and any other
// statement ends it first.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace mirabo::postgres {

class PgFile;

// Type oids the driver binds and reads.
constexpr Oid kBoolOid = 16;
constexpr Oid kByteaOid = 17;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kTextOid = 25;
constexpr Oid kFloat8Oid = 701;

// A parameter in binary form.
struct Param {
  Oid type;
  std::string bytes;
};
Param Int2Param(int16_t v);
Param Int4Param(int32_t v);
Param Int8Param(int64_t v);
Param Float8Param(double v);
Param BytesParam(Oid type, std::string bytes);

// Binary values of a result.
int16_t Int2At(const char* p);
int32_t Int4At(const char* p);
int64_t Int8At(const char* p);
double Float8At(const char* p);
// Appends `v` in network byte order.
void PutInt16(std::string* out, int16_t v);
void PutInt32(std::string* out, int32_t v);
void PutInt64(std::string* out, int64_t v);
void PutFloat8(std::string* out, double v);

// Owns a PGresult.
struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// How a statement may wait for another session's lock.
struct WaitRule {
  std::string file;     // what the wait is for, as the observer is told ("mirabo.features")
  int hold_wait = 0;    // seconds; 0: as long as the observer lets it
  bool observe = true;  // false: a statement that may rightly take long is never taken for a wait
};

class PgSession {
 public:
  explicit PgSession(std::string uri);
  ~PgSession();
  PgSession(const PgSession&) = delete;
  PgSession& operator=(const PgSession&) = delete;

  const std::string& uri() const { return uri_; }
  // The URI without password, for messages.
  const std::string& display() const { return display_; }

  // Connects when there is no usable connection (a lost one is made anew
  // outside a transaction; its statements are prepared again).  0, or 90
  // with libpq's words (5 when the server refused the user).
  [[nodiscard]] int Connect();

  // Runs `sql` with `params`, prepared on first use; binary results.  0 with
  // the result in `out` (when given), else the runtime's code (error state
  // set).  Ends a COPY in progress first.
  [[nodiscard]] int Run(const std::string& sql, const std::vector<Param>& params,
                        const WaitRule& wait, Result* out = nullptr);
  // Runs statements given as text, without parameters (DDL, SET, ...).
  [[nodiscard]] int Exec(const std::string& sql, const WaitRule& wait);

  // Transactions: every file of the connection takes part.
  bool in_transaction() const { return in_transaction_; }
  [[nodiscard]] int Begin();
  // Ends the COPY, lets every file that wrote finish its part (indexes, the
  // swap of a rebuilt table), raises the versions and commits; on any
  // failure rolls back and returns the code.
  [[nodiscard]] int Commit();
  int Rollback();
  // A file that writes in the transaction; it is told at the commit.
  void Join(PgFile* file);
  void Leave(PgFile* file);
  // Takes `lock` ("LOCK TABLE ... IN ACCESS EXCLUSIVE MODE") inside the
  // transaction, trying in short steps so that readers queued behind the
  // request wait only for a moment at a time; 43 when the observer or
  // `wait.hold_wait` ends the wait.
  [[nodiscard]] int LockWaiting(const std::string& lock, const WaitRule& wait);

  // COPY: rows in binary COPY format (without header) for the statement
  // `copy_sql` ("COPY t (...) FROM STDIN (FORMAT binary)").  A row for
  // another statement ends the one in progress.  The caller appends one
  // row to *buffer, then calls RowCopied.
  [[nodiscard]] int CopyBuffer(PgFile* file, const std::string& copy_sql, std::string** buffer);
  [[nodiscard]] int RowCopied();
  [[nodiscard]] int EndCopy();
  PgFile* copying() const { return copy_file_; }

  // The version of `table` (mirabo.versions), read once for every table
  // and kept until the next read of any file (CountRead), statement or
  // ForgetVersions: a run that asks for each of its files' versions between
  // two batches makes one query.
  [[nodiscard]] int Version(const std::string& table, const WaitRule& wait, uint64_t* version);
  void ForgetVersions() { versions_known_ = false; }
  // A file read a record (from a page it holds or from the server): the
  // versions read before no longer describe what the run has read.
  void CountRead() { versions_known_ = false; }

  // The constraint that the last duplicate (40) broke.
  const std::string& last_constraint() const { return last_constraint_; }

  // Prepared statements so far (for tests).
  int prepared() const { return prepared_; }
  // For tests: each statement prepared so far with the plan the server
  // keeps for it once it plans it generically (as it does after a few runs).
  std::vector<std::pair<std::string, std::string>> Explain();
  // A name for a new object (savepoint, statement).
  std::string NewName(const char* prefix) { return prefix + std::to_string(++names_); }

 private:
  int MapResult(PGresult* r, const WaitRule& wait, bool cancelled);
  // Waits for the statement sent last; its last result in `out`.
  int Await(const WaitRule& wait, Result* out);
  int ConnectionError(const char* doing);
  int SendCopyBuffer();
  int FlushCopy();  // waits until every row made is sent
  int Prepare(const std::string& sql, const std::vector<Param>& params, const WaitRule& wait,
              std::string* name);

  std::string uri_;
  std::string display_;
  PGconn* conn_ = nullptr;
  std::unordered_map<std::string, std::string> statements_;            // text -> name
  std::unordered_map<std::string, std::vector<Oid>> statement_types_;  // text -> parameter types
  int prepared_ = 0;
  int names_ = 0;
  bool in_transaction_ = false;
  std::vector<PgFile*> writers_;
  PgFile* copy_file_ = nullptr;
  std::string copy_sql_;
  std::string copy_buffer_;
  size_t copy_unsent_ = 0;
  std::string last_constraint_;
  std::unordered_map<std::string, uint64_t> versions_;
  bool versions_known_ = false;
};

}  // namespace mirabo::postgres
