// Access-mode codes passed to every open: the low two bits choose reading or
// writing, the next four the sharing granted to others.
#pragma once

#include <cstdint>

namespace mirabo {

constexpr uint8_t kReadOnly = 0x00;
constexpr uint8_t kWriteOnly = 0x01;
constexpr uint8_t kReadWrite = 0x02;

constexpr uint8_t kShareAny = 0x00;  // compatibility mode
constexpr uint8_t kDenyAll = 0x10;
constexpr uint8_t kDenyWrite = 0x20;
constexpr uint8_t kDenyRead = 0x30;
constexpr uint8_t kDenyNone = 0x40;

// The two codes the program uses: its data files, and the files it writes.
constexpr uint8_t kOpenShared = kReadOnly | kDenyNone;       // 0x40
constexpr uint8_t kOpenExclusive = kReadWrite | kDenyWrite;  // 0x22

constexpr uint8_t AccessBits(uint8_t mode) { return mode & 0x03; }
constexpr uint8_t SharingBits(uint8_t mode) { return mode & 0xF0; }
constexpr bool CanWrite(uint8_t mode) { return AccessBits(mode) != kReadOnly; }
constexpr bool CanRead(uint8_t mode) { return AccessBits(mode) != kWriteOnly; }

}  // namespace mirabo
