#include "tools/load/loader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <unordered_map>

#include "app/data/declarations.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/lock_wait.h"
#include "runtime/text.h"
#include "storage/native/joint_transaction.h"
#include "storage/native/lock_holder.h"
#include "storage/native/native_driver.h"
#include "storage/postgres/pg_driver.h"
#include "tools/data_location.h"
#include "tools/load/row_source.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;

// An SQLite database file is never shorter than its 100-byte header.
constexpr int64_t kSmallestDataFile = 100;

struct Target {
  std::string csv;      // as given, for messages
  std::string csv_abs;  // resolved before the data folder becomes current
  app::DataFile table;
  std::unique_ptr<File> file;
  bool created = false;
  std::string set_aside;  // a file that was no data file, kept until the load succeeds
  int64_t rows = 0;
  // For each unique key: the key values this load added, with their lines.
  std::vector<std::pair<int, std::unordered_map<std::string, std::string>>> unique;
};

std::string ErrorDescription(int code) {
  const ErrorState& e = CurrentError();
  if (code == kFileSystemError && e.code == kFileSystemError) {
    return e.fs_text + " (" + e.fs_code + ")";
  }
  return ErrorText(code) + " (" + std::to_string(code) + ")";
}

std::string Bytes(int64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

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

std::string Quoted(std::string_view v) { return "'" + Printable(v) + "'"; }

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
    return Quoted(v) + " is not a number";
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
    if (value != std::trunc(value)) return Quoted(v) + " is not a whole number";
    if (value < lo || value > hi) {
      return Quoted(v) + " is outside " + NumberText(lo) + " to " + NumberText(hi);
    }
  }
  ref.SetNumber(value);
  return {};
}

// The value of a unique key as the index compares it.
std::string KeyValue(File& file, const KeyDecl& key) {
  std::string value;
  for (int c : key.components) {
    const ValueRef ref = file.Field(c);
    std::string part = ref.numeric() ? NumberText(ref.GetNumber()) : std::string(Clip(ref.Bytes()));
    if (key.nocase) part = ToUpper1252(part);
    value += part;
    value.push_back('\0');
  }
  return value;
}

class Loader {
 public:
  explicit Loader(const LoadOptions& options) : options_(options) {}

  LoadResult Run(const std::vector<std::string>& csv_files) {
    LoadResult result;
    // The data files of this load are the folder's or the server's,
    // whatever the program used before.
    server_ = IsServerLocation(options_.data_dir);
    DataLocationScope location(options_.data_dir);
    if (!location.error().empty()) {
      result.error = location.error();
      return result;
    }
    result.error = CheckInputs(csv_files);
    if (!result.error.empty()) return result;
    result.error = server_ ? std::string() : EnterDataFolder();
    if (!result.error.empty()) return result;

    const LockWaitObserver previous = SetLockWaitObserver(
        [this](const LockWait& w) { return Waiting(w.file, w.holder, w.waited_ms); });
    result.error = LoadAll();
    result.ok = result.error.empty();
    if (result.ok) {
      for (Target& t : targets_) {
        int64_t records = 0;
        (void)t.file->Records(&records);
        result.tables.push_back({app::DataFileDecl(t.table).label, t.rows, records});
      }
    }
    Finish(result.ok);
    SetLockWaitObserver(previous);
    std::error_code ec;
    fs::current_path(previous_dir_, ec);
    return result;
  }

