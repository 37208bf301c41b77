// Create File's copy of one data file into an export target: which file each
// choice reads in which order, where each field of the target takes its
// value, and the copy itself, one record at a time, keeping count of what it
// could not write.
//
// Field values.  A string is copied as it is (the targets' strings are as wide
// as their sources).  A name looked up for FEATURES is the lookup row's name,
// or blanks when no row has the reference; names are looked up once per
// reference and copy.  A number goes into a number field of an xBase target as
// it is, and into a text target's string through the plan's picture.
//
// What a copy cannot write is counted, never announced as a complete copy: a
// number too wide for its column (the xBase table refuses it; the text
// picture cannot show it) is missing from the target while the copy goes on.
// A failure of the disk is the end of the copy: a read of the source or of a
// looked-up name that fails, a write the target refuses, a failed flush or
// close; the target is then no copy at all (Create File does not keep it).
// CopyEndMessage says which.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/data/declarations.h"
#include "app/data/outcome.h"
#include "app/data/thread_block.h"
#include "runtime/file.h"
#include "runtime/picture.h"
#include "ui/backend.h"

namespace mirabo::app {

// Where one target field takes its value from.
struct CopySource {
  enum Kind { kField, kLookup };
  Kind kind;
  // kField: a field of the source file.  kLookup: the FEATURES field that
  // holds the reference (FEA:SUPPLIER, FEA:REVIEW or FEA:CATEGORY).
  int field;
  // kField, a number into a text target: the picture it is written with.
  const char* picture = nullptr;
};

// What one source choice copies.
struct CopyPlan {
  const char* choice;  // the source radio's value: "Features", "Issues", ...
  DataFile source;
  int key;                         // the order the source is read in
  std::vector<CopySource> fields;  // one per target field, in declaration order
};

// The plan of a source choice; null for an unknown one.
const CopyPlan* FindCopyPlan(std::string_view choice);

// What became of one copy.
struct CopyTally {
  int64_t total = 0;              // records the source held when the copy began
  int64_t copied = 0;             // records read and offered to the target
  int64_t not_written = 0;        // of those, the ones missing from the target
  int64_t first_not_written = 0;  // the first of them, numbered in copy order from 1
  std::string first_label;        // and the value it is known by (a product, a name)
  std::string first_reason;
  std::string read_failure;    // why reading stopped before the end; empty when it did not
  std::string write_failure;   // why writing stopped before the end
  std::string finish_failure;  // why the target could not be flushed, closed or kept

  // Whether the disk failed the copy (not a value that did not fit): the
  // target is then not a copy of the source.
  bool failed() const {
    return !read_failure.empty() || !write_failure.empty() || !finish_failure.empty();
  }
  bool complete() const { return not_written == 0 && !failed(); }
};

// "File Generation Complete", or what is missing from an incomplete copy.
ui::MessageRequest CopyEndMessage(const CopyTally& tally);

// The copy's outcome as the program's callers take it: complete; incomplete
// with the records that did not fit and the message's account of them; or
// failed when the disk failed it.
Outcome OutcomeOf(const CopyTally& tally);

// One copy from this thread's data files into an open target.
class FileCopy {
 public:
  // `target` is open for writing and stays the caller's; the source and the
  // lookup files are this thread's instances in `block`, open.
  FileCopy(const CopyPlan& plan, ThreadBlock& block, File& target, int64_t total);
  FileCopy(const FileCopy&) = delete;
  FileCopy& operator=(const FileCopy&) = delete;

  // Positions the source at the start of its order and reads its first record.
  void Begin();
  // Whether a record is waiting to be copied.
  bool more() const { return more_; }
  // Copies the record read last into the target and reads the next one.
  void Step();
  // Flushes and closes the target.
  void Finish();

  const CopyTally& tally() const { return tally_; }

 private:
  // Names looked up by reference (a SHORT), once each.
  class Lookup {
   public:
    Lookup(File& file, int key, int reference_field, int name_field)
        : file_(&file), key_(key), reference_(reference_field), name_(name_field) {}
    // The name, or null when it could not be read (ErrorDescription says why).
    const std::string* Name(double reference);

   private:
    static constexpr int kReferences = 65536;
    File* file_;
    int key_, reference_, name_;
    std::vector<const std::string*> known_ = std::vector<const std::string*>(kReferences);
    std::deque<std::string> names_;  // what known_ points at
    std::string none_;
    std::string other_;  // the name of a reference outside SHORT's range
  };

  // Fills the target's record; false, with the reason, when a number does not
  // fit.  A looked-up name that cannot be read ends the copy (read_failure).
  bool Fill(std::string* reason);
  std::string MisfitReason(int field) const;
  void Read();
  void ReadFailed();
  void NotWritten(std::string reason);

  const CopyPlan& plan_;
  File& source_;
  File& target_;
  // Per target field: its name lookup (null for a field copied as it is) and
  // its compiled picture (invalid when it has none).
  std::vector<std::unique_ptr<Lookup>> lookups_;
  std::vector<Picture> pictures_;
  struct Formatted {
    bool valid = false;
    double value = 0;
    std::string text;
  };
  std::vector<Formatted> formatted_;  // per target field: the number formatted last
  bool more_ = false;
  CopyTally tally_;
};

}  // namespace mirabo::app
