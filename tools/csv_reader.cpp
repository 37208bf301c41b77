#include "tools/csv_reader.h"

#include <cerrno>
#include <cstring>

namespace mirabo::tools {

CsvReader::~CsvReader() {
  if (file_) std::fclose(file_);
}

bool CsvReader::Open(const std::string& path, std::string* error) {
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) {
    *error = std::strerror(errno);
    return false;
  }
  if (std::fseek(file_, 0, SEEK_END) == 0) {
    size_ = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
  }
  // A byte-order mark in front of the header is not part of it.
  if (Peek() == 0xEF) {
    if (filled_ >= 3 && static_cast<unsigned char>(buffer_[1]) == 0xBB &&
        static_cast<unsigned char>(buffer_[2]) == 0xBF) {
      at_ = 3;
      consumed_ = 3;
    }
  }
  return true;
}

int CsvReader::Peek() {
  if (at_ == filled_) {
    filled_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    at_ = 0;
    if (filled_ == 0) return EOF;
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
  if (Peek() == EOF) return Result::kEnd;
  record_line_ = line_;
  std::string field;
  for (;;) {
    int c = Get();
    if (c == '"' && field.empty()) {
      // A quoted field runs to the quote that is not doubled.
      for (;;) {
        c = Get();
        if (c == EOF) {
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
    fields->push_back(std::move(field));
    field.clear();
    if (c != ',') return Result::kRecord;
  }
}

}  // namespace mirabo::tools
