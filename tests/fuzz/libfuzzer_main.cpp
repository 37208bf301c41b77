// The libFuzzer entry of one target; MIRABO_FUZZ_TARGET names its function.
#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return mirabo::fuzz::MIRABO_FUZZ_TARGET(data, size);
}
