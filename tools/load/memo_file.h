// The memo file beside an xBase table: the text of its M (memo) fields,
// which the table's records hold only as block numbers.
//
// Three layouts are read, told apart by the file's name and each block:
//   .dbt, plain      512-byte blocks; a text runs from its block to the
//                    first 0x1A (the writer puts two)
//   .dbt, marked     blocks of the size the header gives (bytes 20-21); a
//                    block starts FF FF 08 00 and the text's length (4 bytes,
//                    little-endian, the 8 header bytes included)
//   .fpt             blocks of the size the header gives (bytes 6-7,
//                    big-endian); a block starts with a type and the text's
//                    length (4 bytes each, big-endian)
// A block number beyond the file, or a length that runs past its end, is a
// damaged memo file, never text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/file_system.h"

namespace mirabo::tools {

class MemoFile {
 public:
  // Opens the memo file of the table at `dbf_path` (the same name with .dbt
  // or .fpt, in any case); null with the reason when there is none or it
  // cannot be read.
  static std::unique_ptr<MemoFile> Open(const std::string& dbf_path, std::string* error);

  // The text of the memo the field value `stored` names: blank for none,
  // else a block number (ASCII digits; 4 bytes little-endian in a 4-byte
  // field).  False with the reason when it cannot be read.
  bool Text(std::string_view stored, std::string* text, std::string* error);

  const std::string& path() const { return path_; }

 private:
  enum class Layout { kDbt, kFpt };
  MemoFile(std::string path, std::unique_ptr<FileHandle> file, Layout layout, int64_t block,
           int64_t size)
      : path_(std::move(path)),
        file_(std::move(file)),
        layout_(layout),
        block_(block),
        size_(size) {}

  std::string path_;
  std::unique_ptr<FileHandle> file_;
  Layout layout_;
  int64_t block_;  // bytes a block
  int64_t size_;   // the file's size
};

}  // namespace mirabo::tools
