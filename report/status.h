// The report engine's result type: a code and, on failure, a message that
// says what went wrong in words a user can act on.
#pragma once

#include <string>
#include <utility>

namespace mirabo::report {

enum class StatusCode {
  kOk,
  kMissing,        // a page file is not there
  kDamaged,        // a page file is there but is not a page image we can read
  kWriteFailed,    // a page file could not be created or written
  kWrongBinding,   // the variable list does not match the definition
  kNotOpen,        // the report is not in a state that allows the call
  kPrintFailed,    // the printer or PDF file refused the pages
  kPrintCancelled  // the user cancelled the print dialog
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(StatusCode code, std::string message) : code_(code), message_(std::move(message)) {}
  static Status Ok() { return {}; }

  bool ok() const { return code_ == StatusCode::kOk; }
  StatusCode code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  StatusCode code_ = StatusCode::kOk;
  std::string message_;
};

}  // namespace mirabo::report
