#include "report/pdf_output.h"

#include <langinfo.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/file_system.h"
#include "runtime/output_file.h"
#include "runtime/text.h"

namespace mirabo::report {
namespace {

void Put(std::string& out, int64_t n) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, n);
  out.append(buf, r.ptr);
}

// A number with at most two decimals, without trailing zeros: PDF takes no
// exponents.
void PutReal(std::string& out, double v) {
  const int64_t hundredths = std::llround(v * 100);
  if (hundredths % 100 == 0) return Put(out, hundredths / 100);
  if (hundredths < 0) out += '-';
  const int64_t a = hundredths < 0 ? -hundredths : hundredths;
  Put(out, a / 100);
  out += '.';
  out += static_cast<char>('0' + a / 10 % 10);
  if (a % 10 != 0) out += static_cast<char>('0' + a % 10);
}

// The standard face nearest a report's face: the reports' Arial is
// Helvetica's metrics under another name.
std::string BaseFont(const Font& font) {
  const std::string face = ToUpper1252(font.face);
  const auto has = [&](std::string_view s) { return face.find(s) != std::string::npos; };
  if (has("COURIER") || has("MONO")) return font.bold ? "Courier-Bold" : "Courier";
  if (has("TIMES") || has("ROMAN") || (has("SERIF") && !has("SANS"))) {
    return font.bold ? "Times-Bold" : "Times-Roman";
  }
  return font.bold ? "Helvetica-Bold" : "Helvetica";
}

// A face and weight of the document: one font object however many pages
// and sizes use it.
struct DocumentFont {
  std::string face;
  bool bold = false;
  FontShape shape;
};

// The text state and colours a content stream has set, so each is said only
// when it changes.
struct GraphicsState {
  int font = -1;
  int size_hundredths = -1;
  Colour fill = kBlack;
  Colour stroke = kBlack;
  int line_width = -1;
};

void PutColour(std::string& out, Colour c, bool stroke) {
  const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
  if (r == g && g == b) {
    PutReal(out, r / 255.0);
    out += stroke ? " G\n" : " g\n";
    return;
  }
  PutReal(out, r / 255.0);
  out += ' ';
  PutReal(out, g / 255.0);
  out += ' ';
  PutReal(out, b / 255.0);
  out += stroke ? " RG\n" : " rg\n";
}

// A literal string: backslash and parentheses escaped, controls in octal.
void PutString(std::string& out, std::string_view text) {
  out += '(';
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      out += '\\';
      out += static_cast<char>('0' + (c >> 6));
      out += static_cast<char>('0' + ((c >> 3) & 7));
      out += static_cast<char>('0' + (c & 7));
    } else {
      out += ch;
    }
  }
  out += ')';
}

// One page's content stream, in a coordinate system of thousandths of an
// inch with its origin at the sheet's bottom-left corner.
class PageContent {
 public:
  PageContent(const std::vector<DocumentFont>& fonts, double sheet_height)
      : fonts_(fonts), top_(sheet_height) {}

  // `font_ids` maps the page's font indexes to the document's fonts.
  void Draw(const PageImage& page, const std::vector<int>& font_ids, std::string* out) {
    out_ = out;
    *out_ += "0.072 0 0 0.072 0 0 cm\n";
    for (const PageItem& item : page.items) {
      if (const auto* t = std::get_if<TextRun>(&item)) {
        const Font& font = page.fonts[t->font];
        Text(*t, font.size, font_ids[t->font]);
      } else if (const auto* l = std::get_if<LineItem>(&item)) {
        Stroke(l->colour, l->width);
        Put(*out_, l->x1);
        *out_ += ' ';
        PutReal(*out_, top_ - l->y1);
        *out_ += " m ";
        Put(*out_, l->x2);
        *out_ += ' ';
        PutReal(*out_, top_ - l->y2);
        *out_ += " l S\n";
      } else if (const auto* b = std::get_if<BoxItem>(&item)) {
        if (b->fill != kNoColour) {
          Fill(b->fill);
          Rectangle(b->box);
          *out_ += " f\n";
        }
        if (b->outline != kNoColour) {
          Stroke(b->outline, b->width);
          Rectangle(b->box);
          *out_ += " S\n";
        }
      }
    }
  }

