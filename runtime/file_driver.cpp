#include "runtime/file_driver.h"

#include <map>

#include "runtime/error.h"

namespace mirabo {

int DriverFile::Records(int64_t*) { return kUnsupportedFunction; }
int DriverFile::SetKeyStart(int) { return kUnsupportedFunction; }
int DriverFile::SetKeyValue(int) { return kUnsupportedFunction; }
int DriverFile::Next() { return kUnsupportedFunction; }
int DriverFile::Previous() { return kUnsupportedFunction; }
int DriverFile::Position(int, std::string*) { return kUnsupportedFunction; }
int DriverFile::ResetToPosition(int, std::string_view) { return kUnsupportedFunction; }
int DriverFile::ResetPastPosition(int, std::string_view) { return kUnsupportedFunction; }
int DriverFile::GetByKey(int) { return kUnsupportedFunction; }
int DriverFile::GetByPosition(int, std::string_view) { return kUnsupportedFunction; }
int DriverFile::Add() { return kUnsupportedFunction; }
int DriverFile::Append() { return Add(); }
int DriverFile::Delete() { return kUnsupportedFunction; }
int DriverFile::Pack() { return kUnsupportedFunction; }
int DriverFile::Lock() { return kUnsupportedFunction; }
int DriverFile::Unlock() { return kUnsupportedFunction; }
int DriverFile::PostOpen() { return kNoError; }
int DriverFile::Empty() { return kUnsupportedFunction; }
int DriverFile::Flush() { return kNoError; }
int DriverFile::BuildKeys() { return kUnsupportedFunction; }
int DriverFile::BeginTransaction() { return kUnsupportedFunction; }
int DriverFile::Commit() { return kUnsupportedFunction; }
int DriverFile::Rollback() { return kUnsupportedFunction; }
int DriverFile::Option(std::string_view, std::string*) { return kUnsupportedFunction; }
void DriverFile::SetHoldWait(int) {}
void DriverFile::ReleaseLocks() {}
int DriverFile::DataVersion(uint64_t*) { return kUnsupportedFunction; }
int DriverFile::GetByRecord(int64_t) { return kUnsupportedFunction; }
int DriverFile::RecordNumber(int64_t*) { return kUnsupportedFunction; }
int DriverFile::FindText(int, std::string_view, int64_t, size_t, std::vector<int64_t>*) {
  return kUnsupportedFunction;
}

namespace {
std::map<std::string, std::shared_ptr<const FileDriver>, std::less<>>& Registry() {
  static std::map<std::string, std::shared_ptr<const FileDriver>, std::less<>> registry;
  return registry;
}
}  // namespace

void RegisterDriver(std::shared_ptr<const FileDriver> driver) {
  std::string name = driver->Register();
  Registry()[name] = std::move(driver);
}

const FileDriver* FindDriver(std::string_view name) { return RegisteredDriver(name).get(); }

std::shared_ptr<const FileDriver> RegisteredDriver(std::string_view name) {
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : it->second;
}

}  // namespace mirabo
