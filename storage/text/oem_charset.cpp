#include "storage/text/oem_charset.h"

#include <cstdint>

namespace mirabo::text {
namespace {

// Code page 437 for Windows-1252 0x80 to 0xFF, by character identity: only
// exact matches are taken, no look-alikes, so "À" becomes '?' rather than "A".
constexpr uint8_t kOemHigh[128] = {
    '?',  '?',  '?',  0x9F, '?',  '?',  '?',  '?',   // 0x80 (ƒ is the only one 437 has)
    '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',   // 0x88
    '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',   // 0x90
    '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',   // 0x98
    0xFF, 0xAD, 0x9B, 0x9C, '?',  0x9D, '?',  '?',   // 0xA0 nbsp ¡ ¢ £ ¤ ¥ ¦ §
    '?',  '?',  0xA6, 0xAE, 0xAA, '?',  '?',  '?',   // 0xA8 ¨ © ª « ¬ shy ® ¯
    0xF8, 0xF1, 0xFD, '?',  '?',  0xE6, '?',  0xFA,  // 0xB0 ° ± ² ³ ´ µ ¶ ·
    '?',  '?',  0xA7, 0xAF, 0xAC, 0xAB, '?',  0xA8,  // 0xB8 ¸ ¹ º » ¼ ½ ¾ ¿
    '?',  '?',  '?',  '?',  0x8E, 0x8F, 0x92, 0x80,  // 0xC0 À Á Â Ã Ä Å Æ Ç
    '?',  0x90, '?',  '?',  '?',  '?',  '?',  '?',   // 0xC8 È É Ê Ë Ì Í Î Ï
    '?',  0xA5, '?',  '?',  '?',  '?',  0x99, '?',   // 0xD0 Ð Ñ Ò Ó Ô Õ Ö ×
    '?',  '?',  '?',  '?',  0x9A, '?',  '?',  0xE1,  // 0xD8 Ø Ù Ú Û Ü Ý Þ ß
    0x85, 0xA0, 0x83, '?',  0x84, 0x86, 0x91, 0x87,  // 0xE0 à á â ã ä å æ ç
    0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,  // 0xE8 è é ê ë ì í î ï
    '?',  0xA4, 0x95, 0xA2, 0x93, '?',  0x94, 0xF6,  // 0xF0 ð ñ ò ó ô õ ö ÷
    '?',  0x97, 0xA3, 0x96, 0x81, '?',  '?',  0x98,  // 0xF8 ø ù ú û ü ý þ ÿ
};

// The inverse table, built once from the one above.
struct AnsiTable {
  uint8_t high[128];
  AnsiTable() {
    for (uint8_t& c : high) c = '?';
    for (int i = 0; i < 128; ++i) {
      if (kOemHigh[i] >= 0x80) high[kOemHigh[i] - 0x80] = static_cast<uint8_t>(0x80 + i);
    }
  }
};

}  // namespace

char AnsiFromOem(char oem) {
  static const AnsiTable table;
  const auto c = static_cast<uint8_t>(oem);
  return c < 0x80 ? oem : static_cast<char>(table.high[c - 0x80]);
}

void AnsiFromOem(std::string_view oem, std::string* ansi) {
  ansi->resize(oem.size());
  for (size_t i = 0; i < oem.size(); ++i) (*ansi)[i] = AnsiFromOem(oem[i]);
}

char OemFromAnsi(char ansi) {
  const auto c = static_cast<uint8_t>(ansi);
  return c < 0x80 ? ansi : static_cast<char>(kOemHigh[c - 0x80]);
}

void OemFromAnsi(std::string_view ansi, std::string* oem) {
  oem->resize(ansi.size());
  for (size_t i = 0; i < ansi.size(); ++i) (*oem)[i] = OemFromAnsi(ansi[i]);
}

}  // namespace mirabo::text
