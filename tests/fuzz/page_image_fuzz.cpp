#include <string>

#include "report/page_image.h"
#include "tests/fuzz/fuzz_targets.h"

namespace mirabo::fuzz {

// A page image's bytes (a damaged or foreign page file): decoded, or refused
// with a status; a page that decodes is described and encoded again, and
// reads back the same.
int FuzzPageImage(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  int width = 0, height = 0;
  (void)report::DecodePageSize(bytes, &width, &height);
  report::PageImage page;
  if (!report::DecodePageImage(bytes, &page).ok()) return 0;
  (void)report::DescribePageImage(page);
  report::PageImage again;
  if (!report::DecodePageImage(report::EncodePageImage(page), &again).ok() || !(again == page)) {
    __builtin_trap();
  }
  return 0;
}

}  // namespace mirabo::fuzz
