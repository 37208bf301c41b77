#include <string>

#include "runtime/bindings.h"
#include "runtime/file.h"
#include "runtime/file_decl.h"
#include "runtime/filter.h"
#include "tests/fuzz/fuzz_targets.h"

namespace mirabo::fuzz {
namespace {

const FileDecl& RecordDecl() {
  static const FileDecl decl = FileDeclBuilder("ITEMS", "ITM", "NONE")
                                   .String("NAME", 20)
                                   .Short("COUNT")
                                   .Long("TOTAL")
                                   .Real("PRICE")
                                   .Byte("FLAG")
                                   .Build();
  return decl;
}

}  // namespace

// The input is the expression up to the first NUL; what follows fills the
// record buffer, over and over, for as many evaluations as it lasts.
int FuzzFilter(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  File record(RecordDecl());
  Bindings bindings;
  bindings.PushScope();
  bindings.BindRecord(record);
  Filter filter;
  std::string error;
  if (!filter.Compile(input.substr(0, nul), bindings, &error)) return 0;
  (void)filter.EqualityOn("ITM:NAME");
  std::string rest = nul == std::string::npos ? std::string() : input.substr(nul + 1);
  const size_t width = record.decl().record_size;
  do {
    std::string bytes = rest.substr(0, width);
    bytes.resize(width, ' ');
    std::copy(bytes.begin(), bytes.end(), record.record());
    (void)filter.Evaluate();
    rest.erase(0, std::min(rest.size(), width));
  } while (!rest.empty());
  return 0;
}

}  // namespace mirabo::fuzz
