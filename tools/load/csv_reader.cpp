#include "tools/load/csv_reader.h"

#include <cstring>

#include "runtime/error.h"

namespace mirabo::tools {
namespace {

constexpr size_t kBlock = 1 << 16;

std::string Reason(const IoStatus& s) {
  return s.os_error() != 0 ? std::strerror(s.os_error()) : ErrorText(s.code());
}

}  // namespace

bool CsvReader::Open(const std::string& path, std::string* error) {
  OpenOptions o;
  o.read = true;
  const IoStatus s = CurrentFileSystem().Open(path, o, &file_);
  if (!s.ok()) {
    *error = Reason(s);
    return false;
  }
  if (!file_->Size(&size_).ok()) size_ = 0;
  // A byte-order mark in front of the header is not part of it.
  if (Peek() == 0xEF && buffer_.size() >= 3 && static_cast<unsigned char>(buffer_[1]) == 0xBB &&
      static_cast<unsigned char>(buffer_[2]) == 0xBF) {
    at_ = 3;
    consumed_ = 3;
  }
  return true;
}

int CsvReader::Peek() {
  if (at_ == buffer_.size()) {
    if (!read_error_.empty()) return EOF;
    const IoStatus s = file_->ReadAt(offset_, kBlock, &buffer_);
    at_ = 0;
    if (!s.ok()) {
      read_error_ = "cannot read the file after byte " + std::to_string(offset_) + ": " + Reason(s);
      buffer_.clear();
      return EOF;
    }
    offset_ += static_cast<int64_t>(buffer_.size());
    if (buffer_.empty()) return EOF;
  }
  return static_cast<unsigned char>(buffer_[at_]);
}

int CsvReader::Get() {
  const int c = Peek();
  if (c != EOF) {
    ++at_;
    ++consumed_;
    if (c == '\n') ++line_;
  }
  return c;
}

CsvReader::Result CsvReader::Next(std::vector<std::string>* fields, std::string* error) {
  fields->clear();
  record_line_ = line_;
  const auto failed = [&] {
    *error = read_error_;
    return Result::kError;
  };
  if (Peek() == EOF) return read_error_.empty() ? Result::kEnd : failed();
  std::string field;
  for (;;) {
    int c = Get();
    if (c == '"' && field.empty()) {
      // A quoted field runs to the quote that is not doubled.
      for (;;) {
        c = Get();
        if (c == EOF) {
          if (!read_error_.empty()) return failed();
          *error = "a quoted field is not closed";
          return Result::kError;
        }
        if (c == '"') {
          if (Peek() == '"') {
            Get();
            field.push_back('"');
            continue;
          }
          break;
        }
        field.push_back(static_cast<char>(c));
      }
      c = Get();
      if (c == '\r' && Peek() == '\n') c = Get();
      if (c != ',' && c != '\n' && c != EOF) {
        *error = "text follows a closing quote";
        return Result::kError;
      }
    } else {
      while (c != ',' && c != '\n' && c != EOF) {
        // The plain run of the field within the block read, in one step.
        if (c != '"' && c != '\r') {
          field.push_back(static_cast<char>(c));
          const size_t from = at_;
          size_t to = from;
          while (to < buffer_.size()) {
            const char b = buffer_[to];
            if (b == ',' || b == '\n' || b == '\r' || b == '"') break;
            ++to;
          }
          field.append(buffer_, from, to - from);
          consumed_ += static_cast<int64_t>(to - from);
          at_ = to;
          c = Get();
          continue;
        }
        if (c == '"') {
          *error = "a quote inside a field that does not start with one";
          return Result::kError;
        }
        if (c == '\r' && Peek() == '\n') {
          c = Get();
          break;
        }
        field.push_back(static_cast<char>(c));
        c = Get();
      }
    }
    // A record cut short by a failed read is not a record.
    if (c == EOF && !read_error_.empty()) return failed();
    fields->push_back(std::move(field));
    field.clear();
    if (c != ',') return Result::kRecord;
  }
}

}  // namespace mirabo::tools
