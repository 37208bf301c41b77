#include "tools/load/memo_file.h"

#include <cctype>
#include <cstring>

#include "runtime/output_file.h"

namespace mirabo::tools {
namespace {

constexpr int64_t kPlainDbtBlock = 512;
constexpr int64_t kLargestText = 1 << 20;  // no memo of the index is near this

uint32_t Little32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint32_t Big32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 24 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3]));
}

}  // namespace

std::unique_ptr<MemoFile> MemoFile::Open(const std::string& dbf_path, std::string* error) {
  const size_t dot = dbf_path.rfind('.');
  const size_t slash = dbf_path.rfind('/');
  const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                               ? dbf_path.substr(0, dot)
                               : dbf_path;
  FileSystem& fs = CurrentFileSystem();
  for (const char* ext : {".dbt", ".DBT", ".Dbt", ".fpt", ".FPT", ".Fpt"}) {
    const std::string path = stem + ext;
    std::unique_ptr<FileHandle> file;
    OpenOptions o;
    if (!fs.Open(path, o, &file).ok()) continue;
    int64_t size = 0;
    std::string header;
    if (const IoStatus s = file->Size(&size); !s.ok()) {
      *error = "its memo file " + path + " cannot be read: " + IoStatusText(s);
      return nullptr;
    }
    if (const IoStatus s = file->ReadAt(0, 512, &header); !s.ok() || header.size() < 32) {
      *error = "its memo file " + path +
               " cannot be read: " + (s.ok() ? std::string("it is too short") : IoStatusText(s));
      return nullptr;
    }
    const bool fpt = std::tolower(static_cast<unsigned char>(ext[1])) == 'f';
    Layout layout = Layout::kDbt;
    int64_t block = kPlainDbtBlock;
    if (fpt) {
      layout = Layout::kFpt;
      block = (static_cast<unsigned char>(header[6]) << 8) | static_cast<unsigned char>(header[7]);
    } else {
      // A marked .dbt gives its block size; a plain one (and writers that
      // leave the header blank) uses 512.
      const int64_t given =
          static_cast<unsigned char>(header[20]) | (static_cast<unsigned char>(header[21]) << 8);
      if (given > 0) block = given;
    }
    if (block <= 0 || block > 65536) {
      *error = "its memo file " + path + " gives no usable block size";
      return nullptr;
    }
    return std::unique_ptr<MemoFile>(new MemoFile(path, std::move(file), layout, block, size));
  }
  *error = "it has memo fields but no memo file (" + stem + ".dbt) beside it";
  return nullptr;
}

bool MemoFile::Text(std::string_view stored, std::string* text, std::string* error) {
  text->clear();
  int64_t number = 0;
  if (stored.size() == 4) {
    number = Little32(std::string(stored), 0);
  } else {
    bool digits = false;
    for (char c : stored) {
      if (c == ' ') continue;
      if (c < '0' || c > '9') {
        *error = "holds \"" + std::string(stored) + "\", which is no memo block number";
        return false;
      }
      digits = true;
      number = number * 10 + (c - '0');
      if (number > size_) break;
    }
    if (!digits) return true;
  }
  if (number == 0) return true;
  const int64_t at = number * block_;
  auto damaged = [&](const std::string& why) {
    *error = "its memo in block " + std::to_string(number) + " of " + path_ + " " + why;
    return false;
  };
  if (at >= size_) return damaged("lies beyond the end of the file");
  std::string bytes;
  std::string head;
  if (const IoStatus s = file_->ReadAt(at, 8, &head); !s.ok() || head.size() < 4) {
    return damaged("cannot be read");
  }
  // A marked .dbt block starts with its mark and length; a plain one is
  // text to its end mark.
  const bool marked =
      layout_ == Layout::kFpt ||
      (head.size() == 8 && static_cast<unsigned char>(head[0]) == 0xFF &&
       static_cast<unsigned char>(head[1]) == 0xFF && head[2] == 0x08 && head[3] == 0x00);
  if (!marked) {
    // The text runs to its end mark, which may lie several blocks on.
    for (int64_t from = at; from < size_; from += block_) {
      std::string chunk;
      if (const IoStatus s = file_->ReadAt(from, static_cast<size_t>(block_), &chunk); !s.ok()) {
        return damaged("cannot be read: " + IoStatusText(s));
      }
      const size_t end = chunk.find('\x1A');
      bytes += chunk.substr(0, end);
      if (end != std::string::npos) break;
      if (static_cast<int64_t>(bytes.size()) > kLargestText) return damaged("has no end mark");
    }
    *text = std::move(bytes);
    return true;
  }
  if (head.size() < 8) return damaged("cannot be read");
  int64_t length = 0;
  const int64_t start = at + 8;
  if (layout_ == Layout::kDbt) {
    length = static_cast<int64_t>(Little32(head, 4)) - 8;
  } else {
    length = Big32(head, 4);
  }
  if (length < 0 || length > kLargestText || start + length > size_) {
    return damaged("runs past the end of the file");
  }
  if (const IoStatus s = file_->ReadAt(start, static_cast<size_t>(length), &bytes);
      !s.ok() || static_cast<int64_t>(bytes.size()) != length) {
    return damaged("cannot be read");
  }
  *text = std::move(bytes);
  return true;
}

}  // namespace mirabo::tools
