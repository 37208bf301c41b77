#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/data/declarations.h"
#include "runtime/access.h"
#include "runtime/file.h"
#include "storage/native/native_driver.h"
#include "tests/fuzz/fuzz_targets.h"

namespace mirabo::fuzz {
namespace {

// The folder of this process's own SUPPLIER.KVX, rewritten for every input.
const std::string& Folder() {
  static const std::string path = [] {
    char dir[] = "/tmp/mirabo-fuzz-native-XXXXXX";
    const char* made = mkdtemp(dir);
    return std::string(made ? made : "/tmp");
  }();
  return path;
}

}  // namespace

// The input is a damaged SUPPLIER.KVX: it opens with the full check (or is
// refused with a code), and every record reads in every key's order.
int FuzzNativeOpen(const uint8_t* data, size_t size) {
  native::RegisterNativeDriver();
  const std::string dir = Folder();
  for (const char* leftover : {"/SUPPLIER.KVX-journal", "/SUPPLIER.KVX"}) {
    std::remove((dir + leftover).c_str());
  }
  if (std::FILE* f = std::fopen((dir + "/SUPPLIER.KVX").c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  static const FileDecl decl = [] {
    FileDecl d = app::DataFileDecl(app::DataFile::kSupplier);
    d.name = Folder() + "/SUPPLIER";
    d.name_from = nullptr;
    return d;
  }();
  File file(decl);
  (void)file.Option("FULLBUILD=ON");
  if (file.Open(kOpenShared) != 0) return 0;
  for (int key = -1; key < static_cast<int>(decl.keys.size()); ++key) {
    if (file.SetKeyStart(key) != 0) continue;
    for (int n = 0; n < 10000 && file.Next() == 0; ++n) {
    }
    if (file.SetKeyStart(key) != 0) continue;
    for (int n = 0; n < 100 && file.Previous() == 0; ++n) {
    }
  }
  int64_t count = 0;
  (void)file.Records(&count);
  (void)file.Close();
  return 0;
}

}  // namespace mirabo::fuzz
