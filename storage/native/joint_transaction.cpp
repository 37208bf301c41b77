#include "storage/native/joint_transaction.h"

#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/output_file.h"
#include "storage/native/native_file.h"

namespace mirabo::native {
namespace {

// SQLite attaches at most ten databases to a connection by default.
constexpr size_t kMaxMembers = 10;

std::string DatabaseName(size_t member) { return "kvx" + std::to_string(member); }

// Records `rc` in the error state, keeping the details a code 90 came with.
int Recorded(int rc) { return rc == kFileSystemError ? rc : SetError(rc); }

}  // namespace

JointTransaction::~JointTransaction() { (void)Rollback(); }

int JointTransaction::Begin(const std::vector<File*>& files) {
  if (active() || files.empty() || files.size() > kMaxMembers) {
    return SetError(kUnsupportedFunction);
  }
  std::vector<NativeFile*> members;
  for (File* file : files) {
    auto* n = dynamic_cast<NativeFile*>(file->driver_file());
    if (!n || !n->db_) return SetError(kFileNotOpen);
    if (n->in_transaction_ || n->joint_ || (n->open_flags_ & SQLITE_OPEN_READWRITE) == 0) {
      return SetError(kAccessDenied);
    }
    // A data file can take part once: a second member on it would attach
    // the leader's own file (or close the leader's connection, when it is
    // the leader itself) and the transaction would wait on its own lock.
    for (const NativeFile* earlier : members) {
      if (earlier == n || earlier->name_.path == n->name_.path ||
          SameFile(earlier->name_.path, n->name_.path)) {
        return SetFileSystemError(
            SQLITE_MISUSE, "the data file " + n->name_.path + " is named twice in one transaction");
      }
    }
    members.push_back(n);
  }
  NativeFile& leader = *members.front();
  leader.ResetChain();
  leader.EndReadTransaction();
  members_.push_back(&leader);
  leader.joint_ = this;
  for (size_t i = 1; i < members.size(); ++i) {
    NativeFile& m = *members[i];
    const std::string name = DatabaseName(i);
    m.EndReadTransaction();
    m.DropStatements([](const StmtId&) { return true; });
    sqlite3_stmt* attach = nullptr;
    int rc = sqlite3_prepare_v2(leader.db_, "ATTACH DATABASE ?1 AS ?2", -1, &attach, nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_bind_text(attach, 1, m.name_.path.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(attach, 2, name.c_str(), -1, SQLITE_TRANSIENT);
      rc = sqlite3_step(attach);
    }
    sqlite3_finalize(attach);
    if (rc != SQLITE_DONE) {
      const int code = leader.MapError(rc, leader.db_, NativeFile::BusyMode::kRead);
      Leave();
      return Recorded(code);
    }
    // The member's own connection goes; the leader's serves it now.
    sqlite3_close_v2(m.db_);
    m.db_ = leader.db_;
    m.leader_ = &leader;
    m.joint_ = this;
    m.schema_->SetDatabase(name);
    leader.followers_.push_back(&m);
    members_.push_back(&m);
  }
  // IMMEDIATE takes the write lock of every attached database at once.
  const int rc = leader.Exec(leader.db_, "BEGIN IMMEDIATE", NativeFile::BusyMode::kRead);
  if (rc != kNoError) {
    Leave();
    return Recorded(rc);
  }
  for (NativeFile* m : members_) {
    m->in_transaction_ = true;
    m->bulk_checked_ = false;
  }
  return kNoError;
}

int JointTransaction::Commit() {
  if (!active()) return SetError(kUnsupportedFunction);
  NativeFile& leader = *members_.front();
  int rc = kNoError;
  for (NativeFile* m : members_) {
    m->ResetChain();
    if (rc == kNoError) rc = m->FinishBulk();
  }
  if (rc == kNoError) rc = leader.Exec(leader.db_, "COMMIT", NativeFile::BusyMode::kRead);
  if (rc != kNoError && !sqlite3_get_autocommit(leader.db_)) {
    sqlite3_exec(leader.db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Leave();
  return Recorded(rc);
}

int JointTransaction::Rollback() {
  if (!active()) return kNoError;
  NativeFile& leader = *members_.front();
  for (NativeFile* m : members_) m->ResetChain();
  int rc = kNoError;
  // SQLite ends a transaction itself after some failures (a full disk).
  if (!sqlite3_get_autocommit(leader.db_)) {
    rc = leader.Exec(leader.db_, "ROLLBACK", NativeFile::BusyMode::kRead);
  }
  Leave();
  return rc;
}

void JointTransaction::Leave() {
  if (members_.empty()) return;
  NativeFile& leader = *members_.front();
  for (size_t i = 1; i < members_.size(); ++i) {
    NativeFile& m = *members_[i];
    m.DropStatements([](const StmtId&) { return true; });
    const std::string detach = "DETACH DATABASE " + QuoteIdentifier(DatabaseName(i));
    sqlite3_exec(leader.db_, detach.c_str(), nullptr, nullptr, nullptr);
    m.db_ = nullptr;
    m.leader_ = nullptr;
    m.schema_->SetDatabase("main");
    // A file that cannot have its connection back is closed: its next
    // operation answers 37 rather than acting on another file.
    if (m.OpenConnection(m.name_.path, m.open_flags_, &m.db_) != kNoError) m.db_ = nullptr;
  }
  for (NativeFile* m : members_) {
    m->joint_ = nullptr;
    m->in_transaction_ = false;
    m->bulk_ = false;
    m->deferred_text_.clear();
  }
  leader.followers_.clear();
  members_.clear();
}

}  // namespace mirabo::native
