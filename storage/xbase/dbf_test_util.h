// Helpers shared by the engine's and the driver's tests.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/memory_file_system.h"
#include "storage/xbase/dbf_layout.h"

namespace mirabo::xbase::testing {

// The date every test table is written on.
constexpr DbfDate kTestDate = {2026, 5, 17};

// Fixes the engine's date for the object's life.
class ScopedTestDate {
 public:
  ScopedTestDate() {
    SetTodayForTests([] { return kTestDate; });
  }
  ~ScopedTestDate() { SetTodayForTests(nullptr); }
};

inline uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
         static_cast<uint8_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
inline uint32_t Le16(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}

// The bytes of a file of a memory file system; "" when there is none.
inline std::string Bytes(const MemoryFileSystem& fs, const std::string& path) {
  std::string b;
  return fs.GetContents(path, &b) ? b : std::string();
}

}  // namespace mirabo::xbase::testing
