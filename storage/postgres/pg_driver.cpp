// Registration of the server driver, and what it shares: the connection
// URI's checks and the form messages show it in.
#include "storage/postgres/pg_driver.h"

#include <libpq-fe.h>

#include "runtime/error.h"
#include "runtime/file.h"
#include "storage/postgres/pg_file.h"

namespace mirabo::postgres {
namespace {

class PgDriver final : public FileDriver {
 public:
  PgDriver(std::string name, std::string uri)
      : name_(std::move(name)), session_(std::make_shared<PgSession>(std::move(uri))) {}
  std::string Register() const override { return name_; }
  std::unique_ptr<DriverFile> Attach(File& file) const override {
    return std::make_unique<PgFile>(file, session_);
  }

 private:
  std::string name_;
  std::shared_ptr<PgSession> session_;
};

}  // namespace

bool IsConnectionUri(std::string_view text) {
  return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

std::string CheckConnectionUri(std::string_view uri) {
  if (!IsConnectionUri(uri)) return "not a postgresql:// address";
  char* error = nullptr;
  const std::string text(uri);
  PQconninfoOption* options = PQconninfoParse(text.c_str(), &error);
  if (!options) {
    std::string why = error ? error : "it cannot be read";
    PQfreemem(error);
    while (!why.empty() && why.back() == '\n') why.pop_back();
    return "not a connection address libpq reads: " + why;
  }
  bool password = false;
  for (PQconninfoOption* o = options; o->keyword; ++o) {
    if (std::string_view(o->keyword) == "password" && o->val && *o->val) password = true;
  }
  PQconninfoFree(options);
  if (password) {
    return "the address holds a password; passwords come from ~/.pgpass or PGPASSWORD, never from "
           "the command line or the profile";
  }
  return {};
}

std::string DisplayUri(std::string_view uri) {
  std::string s(uri);
  const size_t scheme = s.find("://");
  if (scheme == std::string::npos) return s;
  const size_t start = scheme + 3;
  const size_t end = s.find_first_of("/?", start);
  const size_t at = s.rfind('@', end == std::string::npos ? s.size() : end);
  if (at != std::string::npos && at >= start) {
    const size_t colon = s.find(':', start);
    if (colon != std::string::npos && colon < at) s.erase(colon, at - colon);
  }
  // A password given as a parameter.
  const size_t q = s.find('?');
  if (q == std::string::npos) return s;
  std::string kept;
  size_t from = q + 1;
  for (;;) {
    const size_t amp = s.find('&', from);
    const std::string param = s.substr(from, amp == std::string::npos ? amp : amp - from);
    if (param.rfind("password=", 0) != 0) kept += (kept.empty() ? "" : "&") + param;
    if (amp == std::string::npos) break;
    from = amp + 1;
  }
  s = s.substr(0, q) + (kept.empty() ? "" : "?" + kept);
  return s;
}

std::shared_ptr<const FileDriver> ServerDriver(std::string name, std::string uri) {
  return std::make_shared<PgDriver>(std::move(name), std::move(uri));
}

int BeginServerTransaction(File& file) {
  (void)file.Name();  // attaches the driver
  auto* pg = dynamic_cast<PgFile*>(file.driver_file());
  return pg ? pg->BeginWriting() : kUnsupportedFunction;
}

int PreparedStatements(File& file) {
  auto* pg = dynamic_cast<PgFile*>(file.driver_file());
  return pg ? pg->session().prepared() : 0;
}

}  // namespace mirabo::postgres

namespace mirabo::postgres {

std::vector<std::pair<std::string, std::string>> ExplainQueries(File& file) {
  auto* pg = dynamic_cast<PgFile*>(file.driver_file());
  return pg ? pg->session().Explain() : std::vector<std::pair<std::string, std::string>>{};
}

}  // namespace mirabo::postgres