 private:
  void Rectangle(const Rect& r) {
    Put(*out_, r.x);
    *out_ += ' ';
    PutReal(*out_, top_ - r.y - r.h);
    *out_ += ' ';
    Put(*out_, r.w);
    *out_ += ' ';
    Put(*out_, r.h);
    *out_ += " re";
  }
  void Fill(Colour c) {
    if (state_.fill == c) return;
    PutColour(*out_, c, false);
    state_.fill = c;
  }
  void Stroke(Colour c, int width) {
    if (state_.stroke != c) {
      PutColour(*out_, c, true);
      state_.stroke = c;
    }
    if (state_.line_width != width) {
      Put(*out_, width);  // 0 is the thinnest line the device draws
      *out_ += " w\n";
      state_.line_width = width;
    }
  }

  void Text(const TextRun& t, int points, int font_id) {
    if (t.opaque) {
      Fill(0xFFFFFF);
      Rectangle(t.box);
      *out_ += " f\n";
    }
    if (t.text.empty()) return;
    const FontShape& shape = fonts_[font_id].shape;
    int64_t advance = 0;  // thousandths of the size
    for (const char c : t.text) advance += shape.widths[static_cast<unsigned char>(c)];
    // Thousandths of an inch per thousandth of the size: a point is 1000/72.
    const double unit = points / 72.0;
    const double width = advance * unit;
    double x = t.box.x;
    if (t.align == Align::kRight) x += t.box.w - width;
    if (t.align == Align::kCentre) x += (t.box.w - width) / 2;
    const double baseline = top_ - t.box.y - shape.ascent * unit;
    // Text is clipped to its box, as on screen; most runs fit and need none.
    const bool clip = x < t.box.x - 0.5 || x + width > t.box.x + t.box.w + 0.5 ||
                      (shape.ascent + shape.descent) * unit > t.box.h + 0.5;
    const GraphicsState outside = state_;
    if (clip) {
      *out_ += "q ";
      Rectangle(t.box);
      *out_ += " W n\n";
    }
    Fill(t.colour);
    *out_ += "BT ";
    const int size_hundredths = points * 100000 / 72;
    if (state_.font != font_id || state_.size_hundredths != size_hundredths) {
      *out_ += "/F";
      Put(*out_, font_id + 1);
      *out_ += ' ';
      PutReal(*out_, size_hundredths / 100.0);
      *out_ += " Tf ";
      state_.font = font_id;
      state_.size_hundredths = size_hundredths;
    }
    PutReal(*out_, x);
    *out_ += ' ';
    PutReal(*out_, baseline);
    *out_ += " Td ";
    PutString(*out_, t.text);
    *out_ += " Tj ET\n";
    if (clip) {
      *out_ += "Q\n";
      state_ = outside;  // Q gives back what q saved
    }
  }

  const std::vector<DocumentFont>& fonts_;
  const double top_;
  GraphicsState state_;
  std::string* out_ = nullptr;
};

