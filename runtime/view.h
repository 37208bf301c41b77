// Views: a primary file read in the order of one of its keys, from the key's
// start, a key value or a stored position, through a filter expression, with
// lookup files joined for display.
//
// Joins are outer joins: a primary record whose lookup row is missing is still
// returned, with that lookup file's record buffer cleared.
//
// Range reading.  When the filter says "<first field of the key> = <value>"
// (alone or joined by AND), the view reads only that stretch of the key: it
// positions at the value and stops at the first record past it, in either
// direction, instead of testing every record of the file.  It returns exactly
// the records that testing every record would.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime/file.h"
#include "runtime/filter.h"

namespace mirabo {

// The longest position a view hands out.
constexpr size_t kMaxPositionLength = 512;

class View {
 public:
  explicit View(File& primary);

  struct JoinField {
    int primary_field;
    int lookup_field;
  };
  // After every primary record read, `lookup` is read by `lookup_key` with the
  // given fields copied from the primary record.
  void Join(File& lookup, int lookup_key, std::vector<JoinField> fields);

  // While on, each lookup row read is kept, by the values it was read with:
  // a lookup value seen before costs no read.  For one pass over a file
  // whose lookups do not change meanwhile (a report run, a page published);
  // a browse, which the loader may change under, reads every time.  A failed
  // read (not a missing row) is never kept.  Turning it off forgets the rows.
  void KeepLookupRows(bool on = true);

  File& primary() { return *primary_; }
  [[nodiscard]] int key() const { return key_; }

  // Positioning: at the start of `key`'s order (kRecordOrder: record order),
  // or at the key value now in the primary record buffer.  Both also choose
  // the order that later reads and positions use.
  [[nodiscard]] int SetOrder(int key);
  [[nodiscard]] int SetOrderValue(int key);

  // Compiles the filter against `bindings` (which must outlive the view).
  // On a faulty expression returns 36 and reads unfiltered.
  [[nodiscard]] int SetFilter(std::string_view expression, const Bindings& bindings);
  const std::string& filter_error() const { return filter_error_; }

  [[nodiscard]] int Open();
  void Close();
  bool is_open() const { return open_; }

  // Reads the next or previous record that passes the filter, then the joined
  // lookups.  At the end returns 33 and leaves the primary buffer unchanged.
  [[nodiscard]] int Next() { return Read(true); }
  [[nodiscard]] int Previous() { return Read(false); }

  // The position of the record last read (at most 512 bytes).
  std::string Position();
  // Sets the reading position back to a stored position: the next read
  // gives that record (or its neighbour when it is gone).
  [[nodiscard]] int Reset(std::string_view position);
  // The same, but the next read gives the record after (or, reading back,
  // before) the one the position names.
  [[nodiscard]] int ResetPast(std::string_view position);
  // Re-reads the record a position names, with its joins.
  [[nodiscard]] int Reget(std::string_view position);
  // Reads the primary record numbered `record` (File::GetByRecord), with
  // its joins; the filter is not applied.
  [[nodiscard]] int GetRecord(int64_t record);

  // True when reads are limited to one range of the key.
  bool ranged() const { return range_.has_value(); }

 private:
  [[nodiscard]] int Read(bool forward);
  [[nodiscard]] int StartPosition();
  void ReadJoins();
  // Compares the primary record's first key field with the range value in the
  // key's order.
  [[nodiscard]] int CompareWithRange() const;
  void FindRange();

  File* primary_;
  struct Join_ {
    File* file;
    int key;
    std::vector<JoinField> fields;
    // KeepLookupRows: record bytes by the lookup values; empty: no such row.
    std::unordered_map<std::string, std::string> kept;
  };
  std::vector<Join_> joins_;
  bool keep_lookups_ = false;
  int key_ = kRecordOrder;
  bool positioned_ = false;
  bool pending_start_ = false;  // positioned at the order's start, resolved at the first read
  bool open_ = false;
  Filter filter_;
  std::string filter_error_;
  std::optional<ValueRef> range_;
  std::string saved_;
};

}  // namespace mirabo
