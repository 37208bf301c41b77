#include "tools/loader.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>

#include "app/data/declarations.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/text.h"
#include "storage/native/native_driver.h"
#include "tools/row_source.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;

struct Target {
  std::string csv;      // as given, for messages
  std::string csv_abs;  // resolved before the data folder becomes current
  app::DataFile table;
  std::unique_ptr<File> file;
  bool created = false;
  bool in_transaction = false;
  int64_t rows = 0;
};

std::string ErrorDescription(int code) {
  const ErrorState& e = CurrentError();
  if (code == kFileSystemError && e.code == kFileSystemError) {
    return e.fs_text + " (" + e.fs_code + ")";
  }
  return ErrorText(code) + " (" + std::to_string(code) + ")";
}

bool TableFor(const std::string& csv, app::DataFile* out) {
  const std::string stem = ToUpper1252(fs::path(csv).stem().string());
  for (app::DataFile f : app::kAllDataFiles) {
    if (app::DataFileDecl(f).label == stem) {
      *out = f;
      return true;
    }
  }
  return false;
}

// Puts one CSV value into a field; returns the reason when it does not fit.
std::string StoreValue(const FieldDecl& field, const std::string& raw, bool cp1252, ValueRef ref) {
  std::string text;
  if (cp1252) {
    text = raw;
  } else {
    size_t bad = 0;
    std::optional<std::string> converted = Cp1252FromUtf8(raw, &bad);
    if (!converted) {
      return "character at byte " + std::to_string(bad + 1) +
             " is not valid UTF-8 or has no Windows-1252 form";
    }
    text = std::move(*converted);
  }
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return "control character in text";
  }
  if (field.type == FieldType::kString) {
    if (Clip(text).size() > static_cast<size_t>(field.size)) {
      return "text longer than " + std::to_string(field.size) + " characters";
    }
    ref.SetString(text);
    return {};
  }
  std::string_view v = Clip(text);
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  if (v.empty()) {
    ref.SetNumber(0);
    return {};
  }
  double value = 0;
  const char* end = v.data() + v.size();
  auto r = std::from_chars(v.data(), end, value);
  if (r.ec != std::errc() || r.ptr != end || !std::isfinite(value)) {
    return "'" + std::string(v) + "' is not a number";
  }
  if (field.type != FieldType::kReal) {
    double lo = -32768, hi = 32767;
    if (field.type == FieldType::kLong) {
      lo = -2147483648.0;
      hi = 2147483647.0;
    } else if (field.type == FieldType::kByte) {
      lo = 0;
      hi = 255;
    }
    if (value != std::trunc(value)) return "'" + std::string(v) + "' is not a whole number";
    if (value < lo || value > hi) {
      return "'" + std::string(v) + "' is outside " + NumberText(lo) + " to " + NumberText(hi);
    }
  }
  ref.SetNumber(value);
  return {};
}

class Loader {
 public:
  explicit Loader(const LoadOptions& options) : options_(options) {}

  LoadResult Run(const std::vector<std::string>& csv_files) {
    LoadResult result;
    native::RegisterNativeDriver();
    for (const std::string& csv : csv_files) {
      Target t;
      t.csv = csv;
      t.csv_abs = fs::absolute(csv).string();
      if (!TableFor(csv, &t.table)) {
        result.error =
            csv + ": not named after a table (FEATURES, SUPPLIER, REVIEW, CATEGORY, ISSUES)";
        return result;
      }
      for (const Target& other : targets_) {
        if (other.table == t.table) {
          result.error = csv + ": table " + app::DataFileDecl(t.table).label + " is named twice";
          return result;
        }
      }
      targets_.push_back(std::move(t));
    }

    std::error_code ec;
    const fs::path previous = fs::current_path(ec);
    fs::create_directories(options_.data_dir, ec);
    fs::current_path(options_.data_dir, ec);
    if (ec) {
      result.error = options_.data_dir + ": " + ec.message();
      return result;
    }
    result.error = LoadAll();
    result.ok = result.error.empty();
    if (result.ok) {
      for (Target& t : targets_) {
        int64_t records = 0;
        t.file->Records(&records);
        result.tables.push_back({app::DataFileDecl(t.table).label, t.rows, records});
      }
    }
    Finish(result.ok);
    fs::current_path(previous, ec);
    return result;
  }

