#include "report/page_image.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "report/page_spool.h"
#include "runtime/error.h"
#include "runtime/file_system.h"
#include "runtime/output_file.h"

namespace mirabo::report {
namespace {

constexpr char kMagic[4] = {'M', 'P', 'G', 'I'};
constexpr uint16_t kVersion = 1;
constexpr uint8_t kKindText = 1;
constexpr uint8_t kKindLine = 2;
constexpr uint8_t kKindBox = 3;

uint32_t Crc32(const char* data, size_t n) {
  static const std::array<uint32_t, 256> kTable = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) c = kTable[(c ^ static_cast<uint8_t>(data[i])) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

class Writer {
 public:
  explicit Writer(std::string* out) : out_(out) {}
  void U8(uint8_t v) { out_->push_back(static_cast<char>(v)); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void Bytes(const std::string& s) { out_->append(s); }
  void RectAt(const Rect& r) {
    I32(r.x);
    I32(r.y);
    I32(r.w);
    I32(r.h);
  }

 private:
  std::string* out_;
};

// Reads little-endian fields; any read past the end sets failed() and gives 0.
class Reader {
 public:
  Reader(const std::string& in, size_t at) : in_(in), at_(at) {}
  bool failed() const { return failed_; }
  bool at_end() const { return at_ == in_.size(); }
  uint8_t U8() {
    if (at_ >= in_.size()) {
      failed_ = true;
      return 0;
    }
    return static_cast<uint8_t>(in_[at_++]);
  }
  uint16_t U16() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  uint32_t U32() {
    const uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  std::string Bytes(size_t n) {
    if (in_.size() - at_ < n || at_ > in_.size()) {
      failed_ = true;
      return {};
    }
    std::string s = in_.substr(at_, n);
    at_ += n;
    return s;
  }
  Rect RectAt() {
    Rect r;
    r.x = I32();
    r.y = I32();
    r.w = I32();
    r.h = I32();
    return r;
  }

 private:
  const std::string& in_;
  size_t at_;
  bool failed_ = false;
};

Status Damaged(const std::string& what) {
  return Status(StatusCode::kDamaged, "The page image is damaged (" + what + ").");
}

struct Encoder {
  Writer& w;
  void operator()(const TextRun& t) const {
    w.U8(kKindText);
    w.RectAt(t.box);
    w.U16(t.font);
    w.U8(static_cast<uint8_t>(t.align));
    w.U8(t.opaque ? 1 : 0);
    w.U32(t.colour);
    const size_t n = std::min<size_t>(t.text.size(), 0xFFFF);
    w.U16(static_cast<uint16_t>(n));
    w.Bytes(t.text.substr(0, n));
  }
  void operator()(const LineItem& l) const {
    w.U8(kKindLine);
    w.I32(l.x1);
    w.I32(l.y1);
    w.I32(l.x2);
    w.I32(l.y2);
    w.U16(static_cast<uint16_t>(std::clamp(l.width, 0, 0xFFFF)));
    w.U32(l.colour);
  }
  void operator()(const BoxItem& b) const {
    w.U8(kKindBox);
    w.RectAt(b.box);
    w.U16(static_cast<uint16_t>(std::clamp(b.width, 0, 0xFFFF)));
    w.U32(b.outline);
    w.U32(b.fill);
  }
};

bool ValidColour(Colour c) { return c == kNoColour || c <= 0xFFFFFF; }

std::string Hex(Colour c) {
  if (c == kNoColour) return "none";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06X", static_cast<unsigned>(c));
  return buf;
}

std::string RectText(const Rect& r) {
  return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.w) + "x" +
         std::to_string(r.h);
}

const char* AlignName(Align a) {
  switch (a) {
    case Align::kLeft:
      return "left";
    case Align::kCentre:
      return "centre";
    case Align::kRight:
      return "right";
  }
  return "?";
}

// A name that no other page file has yet: prefix, six letters or digits, ".TMP".
std::string CandidateName(const std::string& folder, const std::string& prefix,
                          const std::string& extension, std::mt19937_64& rng) {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = folder;
  if (name.empty() || name.back() != '/') name += '/';
  name += prefix;
  for (int i = 0; i < 6; ++i) name += kChars[rng() % 36];
  return name + extension;
}

std::mt19937_64& NameRandom() {
  static std::mt19937_64 rng(std::random_device{}() ^ static_cast<uint64_t>(getpid()));
  return rng;
}

}  // namespace

uint16_t PageImage::FontIndex(const Font& font) {
  for (size_t i = 0; i < fonts.size(); ++i) {
    if (fonts[i] == font) return static_cast<uint16_t>(i);
  }
  fonts.push_back(font);
  return static_cast<uint16_t>(fonts.size() - 1);
}

std::string EncodePageImage(const PageImage& page) {
  std::string body;
  body.reserve(64 + page.items.size() * 48);
  Writer b(&body);
  b.U16(static_cast<uint16_t>(page.fonts.size()));
  for (const Font& f : page.fonts) {
    const std::string face = f.face.substr(0, 255);
    b.U8(static_cast<uint8_t>(face.size()));
    b.Bytes(face);
    b.U16(static_cast<uint16_t>(std::clamp(f.size, 0, 0xFFFF)));
    b.U8(f.bold ? 1 : 0);
  }
  b.U32(static_cast<uint32_t>(page.items.size()));
  const Encoder enc{b};
  for (const PageItem& item : page.items) std::visit(enc, item);

  std::string out;
  out.reserve(kPageHeaderSize + body.size());
  Writer h(&out);
  out.append(kMagic, 4);
  h.U16(kVersion);
  h.U16(static_cast<uint16_t>(kPageHeaderSize));
  h.I32(page.width);
  h.I32(page.height);
  h.I32(page.number);
  h.U32(static_cast<uint32_t>(body.size()));
  h.U32(Crc32(body.data(), body.size()));
  h.U32(0);
  out += body;
  return out;
}

Status DecodePageSize(const std::string& header, int* width, int* height) {
  if (header.size() < kPageHeaderSize || std::memcmp(header.data(), kMagic, 4) != 0) {
    return Damaged("not a page image");
  }
  Reader r(header, 4);
  const uint16_t version = r.U16();
  const uint16_t header_size = r.U16();
  if (version != kVersion || header_size != kPageHeaderSize) {
    return Damaged("unknown version " + std::to_string(version));
  }
  const int32_t w = r.I32();
  const int32_t h = r.I32();
  if (w <= 0 || h <= 0 || w > 100000 || h > 100000) return Damaged("impossible page size");
  *width = w;
  *height = h;
  return Status::Ok();
}

Status DecodePageImage(const std::string& bytes, PageImage* page) {
  int width = 0, height = 0;
  if (Status s = DecodePageSize(bytes, &width, &height); !s.ok()) return s;
  Reader h(bytes, 16);
  const int32_t number = h.I32();
  const uint32_t length = h.U32();
  const uint32_t crc = h.U32();
  if (bytes.size() - kPageHeaderSize != length) return Damaged("cut short or overlong");
  if (Crc32(bytes.data() + kPageHeaderSize, length) != crc) return Damaged("checksum mismatch");

  PageImage p;
  p.width = width;
  p.height = height;
  p.number = number;
  Reader r(bytes, kPageHeaderSize);
  const uint16_t font_count = r.U16();
  for (uint16_t i = 0; i < font_count && !r.failed(); ++i) {
    Font f;
    f.face = r.Bytes(r.U8());
    f.size = r.U16();
    f.bold = (r.U8() & 1) != 0;
    p.fonts.push_back(std::move(f));
  }
  const uint32_t count = r.U32();
  // Every item takes at least 20 bytes: a count beyond that is a lie.
  if (r.failed() || count > length / 20) return Damaged("bad item count");
  p.items.reserve(count);
  for (uint32_t i = 0; i < count && !r.failed(); ++i) {
    const uint8_t kind = r.U8();
    if (kind == kKindText) {
      TextRun t;
      t.box = r.RectAt();
      t.font = r.U16();
      const uint8_t align = r.U8();
      t.opaque = (r.U8() & 1) != 0;
      t.colour = r.U32();
      t.text = r.Bytes(r.U16());
      if (t.font >= p.fonts.size() || align > 2 || !ValidColour(t.colour)) {
        return Damaged("bad text run");
      }
      t.align = static_cast<Align>(align);
      p.items.emplace_back(std::move(t));
    } else if (kind == kKindLine) {
      LineItem l;
      l.x1 = r.I32();
      l.y1 = r.I32();
      l.x2 = r.I32();
      l.y2 = r.I32();
      l.width = r.U16();
      l.colour = r.U32();
      if (!ValidColour(l.colour)) return Damaged("bad line");
      p.items.emplace_back(l);
    } else if (kind == kKindBox) {
      BoxItem b;
      b.box = r.RectAt();
      b.width = r.U16();
      b.outline = r.U32();
      b.fill = r.U32();
      if (!ValidColour(b.outline) || !ValidColour(b.fill)) return Damaged("bad box");
      p.items.emplace_back(b);
    } else {
      return Damaged("unknown item kind " + std::to_string(kind));
    }
  }
  if (r.failed() || !r.at_end()) return Damaged("items do not fill the page");
  *page = std::move(p);
  return Status::Ok();
}

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  if (dir && *dir) return dir;
  return "/tmp";
}

Status CreatePageFile(const std::string& folder, const std::string& prefix,
                      const std::string& extension, std::unique_ptr<FileHandle>* file,
                      std::string* name) {
  OpenOptions o;
  o.write = true;
  o.create = true;
  o.exclusive = true;
  IoStatus opened = IoStatus::Code(kAccessDenied);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = CandidateName(folder, prefix, extension, NameRandom());
    opened = CurrentFileSystem().Open(*name, o, file);
    if (opened.ok() || opened.os_error() != EEXIST) break;
  }
  if (opened.ok()) return Status::Ok();
  name->clear();
  return Status(StatusCode::kWriteFailed, "A page file could not be created in " + folder + " (" +
                                              IoStatusText(opened) + ").");
}

Status WritePageFile(const PageImage& page, const std::string& folder, const std::string& prefix,
                     std::string* name) {
  const std::string bytes = EncodePageImage(page);
  // The folder, a slash and "PFXnnnnnn.TMP" must fit the list's entry.
  const size_t tail = 1 + prefix.size() + 6 + 4;
  const std::string where = folder.size() + tail <= kPageNameLimit ? folder : std::string("/tmp");
  FileSystem& fs = CurrentFileSystem();
  std::unique_ptr<FileHandle> file;
  std::string candidate;
  if (Status s = CreatePageFile(where, prefix, ".TMP", &file, &candidate); !s.ok()) return s;
  const IoStatus wrote = file->WriteAt(0, bytes);
  const IoStatus closed = file->Close();
  // The first step that failed is the one named: a close can fail after a
  // write that succeeded (a disk that reports a full device only then).
  if (!wrote.ok() || !closed.ok()) {
    (void)fs.Remove(candidate);
    const std::string what = !wrote.ok() ? "written" : "closed";
    return Status(StatusCode::kWriteFailed, "The page file " + candidate + " could not be " + what +
                                                " (" + IoStatusText(!wrote.ok() ? wrote : closed) +
                                                ").");
  }
  *name = candidate;
  return Status::Ok();
}

namespace {

Status ReadBytes(const std::string& name, size_t limit, std::string* bytes) {
  SpooledPage spooled;
  const bool in_spool = ParseSpooledPage(name, &spooled);
  std::unique_ptr<FileHandle> file;
  const IoStatus opened =
      CurrentFileSystem().Open(in_spool ? spooled.path : name, OpenOptions{}, &file);
  if (!opened.ok()) {
    if (opened.code() == kFileNotFound || opened.code() == kPathNotFound) {
      return Status(StatusCode::kMissing, "The page file " + name + " is missing.");
    }
    // There, but not to be read (refused, a folder): not a page image this
    // program can read, which is not the same as gone.
    return Status(StatusCode::kDamaged,
                  "The page file " + name + " cannot be opened (" + IoStatusText(opened) + ").");
  }
  int64_t size = 0;
  IoStatus s = file->Size(&size);
  int64_t offset = 0;
  if (in_spool) {
    // A spool cut short reads short, and the page does not decode: damaged.
    offset = spooled.offset;
    size = spooled.length;
  }
  if (s.ok()) s = file->ReadAt(offset, std::min<size_t>(static_cast<size_t>(size), limit), bytes);
  (void)file->Close();
  if (!s.ok()) {
    return Status(StatusCode::kDamaged,
                  "The page file " + name + " cannot be read (" + IoStatusText(s) + ").");
  }
  return Status::Ok();
}

Status NameFile(const std::string& name, Status s) {
  if (s.ok() || s.code() != StatusCode::kDamaged) return s;
  return Status(s.code(), "The page file " + name + " is damaged: " + s.message());
}

}  // namespace

Status ReadPageFile(const std::string& name, PageImage* page) {
  std::string bytes;
  if (Status s = ReadBytes(name, SIZE_MAX, &bytes); !s.ok()) return s;
  return NameFile(name, DecodePageImage(bytes, page));
}

Status ReadPageSize(const std::string& name, int* width, int* height) {
  std::string bytes;
  if (Status s = ReadBytes(name, kPageHeaderSize, &bytes); !s.ok()) return s;
  return NameFile(name, DecodePageSize(bytes, width, height));
}

std::string DescribePageImage(const PageImage& page) {
  std::string out = "page " + std::to_string(page.number) + " size " + std::to_string(page.width) +
                    "x" + std::to_string(page.height) + "\n";
  for (size_t i = 0; i < page.fonts.size(); ++i) {
    const Font& f = page.fonts[i];
    out += "font " + std::to_string(i) + " " + f.face + " " + std::to_string(f.size) +
           (f.bold ? " bold" : "") + "\n";
  }
  for (const PageItem& item : page.items) {
    if (const auto* t = std::get_if<TextRun>(&item)) {
      out += "text " + RectText(t->box) + " font " + std::to_string(t->font) + " " +
             AlignName(t->align) + (t->opaque ? " opaque" : " transparent") +
             (t->colour != kBlack ? " colour " + Hex(t->colour) : "") + " \"" + t->text + "\"\n";
    } else if (const auto* l = std::get_if<LineItem>(&item)) {
      out += "line " + std::to_string(l->x1) + "," + std::to_string(l->y1) + " to " +
             std::to_string(l->x2) + "," + std::to_string(l->y2) + " width " +
             std::to_string(l->width) + (l->colour != kBlack ? " colour " + Hex(l->colour) : "") +
             "\n";
    } else if (const auto* b = std::get_if<BoxItem>(&item)) {
      out += "box " + RectText(b->box) + " width " + std::to_string(b->width) + " outline " +
             Hex(b->outline) + " fill " + Hex(b->fill) + "\n";
    }
  }
  return out;
}

}  // namespace mirabo::report
