// Registration of the native driver, and what its files share: names,
// declaration limits and the key function of companion columns.
#include "storage/native/native_driver.h"

#include <filesystem>

#include "runtime/text.h"
#include "storage/native/native_file.h"

namespace mirabo::native {

std::string& TcfName() {
  static std::string name = "c:\\karvinex.tcf";
  return name;
}

ResolvedName ResolveName(const std::string& declared) {
  ResolvedName out;
  std::string file = std::string(Clip(declared));
  out.table = "UNNAMED";
  const size_t bang = file.find("\\!");
  if (bang != std::string::npos) {
    out.table = ToUpper1252(Clip(file.substr(bang + 2)));
    out.table_named = true;
    file = file.substr(0, bang);
  }
  std::filesystem::path p(file);
  if (!p.has_extension()) p += ".KVX";
  if (p.is_relative()) {
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (!ec) p = cwd / p;
  }
  out.path = p.lexically_normal().string();
  return out;
}

bool DeclarationFits(const FileDecl& decl) {
  return decl.record_size <= kMaxRecordSize && decl.keys.size() <= kMaxKeys &&
         decl.memos <= kMaxMemos;
}

void KeyFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int n = sqlite3_value_bytes(argv[0]);
  std::string_view utf8(text ? text : "", n);
  std::optional<std::string> bytes = Cp1252FromUtf8(utf8);
  std::string key(Clip(bytes ? *bytes : std::string(utf8)));
  if (argc > 1 && sqlite3_value_int(argv[1]) != 0) key = ToUpper1252(key);
  sqlite3_result_blob(ctx, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

void RegisterNativeDriver() { RegisterDriverOnce<NativeFile>("KARVINEX"); }

std::shared_ptr<const FileDriver> NativeDriver() {
  static const auto driver = std::make_shared<DriverOf<NativeFile>>("KARVINEX");
  return driver;
}

std::string TransactionControlFile() { return TcfName(); }

std::vector<std::pair<std::string, std::string>> ExplainQueries(File& file) {
  auto* native = dynamic_cast<NativeFile*>(file.driver_file());
  return native ? native->Explain() : std::vector<std::pair<std::string, std::string>>{};
}

int PreparedStatements(File& file) {
  auto* native = dynamic_cast<NativeFile*>(file.driver_file());
  return native ? native->prepared() : 0;
}

}  // namespace mirabo::native
