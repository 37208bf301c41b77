// What the two text drivers ("ASCII" and "BASIC") share: the text file itself,
// created, opened, flushed and closed through the runtime's file interface
// (runtime/file_system.h), records written as lines, and the options that both
// drivers read the same way.
//
// Writing.  A line goes after the file's last byte, followed by the
// end-of-record bytes.  The first line written after an open that finds the
// file ending in 0x1A (an old end-of-file mark) replaces that byte.  A file
// never holds part of a line: a write that fails part-way (a disk that fills)
// is undone by cutting the file back to where it began; should even that cut
// fail, the next write goes over the remains and the close (or flush) cuts
// the file again, failing when it still cannot.
//
// Buffering.  Unbuffered (the "ASCII" driver), each line reaches the file
// system before WriteLine returns, so a failed write is the failure of the
// record that caused it.  Buffered (the "BASIC" driver), lines gather in a
// buffer that goes to the file in one write when the next line does not fit,
// and at flush and close.  A buffer that cannot be written is kept and
// written again by the next line, flush or close; the line that found it
// full fails and is not kept.  Either way a line whose WriteLine succeeded is
// in the file unless a later flush or close reports a failure.
//
// Options, back to their defaults at every open: "ENDOFRECORD" (2,13,10; set
// as a count and that many decimal byte codes, queried as the bytes
// themselves), "QUICKSCAN" (ON when the open shares nothing: 0x10, 0x20,
// 0x30; "ON" and "OFF" set it, other values change nothing) and
// "FILEBUFFERS" (the read buffer in units of 512 bytes: 1024 bytes for an
// open that shares nothing, else 512, and at least twice the record; queried
// in whole buffers, a default raised to twice the record rounded up; a
// malformed number or one below 1 changes nothing).  The read buffer only
// matters to reading, which neither driver offers.  "WRITEBUFFER" (bytes of
// lines gathered before a write, the driver's own at every open; 0 writes
// each line at once) lets a writer that checks its close (a whole page
// written to a temporary file) trade the per-line failure for one write
// per buffer; the lines gathered so far are written first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/file_system.h"
#include "runtime/option_text.h"

namespace mirabo::text {

// The whole of `text` as a decimal number; false when it is anything else.
bool ParseInt(std::string_view text, int* value);

// "n,b1,..,bn": exactly n decimal byte codes of 0 to 255 (n may be 0).  False,
// with `*bytes` unchanged, when the text is anything else.
bool ParseByteList(std::string_view text, std::string* bytes);

// An on/off option: a query answers "ON" or "OFF"; the values "ON" and "OFF"
// set it, other values change nothing.
void OnOffOption(const OptionText& opt, bool* flag, std::string* answer);

class LineFile {
 public:
  // `buffer` bytes of lines are gathered before they are written; 0 writes
  // each line at once.
  explicit LineFile(size_t buffer = 0) : default_capacity_(buffer), capacity_(buffer) {}
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  // Creates `name` empty, replacing any file of that name, and closes it
  // again.  The system's refusal as its runtime code (5 for a file another
  // open shares nothing with, 3 for a missing folder).
  [[nodiscard]] static int Create(const std::string& name);

  // Opens `name` with the access and sharing that `access_mode` asks for and
  // resets the options; `record_size` sizes the default read buffer.  On
  // failure the file stays closed: 2 missing, 3 no such folder, 5 refused.
  [[nodiscard]] int Open(const std::string& name, uint8_t access_mode, int record_size);
  // Writes the buffered lines and closes the file, also when writing or
  // closing fails (5 for lines that could not be written, else the close's
  // runtime code); 37 when it is not open.
  [[nodiscard]] int Close();
  // Writes the buffered lines and makes what was written durable; 5 when the
  // lines cannot be written, the sync's code when it fails, 37 when the file
  // is not open.
  [[nodiscard]] int Flush();
  bool is_open() const { return handle_ != nullptr; }

  // Writes `record` and the end-of-record bytes as the file's new last line
  // (buffered: adds it to the buffer).  5 when the file is open for reading
  // only or the write fails (nothing of the line is kept), 37 when it is not
  // open.
  [[nodiscard]] int WriteLine(std::string_view record);

  // The offset of the first byte of the line written last (buffered: where
  // it will be); -1 before the first line since the open.
  int64_t current() const { return current_; }
  const std::string& end_of_record() const { return end_of_record_; }

  // Answers or applies one of the shared options (above).  False when `opt`
  // names none of them.
  bool Option(const OptionText& opt, std::string* answer);

 private:
  void ResetOptions(uint8_t access_mode, int record_size);
  // Writes `bytes` at the end; false, with nothing of them kept, when that fails.
  bool Write(std::string_view bytes);
  // Writes the buffered lines; false when that fails (they stay buffered).
  bool WritePending();
  // Cuts away what failed writes left past `end_`; false when that fails.
  bool TrimTail();
  // A failed write as the drivers report it: 5, with the system's error
  // behind it kept in the error state (a full disk says so).
  int WriteFailed() const;

  const size_t default_capacity_;
  size_t capacity_;
  std::unique_ptr<FileHandle> handle_;
  uint8_t access_ = 0;
  int64_t current_ = -1;   // first byte of the line written last
  int write_error_ = 0;    // the system's error of the last write
  int64_t end_ = -1;       // the file's end without the buffered lines; -1: not yet known
  int64_t dirty_end_ = 0;  // failed writes left bytes up to here; past end_ they must go
  std::string line_;       // the line being written, reused from write to write
  std::string pending_;    // buffered lines, not yet written

  std::string end_of_record_;
  bool quickscan_ = false;
  int buffer_size_ = 0;  // bytes
};

}  // namespace mirabo::text
