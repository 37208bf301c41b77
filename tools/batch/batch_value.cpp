#include "tools/batch/batch_value.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/lock_wait.h"
#include "runtime/text.h"

namespace mirabo::tools {
namespace {

struct Row {
  double key;
  std::string name;  // Windows-1252, clipped
};

std::string Listed(const std::vector<const Row*>& rows) {
  std::string out;
  size_t shown = 0;
  for (const Row* r : rows) {
    if (shown++ == 10) return out + ", ...";
    out += (out.empty() ? "" : ", ") + NumberText(r->key) + " " + Utf8FromCp1252(r->name);
  }
  return out;
}

}  // namespace

PickedRow PickRow(app::DataFile table, const std::string& value) {
  PickedRow out;
  const FileDecl& decl = app::DataFileDecl(table);
  const app::Relation& relation = *app::RelationTo(table);
  const int name_field = relation.name_field, key_field = relation.lookup_field;
  File file(decl);
  // Another program holding the table locked is waited for as the lock-wait
  // observer says (a batch command: --wait seconds, in real time).
  int open_rc = kNoError;
  const auto started = std::chrono::steady_clock::now();
  for (bool first = true; (open_rc = file.Open(kOpenShared)) == kFileIsAlreadyLocked;
       first = false) {
    const int64_t waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - started)
                               .count();
    std::string holder;
    (void)file.Option("LOCKHOLDER", &holder);
    if (!ObserveLockWait({file.Name(), std::atoi(holder.c_str()), waited, first, 100})) break;
  }
  if (const int rc = open_rc; rc != kNoError) {
    out.error = Printable(file.Name(), 200) + ": " + ErrorText(rc);
    out.unreadable = true;
    return out;
  }
  std::vector<Row> rows;
  int rc = file.SetKeyStart(kRecordOrder);
  while (rc == kNoError && (rc = file.Next()) == kNoError) {
    rows.push_back(
        {file.Field(key_field).GetNumber(), std::string(Clip(file.Field(name_field).Bytes()))});
  }
  (void)file.Close();
  if (rc != kRecordNotAvailable) {
    out.error = decl.label + ": " + ErrorText(rc);
    out.unreadable = true;
    return out;
  }

  std::vector<const Row*> found;
  double number = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (ec == std::errc() && end == value.data() + value.size() && std::isfinite(number)) {
    for (const Row& r : rows) {
      if (r.key == number) found.push_back(&r);
    }
  } else {
    const std::optional<std::string> wanted = Cp1252FromUtf8(value);
    const std::string upper = ToUpper1252(wanted ? *wanted : value);
    for (const Row& r : rows) {
      if (ToUpper1252(r.name) == upper) found.push_back(&r);
    }
    if (found.empty() && !upper.empty()) {
      for (const Row& r : rows) {
        if (ToUpper1252(r.name).find(upper) != std::string::npos) found.push_back(&r);
      }
    }
  }
  if (found.empty()) {
    out.error = "no row of " + decl.label + " is '" + value + "'";
  } else if (found.size() > 1) {
    out.error = "'" + value + "' names " + std::to_string(found.size()) + " rows of " + decl.label +
                ": " + Listed(found) + "; give its number";
  } else {
    out.ok = true;
    out.key = found[0]->key;
    out.name = Utf8FromCp1252(found[0]->name);
  }
  return out;
}

}  // namespace mirabo::tools
