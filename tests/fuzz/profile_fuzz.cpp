#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/data/profile.h"
#include "tests/fuzz/fuzz_targets.h"

namespace mirabo::fuzz {
namespace {

// One file of this process's own, rewritten for every input.
const std::string& ProfileFile() {
  static const std::string path = [] {
    char dir[] = "/tmp/mirabo-fuzz-profile-XXXXXX";
    const char* made = mkdtemp(dir);
    return std::string(made ? made : "/tmp") + "/KOLVAN.INI";
  }();
  return path;
}

}  // namespace

int FuzzProfile(const uint8_t* data, size_t size) {
  const std::string& file = ProfileFile();
  if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  for (const char* section : {"Main", "BrowseFEATURES", "", "[", "SearchFeatures"}) {
    for (const char* key : {"Maximize", "XPosit", "YPosit", "Width", "Height", ""}) {
      (void)app::GetProfileString(section, key, file);
      (void)app::GetProfileInt(section, key, file);
    }
  }
  // A write keeps every other line: reading back the key gives the value.
  if (app::WriteProfileString("BrowseFEATURES", "Width", "123", file) &&
      app::GetProfileInt("BrowseFEATURES", "Width", file) != 123) {
    __builtin_trap();
  }
  return 0;
}

}  // namespace mirabo::fuzz
