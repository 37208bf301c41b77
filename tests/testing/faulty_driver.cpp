#include "tests/testing/faulty_driver.h"

#include <array>

#include "runtime/error.h"
#include "runtime/file.h"

namespace mirabo::testing {

struct ScopedFaultyDriver::State {
  static constexpr size_t kOps = static_cast<size_t>(Op::kRecords) + 1;
  std::array<int, kOps> calls{};
  std::array<int, kOps> fail_at{};  // value of calls that fails; 0: none
  std::array<int, kOps> code{};

  // Counts a call of `op`; the code it must answer, or 0 to go on.
  int Count(Op op) {
    const auto i = static_cast<size_t>(op);
    ++calls[i];
    if (fail_at[i] == 0 || calls[i] != fail_at[i]) return 0;
    fail_at[i] = 0;
    return code[i];
  }
};

namespace {

using Op = ScopedFaultyDriver::Op;
using State = ScopedFaultyDriver::State;

class FaultyFile final : public DriverFile {
 public:
  FaultyFile(std::unique_ptr<DriverFile> real, std::shared_ptr<State> state)
      : real_(std::move(real)), state_(std::move(state)) {}

  int Open(uint8_t mode) override { return real_->Open(mode); }
  int Create() override { return real_->Create(); }
  int Close() override { return real_->Close(); }
  std::string Name() override { return real_->Name(); }
  int Records(int64_t* n) override {
    return Or(Op::kRecords, [&] { return real_->Records(n); });
  }
  int SetKeyStart(int key) override { return real_->SetKeyStart(key); }
  int SetKeyValue(int key) override { return real_->SetKeyValue(key); }
  int Next() override {
    return Or(Op::kNext, [&] { return real_->Next(); });
  }
  int Previous() override {
    return Or(Op::kPrevious, [&] { return real_->Previous(); });
  }
  int Position(int key, std::string* p) override { return real_->Position(key, p); }
  int ResetToPosition(int key, std::string_view p) override {
    return Or(Op::kResetTo, [&] { return real_->ResetToPosition(key, p); });
  }
  int ResetPastPosition(int key, std::string_view p) override {
    return Or(Op::kResetPast, [&] { return real_->ResetPastPosition(key, p); });
  }
  int GetByKey(int key) override {
    return Or(Op::kGetByKey, [&] { return real_->GetByKey(key); });
  }
  int GetByPosition(int key, std::string_view p) override {
    return Or(Op::kGetByPosition, [&] { return real_->GetByPosition(key, p); });
  }
  int GetByRecord(int64_t record) override {
    return Or(Op::kGetByRecord, [&] { return real_->GetByRecord(record); });
  }
  int RecordNumber(int64_t* record) override { return real_->RecordNumber(record); }
  int Add() override { return real_->Add(); }
  int Empty() override { return real_->Empty(); }
  int Flush() override { return real_->Flush(); }
  int BuildKeys() override { return real_->BuildKeys(); }
  int BeginTransaction() override { return real_->BeginTransaction(); }
  int Commit() override { return real_->Commit(); }
  int Rollback() override { return real_->Rollback(); }
  int Option(std::string_view text, std::string* answer) override {
    return real_->Option(text, answer);
  }
  void SetHoldWait(int seconds) override { real_->SetHoldWait(seconds); }
  void ReleaseLocks() override { real_->ReleaseLocks(); }
  int DataVersion(uint64_t* version) override { return real_->DataVersion(version); }
  int FindText(int field, std::string_view text, int64_t after, size_t limit,
               std::vector<int64_t>* records) override {
    return Or(Op::kFindText, [&] { return real_->FindText(field, text, after, limit, records); });
  }

 private:
  template <typename F>
  int Or(Op op, F&& call) {
    const int code = state_->Count(op);
    return code != 0 ? code : call();
  }

  std::unique_ptr<DriverFile> real_;
  std::shared_ptr<State> state_;
};

class FaultyDriver final : public FileDriver {
 public:
  FaultyDriver(std::shared_ptr<const FileDriver> real, std::shared_ptr<State> state)
      : real_(std::move(real)), state_(std::move(state)) {}
  std::string Register() const override { return real_->Register(); }
  std::unique_ptr<DriverFile> Attach(File& file) const override {
    return std::make_unique<FaultyFile>(real_->Attach(file), state_);
  }

 private:
  std::shared_ptr<const FileDriver> real_;
  std::shared_ptr<State> state_;
};

}  // namespace

ScopedFaultyDriver::ScopedFaultyDriver(const std::string& name)
    : real_(RegisteredDriver(name)), state_(std::make_shared<State>()) {
  RegisterDriver(std::make_shared<FaultyDriver>(real_, state_));
}

ScopedFaultyDriver::~ScopedFaultyDriver() { RegisterDriver(real_); }

void ScopedFaultyDriver::Fail(Op op, int nth, int code) {
  const auto i = static_cast<size_t>(op);
  state_->fail_at[i] = state_->calls[i] + nth;
  state_->code[i] = code;
}

int ScopedFaultyDriver::calls(Op op) const { return state_->calls[static_cast<size_t>(op)]; }

}  // namespace mirabo::testing