// Compresses content streams, one reused zlib stream for the document.
class Deflater {
 public:
  Deflater() { ok_ = deflateInit(&z_, Z_BEST_SPEED) == Z_OK; }
  ~Deflater() {
    if (ok_) deflateEnd(&z_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  bool Compress(const std::string& in, std::string* out) {
    if (!ok_ || deflateReset(&z_) != Z_OK) return false;
    out->resize(deflateBound(&z_, in.size()));
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z_.avail_in = static_cast<uInt>(in.size());
    z_.next_out = reinterpret_cast<Bytef*>(out->data());
    z_.avail_out = static_cast<uInt>(out->size());
    if (deflate(&z_, Z_FINISH) != Z_STREAM_END) return false;
    out->resize(out->size() - z_.avail_out);
    return true;
  }

 private:
  z_stream z_{};
  bool ok_ = false;
};

// The file being written: objects in order, their offsets kept for the
// cross-reference table, bytes going out a buffer at a time.
class PdfFile {
 public:
  explicit PdfFile(FileHandle* file) : file_(file) {}

  // Starts object `id` (numbers may come in any order).
  void Begin(int id) {
    if (offsets_.size() <= static_cast<size_t>(id)) offsets_.resize(id + 1, 0);
    offsets_[id] = at_ + static_cast<int64_t>(buffer_.size());
    Put(buffer_, id);
    buffer_ += " 0 obj\n";
  }
  void End() {
    buffer_ += "\nendobj\n";
    if (buffer_.size() >= kFlushAt) Flush();
  }
  std::string& out() { return buffer_; }
  int NewId() { return next_id_++; }
  int64_t offset() const { return at_ + static_cast<int64_t>(buffer_.size()); }
  int object_count() const { return next_id_; }
  int64_t Offset(int id) const { return offsets_[id]; }

  // Writes what is buffered; the first failure stays.
  void Flush() {
    if (status_.ok() && !buffer_.empty()) status_ = file_->WriteAt(at_, buffer_);
    at_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
  }
  const IoStatus& status() const { return status_; }

 private:
  static constexpr size_t kFlushAt = 256 * 1024;
  FileHandle* file_;
  std::string buffer_;
  int64_t at_ = 0;
  int next_id_ = 1;
  std::vector<int64_t> offsets_;
  IoStatus status_;
};

// A text string in UTF-16 with its byte-order mark: the one spelling of an
// information entry every reader takes for any character.
void PutTextString(std::string& out, const std::string& cp1252) {
  const std::string utf8 = Utf8FromCp1252(cp1252);
  static const char kHex[] = "0123456789ABCDEF";
  out += "<FEFF";
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : 2;  // Windows-1252 stays in the BMP
    unsigned code = extra == 0 ? c : extra == 1 ? c & 0x1F : c & 0x0F;
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += 1 + extra;
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
  }
  out += '>';
}

Status CannotWrite(const std::string& path, const std::string& why) {
  return Status(StatusCode::kPrintFailed,
                "The PDF file " + path + " cannot be written: " + why + ".");
}

// The document's body: every page, then the fonts, the page tree and the
// catalogue.  Fails only for a page that cannot be read or compressed; the
// file's own failures are in `pdf.status()`.
Status WriteBody(const PageImageList& pages, const std::string& title, Paper paper,
                 FontMetrics& metrics, PdfFile& pdf) {
  pdf.out() += "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  const int catalog = pdf.NewId(), tree = pdf.NewId(), resources = pdf.NewId();
  std::vector<DocumentFont> fonts;
  std::vector<int> page_ids;
  page_ids.reserve(pages.size());
  // The sheet in whole points, as every program names its paper sizes.
  const int64_t width_pt = std::llround(paper.width * 0.072);
  const int64_t height_pt = std::llround(paper.height * 0.072);
  std::string media_box = "[0 0 ";
  Put(media_box, width_pt);
  media_box += ' ';
  Put(media_box, height_pt);
  media_box += ']';
  Deflater deflater;
  PageImage page;
  std::string content, packed;
  std::vector<int> font_ids;
  for (const std::string& name : pages) {
    if (Status s = ReadPageFile(name, &page); !s.ok()) return s;
    font_ids.clear();
    for (const Font& f : page.fonts) {
      auto it = std::find_if(fonts.begin(), fonts.end(), [&](const DocumentFont& d) {
        return d.bold == f.bold && d.face == f.face;
      });
      if (it == fonts.end()) it = fonts.insert(fonts.end(), {f.face, f.bold, metrics.Shape(f)});
      font_ids.push_back(static_cast<int>(it - fonts.begin()));
    }
    content.clear();
    PageContent(fonts, height_pt / 0.072).Draw(page, font_ids, &content);
    if (!deflater.Compress(content, &packed)) {
      return Status(StatusCode::kPrintFailed, "A page could not be compressed.");
    }
    const int stream = pdf.NewId(), page_id = pdf.NewId();
    pdf.Begin(stream);
    pdf.out() += "<< /Length ";
    Put(pdf.out(), static_cast<int64_t>(packed.size()));
    pdf.out() += " /Filter /FlateDecode >>\nstream\n";
    pdf.out() += packed;
    pdf.out() += "\nendstream";
    pdf.End();
    pdf.Begin(page_id);
    pdf.out() += "<< /Type /Page /Parent ";
    Put(pdf.out(), tree);
    pdf.out() += " 0 R /MediaBox " + media_box + " /Resources ";
    Put(pdf.out(), resources);
    pdf.out() += " 0 R /Contents ";
    Put(pdf.out(), stream);
    pdf.out() += " 0 R >>";
    pdf.End();
    page_ids.push_back(page_id);
    if (!pdf.status().ok()) return Status::Ok();
  }

  pdf.Begin(resources);
  pdf.out() += "<< /ProcSet [/PDF /Text] /Font <<";
  const int first_font = pdf.object_count();
  for (size_t i = 0; i < fonts.size(); ++i) {
    pdf.out() += " /F";
    Put(pdf.out(), static_cast<int64_t>(i + 1));
    pdf.out() += ' ';
    Put(pdf.out(), first_font + static_cast<int64_t>(i));
    pdf.out() += " 0 R";
  }
  pdf.out() += " >> >>";
  pdf.End();
  for (const DocumentFont& f : fonts) {
    pdf.Begin(pdf.NewId());
    pdf.out() += "<< /Type /Font /Subtype /Type1 /BaseFont /" + BaseFont({f.face, 0, f.bold}) +
                 " /Encoding /WinAnsiEncoding /FirstChar 32 /LastChar 255 /Widths [";
    for (int c = 32; c < 256; ++c) {
      Put(pdf.out(), f.shape.widths[c]);
      pdf.out() += c % 16 == 15 ? '\n' : ' ';
    }
    pdf.out() += "] >>";
    pdf.End();
  }
  pdf.Begin(tree);
  pdf.out() += "<< /Type /Pages /Count ";
  Put(pdf.out(), static_cast<int64_t>(page_ids.size()));
  pdf.out() += " /Kids [";
  for (size_t i = 0; i < page_ids.size(); ++i) {
    Put(pdf.out(), page_ids[i]);
    pdf.out() += i % 10 == 9 ? " 0 R\n" : " 0 R ";
    if (pdf.out().size() > 256 * 1024) pdf.Flush();
  }
  pdf.out() += "] >>";
  pdf.End();
  pdf.Begin(catalog);
  pdf.out() += "<< /Type /Catalog /Pages ";
  Put(pdf.out(), tree);
  pdf.out() += " 0 R >>";
  pdf.End();

  const int info = pdf.NewId();
  pdf.Begin(info);
  char date[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (gmtime_r(&now, &utc)) std::strftime(date, sizeof date, "D:%Y%m%d%H%M%SZ", &utc);
  pdf.out() += "<< /Title ";
  PutTextString(pdf.out(), title);
  pdf.out() += " /Creator (Mirabo Features Database Browser) /CreationDate (";
  pdf.out() += date;
  pdf.out() += ") >>";
  pdf.End();

  const int64_t xref = pdf.offset();
  pdf.out() += "xref\n0 ";
  Put(pdf.out(), pdf.object_count());
  pdf.out() += "\n0000000000 65535 f \n";
  for (int id = 1; id < pdf.object_count(); ++id) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", static_cast<long long>(pdf.Offset(id)));
    pdf.out() += entry;
    if (pdf.out().size() > 256 * 1024) pdf.Flush();
  }
  pdf.out() += "trailer\n<< /Size ";
  Put(pdf.out(), pdf.object_count());
  pdf.out() += " /Root ";
  Put(pdf.out(), catalog);
  pdf.out() += " 0 R /Info ";
  Put(pdf.out(), info);
  pdf.out() += " 0 R >>\nstartxref\n";
  Put(pdf.out(), xref);
  pdf.out() += "\n%%EOF\n";
  pdf.Flush();
  return Status::Ok();
}

}  // namespace