 private:
  std::string LoadAll() {
    for (Target& t : targets_) {
      const FileDecl& decl = app::DataFileDecl(t.table);
      t.file = std::make_unique<File>(decl);
      int rc = t.file->Open(kOpenExclusive);
      if (rc == kFileNotFound) {
        rc = t.file->Create();
        if (rc != kNoError) return t.file->Name() + ": cannot be created: " + ErrorDescription(rc);
        t.created = true;
        rc = t.file->Open(kOpenExclusive);
      }
      if (rc != kNoError) return t.file->Name() + ": cannot be opened: " + ErrorDescription(rc);
      rc = t.file->BeginTransaction();
      if (rc != kNoError) return t.file->Name() + ": cannot be written: " + ErrorDescription(rc);
      t.in_transaction = true;
      if (options_.replace) {
        rc = t.file->Empty();
        if (rc != kNoError) return t.file->Name() + ": cannot be emptied: " + ErrorDescription(rc);
      }
    }
    for (Target& t : targets_) {
      std::string error = LoadOne(t);
      if (!error.empty()) return error;
    }
    for (Target& t : targets_) {
      const int rc = t.file->Commit();
      t.in_transaction = false;
      if (rc != kNoError) return t.file->Name() + ": cannot be written: " + ErrorDescription(rc);
    }
    return {};
  }

  std::string LoadOne(Target& t) {
    const FileDecl& decl = t.file->decl();
    std::string why;
    std::unique_ptr<RowSource> source = OpenRowSource(t.csv_abs, &why);
    if (!source) return t.csv + ": " + why;
    auto at = [&] { return source->Where(t.csv) + ": "; };
    const bool cp1252 = options_.cp1252 || source->windows1252();

    std::vector<std::string> fields;
    if (source->Header(&fields, &why) != RowSource::Result::kRow) return at() + why;
    // Column i of the source goes to field columns[i].
    std::vector<int> columns;
    std::vector<bool> seen(decl.fields.size(), false);
    for (std::string& name : fields) {
      std::string label = ToUpper1252(Clip(name));
      while (!label.empty() && label.front() == ' ') label.erase(0, 1);
      const int f = decl.FieldIndex(label);
      if (f < 0) return at() + "column " + name + " is not a field of " + decl.label;
      if (seen[f]) return at() + "column " + name + " is given twice";
      seen[f] = true;
      columns.push_back(f);
    }
    for (size_t f = 0; f < decl.fields.size(); ++f) {
      if (!seen[f]) return at() + "column " + decl.fields[f].ColumnName() + " is missing";
    }

    int64_t next_report = source->size() / 10;
    for (;;) {
      const RowSource::Result r = source->Next(&fields, &why);
      if (r == RowSource::Result::kEnd) break;
      if (r == RowSource::Result::kError) return at() + why;
      if (fields.size() != columns.size()) {
        return at() + std::to_string(fields.size()) + " fields where the header has " +
               std::to_string(columns.size());
      }
      t.file->ClearRecord();
      for (size_t i = 0; i < columns.size(); ++i) {
        const FieldDecl& field = decl.fields[columns[i]];
        std::string bad = StoreValue(field, fields[i], cp1252, t.file->Field(columns[i]));
        if (!bad.empty()) return at() + "field " + field.ColumnName() + ": " + bad;
      }
      const int rc = t.file->Add();
      if (rc != kNoError) return at() + ErrorDescription(rc);
      ++t.rows;
      if (options_.progress && source->bytes_read() >= next_report) {
        options_.progress(t.csv, source->bytes_read(), source->size());
        next_report += std::max<int64_t>(source->size() / 10, 1);
      }
    }
    return {};
  }

  void Finish(bool ok) {
    for (Target& t : targets_) {
      if (!t.file) continue;
      if (t.in_transaction) t.file->Rollback();
      const std::string name = t.file->Name();
      if (t.file->is_open()) t.file->Close();
      if (!ok && t.created) {
        std::error_code ec;
        fs::remove(name, ec);
      } else if (!ok) {
        // A commit that failed half-way (a full disk) leaves its journal
        // behind; opening with recovery puts the file back as it was now,
        // rather than leaving that to the next program that reads it.
        t.file->Option("RECOVER=5");
        if (t.file->Open(kOpenExclusive) == kNoError) t.file->Close();
      }
    }
  }

  const LoadOptions& options_;
  std::vector<Target> targets_;
};

}  // namespace

LoadResult Load(const std::vector<std::string>& csv_files, const LoadOptions& options) {
  return Loader(options).Run(csv_files);
}

}  // namespace mirabo::tools
