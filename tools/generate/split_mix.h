// SplitMix64: the sample generator's random numbers.  A fixed, tiny
// generator: the standard distributions produce different sequences on
// different standard libraries, and the sample files must be byte-identical
// everywhere.  Every draw is a pure function of the seed, the stream and the
// number of draws before it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mirabo::tools {

class SplitMix64 {
 public:
  // Generators with the same seed and different streams give unrelated
  // sequences.
  SplitMix64(uint64_t seed, uint64_t stream) : state_(seed ^ (stream * 0xD1B54A32D192ED03ull)) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); the modulo bias is negligible for the small ranges used here.
  uint64_t Below(uint64_t n) { return Next() % n; }
  // True `p` times in a hundred.
  bool Percent(uint64_t p) { return Below(100) < p; }
  // One of `items`, each as likely.
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

}  // namespace mirabo::tools