Paper LocalePaper() {
  // The sheet's size in millimetres, as the locale gives it (glibc's
  // LC_PAPER); a locale without one is taken as A4.
  const char* previous = std::setlocale(LC_PAPER, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_PAPER, "");
  const int width_mm = static_cast<int>(reinterpret_cast<intptr_t>(nl_langinfo(_NL_PAPER_WIDTH)));
  std::setlocale(LC_PAPER, saved.c_str());
  // Letter is 216 mm wide, A4 210.
  return width_mm >= 213 ? kLetter : kA4;
}

Status WritePdf(const PageImageList& pages, const std::string& path, const std::string& title,
                Paper paper, FontMetrics& metrics) {
  std::unique_ptr<OutputFile> output;
  IoStatus io = OutputFile::Begin(path, &output);
  std::unique_ptr<FileHandle> file;
  if (io.ok()) io = output->OpenForWriting(&file);
  if (!io.ok()) {
    if (output) output->Abandon();
    return CannotWrite(path, IoStatusText(io));
  }
  PdfFile pdf(file.get());
  Status result = WriteBody(pages, title, paper, metrics, pdf);
  io = pdf.status();
  if (io.ok()) io = file->Sync();
  const IoStatus closed = file->Close();
  if (io.ok()) io = closed;
  if (result.ok() && !io.ok()) result = CannotWrite(path, IoStatusText(io));
  if (result.ok() && !(io = output->Commit()).ok()) result = CannotWrite(path, IoStatusText(io));
  if (!result.ok()) output->Abandon();
  return result;
}

Status SavePagesAsPdf(const PageImageList& pages, const std::string& path,
                      const std::string& title) {
  return WritePdf(pages, path, title, LocalePaper(), ReportFontMetrics());
}

}  // namespace mirabo::report