 private:
  std::string CheckInputs(const std::vector<std::string>& csv_files) {
    for (const std::string& csv : csv_files) {
      Target t;
      t.csv = csv;
      t.csv_abs = fs::absolute(csv).string();
      if (!TableFor(csv, &t.table)) {
        return Printable(csv, 200) +
               ": not named after a table (FEATURES, SUPPLIER, REVIEW, CATEGORY, ISSUES)";
      }
      struct stat st;
      if (::stat(t.csv_abs.c_str(), &st) != 0) {
        return Printable(csv, 200) + ": cannot be read: " + std::strerror(errno);
      }
      if (S_ISDIR(st.st_mode)) return Printable(csv, 200) + ": is a folder, not a CSV file";
      for (const Target& other : targets_) {
        if (other.table == t.table) {
          return Printable(csv, 200) + ": table " + app::DataFileDecl(t.table).label +
                 " is named twice";
        }
      }
      const FileDecl& decl = app::DataFileDecl(t.table);
      for (size_t k = 0; k < decl.keys.size(); ++k) {
        if (!decl.keys[k].dup)
          t.unique.emplace_back(static_cast<int>(k), decltype(t.unique[0].second){});
      }
      targets_.push_back(std::move(t));
    }
    return {};
  }

  std::string EnterDataFolder() {
    std::error_code ec;
    previous_dir_ = fs::current_path(ec);
    const std::string& dir = options_.data_dir;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
      return Printable(dir, 200) + ": is a file, not a folder for the data files";
    }
    if (!fs::exists(dir, ec) && !fs::create_directories(dir, ec) && ec) {
      return Printable(dir, 200) + ": cannot create the data folder: " + ec.message();
    }
    fs::current_path(dir, ec);
    if (ec) return Printable(dir, 200) + ": cannot use the data folder: " + ec.message();
    return {};
  }

  // The lock-wait observer: names each locked file once, and ends the wait
  // after the allowed time.
  bool Waiting(const std::string& file, int holder, int64_t waited_ms) {
    locked_file_ = file;
    locked_holder_ = holder;
    if (waited_ms >= int64_t{options_.wait_seconds} * 1000) return false;
    if (options_.notice && noticed_.insert(file).second) {
      options_.notice(LockSentence() + "; waiting up to " + std::to_string(options_.wait_seconds) +
                      " seconds for it");
    }
    return true;
  }

  std::string LockSentence() const { return mirabo::LockSentence(locked_file_, locked_holder_); }

  std::string LockRefusal() const {
    return LockSentence() + "; close it or end its transaction, then load again" +
           (options_.wait_seconds > 0 ? "" : " (--wait SECONDS waits for it)");
  }

  // Opens an existing data file, waiting between attempts while another
  // process holds it locked: an open itself never waits.
  int OpenWaiting(File& file) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      const int rc = file.Open(kOpenExclusive);
      if (rc != kFileIsAlreadyLocked) return rc;
      const std::string path = file.Name();
      const int64_t waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
      if (!Waiting(path, std::max(native::LockHolder(path), 0), waited)) return rc;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // A table on the server: opened, or made (inside the load's transaction,
  // so a failed load leaves none behind) when it is missing or, with
  // --replace, holds other columns.
  std::string OpenServerTable(Target& t) {
    const FileDecl& decl = app::DataFileDecl(t.table);
    t.file = std::make_unique<File>(decl);
    const std::string name = StoreName(*t.file);
    int rc = t.file->Open(kOpenExclusive);
    const bool remake =
        rc == kFileNotFound ||
        (options_.replace && (rc == kInvalidRecordDeclaration || rc == kKeyFileMustBeRebuilt));
    if (rc == kInvalidRecordDeclaration) {
      if (!remake)
        return name + ": holds columns that differ from " + decl.label +
               "'s; --replace builds it anew";
    }
    if (rc == kKeyFileMustBeRebuilt && !remake) {
      return name +
             ": an index is missing; mirabo repair builds it, --replace builds the table anew";
    }
    if (remake) {
      rc = t.file->Create();
      if (rc != kNoError) return name + ": cannot be created: " + ErrorDescription(rc);
      t.created = true;
      rc = t.file->Open(kOpenExclusive);
    }
    if (rc != kNoError) return name + ": cannot be opened: " + ErrorDescription(rc);
    return {};
  }

  std::string OpenTarget(Target& t) {
    if (server_) return OpenServerTable(t);
    const FileDecl& decl = app::DataFileDecl(t.table);
    t.file = std::make_unique<File>(decl);
    const std::string name = fs::path(t.file->Name()).filename().string();
    std::error_code ec;
    const int64_t size = fs::exists(t.file->Name(), ec) && fs::is_regular_file(t.file->Name(), ec)
                             ? static_cast<int64_t>(fs::file_size(t.file->Name(), ec))
                             : -1;
    int rc = size >= 0 && size < kSmallestDataFile ? kInvalidDataFile : OpenWaiting(*t.file);
    if (rc == kInvalidDataFile || rc == kInvalidRecordDeclaration) {
      if (!options_.replace) {
        std::string why = rc == kInvalidRecordDeclaration
                              ? "holds a table whose fields differ from " + decl.label + "'s"
                          : size == 0 ? "is empty (0 bytes), not a data file"
                          : size >= 0 && size < kSmallestDataFile
                              ? "is not a data file: it holds only " + Bytes(size)
                              : "is not a data file, or is damaged";
        return name + ": " + why + "; --replace builds it anew";
      }
      // Set aside, not removed, until the load has succeeded.
      t.set_aside = t.file->Name() + ".replaced";
      fs::rename(t.file->Name(), t.set_aside, ec);
      if (ec) {
        t.set_aside.clear();
        return name + ": cannot be replaced: " + ec.message();
      }
      rc = kFileNotFound;
    }
    if (rc == kFileNotFound) {
      rc = t.file->Create();
      if (rc != kNoError) return name + ": cannot be created: " + ErrorDescription(rc);
      t.created = true;
      rc = t.file->Open(kOpenExclusive);
    }
    if (rc == kFileIsAlreadyLocked) return LockRefusal();
    if (rc != kNoError) return name + ": cannot be opened: " + ErrorDescription(rc);
    return {};
  }

  std::string LoadAll() {
    if (server_) {
      // One transaction over every table of the load, begun before any is
      // made; it waits for a load that is writing to the server meanwhile.
      File any(app::DataFileDecl(targets_.front().table));
      any.SetHoldWait(0);
      if (const int rc = postgres::BeginServerTransaction(any); rc != kNoError) {
        if (rc == kRecordIsAlreadyHeld) return LockRefusal();
        return "the server cannot be written: " + ErrorDescription(rc);
      }
    }
    std::vector<File*> files;
    for (Target& t : targets_) {
      std::string error = OpenTarget(t);
      if (!error.empty()) return error;
      files.push_back(t.file.get());
    }
    if (!server_) {
      if (const int rc = transaction_.Begin(files); rc != kNoError) {
        if (rc == kRecordIsAlreadyHeld) return LockRefusal();
        return "the data files cannot be written: " + ErrorDescription(rc);
      }
    }
    for (Target& t : targets_) {
      if (!options_.replace) continue;
      if (const int rc = t.file->Empty(); rc != kNoError) {
        return t.file->Name() + ": cannot be emptied: " + ErrorDescription(rc);
      }
    }
    for (Target& t : targets_) {
      std::string error = LoadOne(t);
      if (!error.empty()) return error;
    }
    const int committed = server_ ? targets_.front().file->Commit() : transaction_.Commit();
    if (const int rc = committed; rc != kNoError) {
      if (rc == kRecordIsAlreadyHeld) return LockRefusal();
      return "the data files cannot be written: " + ErrorDescription(rc);
    }
    return {};
  }

  // Why adding the record in the buffer made a duplicate key: the field and
  // the line of this load, or the stored record, that it repeats.
  std::string Duplicate(Target& t) {
    File& file = *t.file;
    const FileDecl& decl = file.decl();
    for (auto& [key, seen] : t.unique) {
      const KeyDecl& k = decl.keys[key];
      std::string fields;
      for (int c : k.components)
        fields += (fields.empty() ? "" : ", ") + decl.fields[c].ColumnName();
      const ValueRef first = file.Field(k.components.front());
      const std::string shown =
          first.numeric() ? NumberText(first.GetNumber()) : Quoted(Clip(first.Bytes()));
      auto it = seen.find(KeyValue(file, k));
      if (it != seen.end()) {
        return "field " + fields + ": " + shown + " repeats " + it->second;
      }
      const std::string record(file.record_bytes());
      const bool stored = file.GetByKey(key) == kNoError;
      std::memcpy(file.record(), record.data(), record.size());
      if (stored) {
        return "field " + fields + ": " + shown + " is already in " + StoreName(file);
      }
    }
    return {};
  }

  std::string LoadOne(Target& t) {
    const FileDecl& decl = t.file->decl();
    std::string why;
    std::unique_ptr<RowSource> source = OpenRowSource(t.csv_abs, &why);
    if (!source) return Printable(t.csv, 200) + ": " + why;
    auto at = [&] { return source->Where(Printable(t.csv, 200)) + ": "; };
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
      if (f < 0) return at() + "column " + Printable(name) + " is not a field of " + decl.label;
      if (seen[f]) return at() + "column " + Printable(name) + " is given twice";
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
      if (rc == kCreatesDuplicateKey) {
        const std::string which = Duplicate(t);
        return at() + (which.empty() ? "" : which + ": ") + ErrorDescription(rc);
      }
      if (rc != kNoError) return at() + ErrorDescription(rc);
      const std::string place =
          std::string(source->unit()) + " " + std::to_string(source->number());
      for (auto& [key, values] : t.unique) {
        values.emplace(KeyValue(*t.file, decl.keys[key]), place);
      }
      ++t.rows;
      if (options_.progress && source->bytes_read() >= next_report) {
        options_.progress(t.csv, source->bytes_read(), source->size());
        next_report += std::max<int64_t>(source->size() / 100, 1);
      }
      // Asked now and then, so a cancel ends a long load soon; what was
      // added is rolled back with the rest.
      if ((t.rows & 1023) == 0 && options_.cancelled && options_.cancelled()) {
        return "the load was cancelled";
      }
    }
    return {};
  }

  void Finish(bool ok) {
    if (server_) {
      // Nothing to undo once committed; else the server forgets every table
      // the load made or changed.
      for (Target& t : targets_) {
        if (t.file && t.file->is_open()) {
          if (!ok) (void)t.file->Rollback();
          (void)t.file->Close();
        }
      }
      return;
    }
    (void)transaction_.Rollback();  // nothing to undo once committed
    for (Target& t : targets_) {
      if (!t.file) continue;
      const std::string name = t.file->Name();
      if (t.file->is_open()) (void)t.file->Close();
      std::error_code ec;
      if (!ok && t.created) fs::remove(name, ec);
      if (!t.set_aside.empty()) {
        if (ok) {
          fs::remove(t.set_aside, ec);
        } else {
          fs::rename(t.set_aside, name, ec);
        }
      } else if (!ok && !t.created) {
        // A commit that failed half-way (a full disk) may leave its journal
        // behind; an open with recovery puts the file back as it was now,
        // rather than leaving that to the next program that reads it.
        (void)t.file->Option("RECOVER=1");
        if (t.file->Open(kOpenExclusive) == kNoError) (void)t.file->Close();
      }
    }
  }

  // A data file as messages name it: FEATURES.KVX, or mirabo.features.
  std::string StoreName(File& file) {
    const std::string name = file.Name();
    if (server_) return name.substr(0, name.find(" on "));
    return fs::path(name).filename().string();
  }

  const LoadOptions& options_;
  bool server_ = false;  // the data location is a database server
  std::vector<Target> targets_;
  native::JointTransaction transaction_;
  fs::path previous_dir_;
  std::string locked_file_;
  int locked_holder_ = 0;
  std::set<std::string> noticed_;
};

}  // namespace

LoadResult Load(const std::vector<std::string>& csv_files, const LoadOptions& options) {
  return Loader(options).Run(csv_files);
}

}  // namespace mirabo::tools
