// A stand-in for a registered file driver that passes every operation to it
// but makes a chosen one fail: the failures real files cannot produce on
// demand (a re-positioning refused, a read error half-way through a report).
// It takes the driver's name for its life and puts the real one back after.
#pragma once

#include <memory>
#include <string>

#include "runtime/file_driver.h"

namespace mirabo::testing {

class ScopedFaultyDriver {
 public:
  enum class Op { kNext, kPrevious, kResetTo, kResetPast, kGetByKey, kGetByPosition, kGetByRecord, kFindText,
                  kRecords };

  // Stands in for the driver registered as `name`, which must exist.
  explicit ScopedFaultyDriver(const std::string& name);
  ~ScopedFaultyDriver();
  ScopedFaultyDriver(const ScopedFaultyDriver&) = delete;
  ScopedFaultyDriver& operator=(const ScopedFaultyDriver&) = delete;

  // The nth call of `op` from now (1: the next), on any file of the driver
  // opened after this, answers `code` and does nothing else.
  void Fail(Op op, int nth, int code);
  // Calls of `op` so far.
  int calls(Op op) const;

  struct State;

 private:
  std::shared_ptr<const FileDriver> real_;
  std::shared_ptr<State> state_;
};

}  // namespace mirabo::testing
