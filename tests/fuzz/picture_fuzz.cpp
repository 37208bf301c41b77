#include <cmath>
#include <cstring>
#include <string>

#include "runtime/picture.h"
#include "tests/fuzz/fuzz_targets.h"

namespace mirabo::fuzz {

int FuzzPicture(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string text = input.substr(0, nul);
  const std::string value = nul == std::string::npos ? std::string() : input.substr(nul + 1);
  const Picture p = Picture::Compile(text);
  double number = 0;
  if (value.size() >= sizeof(double)) {
    std::memcpy(&number, value.data(), sizeof number);
  } else {
    number = std::strtod(value.c_str(), nullptr);
  }
  for (const double v : {number, 0.0, -1.5, 1e300, -1e300, double{NAN}, double{INFINITY}}) {
    const std::string shown = p.Format(v);
    // A number or pattern picture fills exactly its width (dates and times
    // with names of months and days vary).
    const bool fixed = p.kind() == PictureKind::kNumber || p.kind() == PictureKind::kPattern;
    if (fixed && static_cast<int>(shown.size()) != p.width()) __builtin_trap();
  }
  (void)p.FormatString(value);
  (void)FormatPicture(text, value);
  return 0;
}

}  // namespace mirabo::fuzz
