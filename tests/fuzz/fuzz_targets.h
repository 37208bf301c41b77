// The readers of outside input, each as a function that takes one input and
// must answer it with an error, never a crash, a hang or memory that grows:
// the libFuzzer targets call them (scripts/fuzz), and the test suite replays
// every seed and every input that ever failed through them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mirabo::fuzz {

using Target = int (*)(const uint8_t* data, size_t size);

// A CSV file, read record by record as the loader reads it.
int FuzzCsvReader(const uint8_t* data, size_t size);
// An xBase table: opened, every record read, every field got by its type;
// then a value of each type put into every field and a record appended.
int FuzzDbfTable(const uint8_t* data, size_t size);
// A page image file, decoded and encoded again.
int FuzzPageImage(const uint8_t* data, size_t size);
// A picture text and a value (split at the first NUL), compiled and applied
// to the value as a number and as a text.
int FuzzPicture(const uint8_t* data, size_t size);
// A filter expression over a small record, compiled and evaluated against
// records made from the input.
int FuzzFilter(const uint8_t* data, size_t size);
// A KOLVAN.INI file: values read, positions parsed, a key written back.
int FuzzProfile(const uint8_t* data, size_t size);
// A damaged native data file: opened with the full check, read in every key
// order.
int FuzzNativeOpen(const uint8_t* data, size_t size);

struct NamedTarget {
  const char* name;  // the corpus folder's name
  Target run;
};
inline constexpr NamedTarget kTargets[] = {
    {"csv_reader", FuzzCsvReader},   {"dbf_table", FuzzDbfTable}, {"page_image", FuzzPageImage},
    {"picture", FuzzPicture},        {"filter", FuzzFilter},      {"profile", FuzzProfile},
    {"native_open", FuzzNativeOpen},
};

}  // namespace mirabo::fuzz
