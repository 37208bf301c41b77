#include "report/qt/page_renderer.h"

#include <zlib.h>

#include <QBuffer>
#include <QByteArray>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIODevice>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "runtime/file_system.h"
#include "runtime/output_file.h"
#include "ui/qt/image_painter.h"
#include "ui/qt/qt_text.h"

namespace mirabo::report::qt {
namespace {

QColor ToColour(Colour c) { return QColor::fromRgb(static_cast<QRgb>(c & 0xFFFFFF)); }

// Maps page coordinates (thousandths of an inch) onto the device.
struct Mapping {
  QRectF target;
  double sx, sy;  // device units per thousandth of an inch
  double X(int x) const { return target.x() + x * sx; }
  double Y(int y) const { return target.y() + y * sy; }
  QRectF Box(const Rect& r) const { return QRectF(X(r.x), Y(r.y), r.w * sx, r.h * sy); }
  double Pen(int width) const {
    const double w = width * std::min(sx, sy);
    return w < 1.0 ? 0.0 : w;  // thinner than a device dot: the thinnest line there is
  }
};

Qt::Alignment AlignmentOf(Align a) {
  switch (a) {
    case Align::kCentre:
      return Qt::AlignHCenter;
    case Align::kRight:
      return Qt::AlignRight;
    case Align::kLeft:
      break;
  }
  return Qt::AlignLeft;
}

// The fonts of a page, sized for the device: the painter draws in device
// units, whose dots per inch the device states.
std::vector<QFont> DeviceFonts(const PageImage& page, const Mapping& m, const QPainter& p) {
  const double dpi = p.device() ? p.device()->logicalDpiY() : 96.0;
  std::vector<QFont> fonts;
  fonts.reserve(page.fonts.size());
  for (const Font& f : page.fonts) {
    QFont q = ReportFont(f);
    // f.size points are f.size * 1000 / 72 thousandths; in device units that
    // is f.size * 1000 / 72 * sy, which the device calls this many points:
    const double points = f.size * 1000.0 / 72.0 * m.sy * 72.0 / dpi;
    q.setPointSizeF(std::max(0.5, points));
    fonts.push_back(q);
  }
  return fonts;
}

class PageImageFile final : public ui::qt::LoadedImage {
 public:
  explicit PageImageFile(const std::string& name) {
    const Status s = ReadPageFile(name, &page_);
    if (!s.ok()) error_ = s.message();
  }
  QSize NaturalSize() const override {
    return error_.empty() ? QSize(page_.width, page_.height) : QSize();
  }
  std::string Error() const override { return error_; }
  void Paint(QPainter& painter, const QRectF& target) const override {
    if (error_.empty()) {
      PaintPage(painter, page_, target);
    } else {
      PaintUnreadablePage(painter, target, error_);
    }
  }

 private:
  PageImage page_;
  std::string error_;
};

const QImage& MeasuringDevice() {
  static const QImage device = [] {
    QImage img(1, 1, QImage::Format_Mono);
    img.setDotsPerMeterX(39370);  // 1000 dots per inch
    img.setDotsPerMeterY(39370);
    return img;
  }();
  return device;
}

}  // namespace

QFont ReportFont(const Font& font) {
  QFont q;
  const QString face = QString::fromStdString(font.face);
  if (face.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0) {
    q = QFont(QStringLiteral("Liberation Sans"));
  } else if (face.isEmpty() ||
             face.compare(QLatin1String("MS Sans Serif"), Qt::CaseInsensitive) == 0) {
    q = QGuiApplication::font();
  } else {
    q = QFont(face);
  }
  q.setPointSizeF(font.size > 0 ? font.size : 10);
  q.setBold(font.bold);
  q.setKerning(false);
  q.setHintingPreference(QFont::PreferNoHinting);
  return q;
}

void PaintPage(QPainter& painter, const PageImage& page, const QRectF& target) {
  if (page.width <= 0 || page.height <= 0 || target.isEmpty()) return;
  const Mapping m{target, target.width() / page.width, target.height() / page.height};
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.fillRect(target, Qt::white);
  const std::vector<QFont> fonts = DeviceFonts(page, m, painter);
  const QRectF visible = painter.hasClipping() ? painter.clipBoundingRect() : QRectF();
  for (const PageItem& item : page.items) {
    if (const auto* t = std::get_if<TextRun>(&item)) {
      const QRectF box = m.Box(t->box);
      if (!visible.isNull() && !visible.intersects(box)) continue;
      if (t->opaque) painter.fillRect(box, Qt::white);
      if (t->text.empty()) continue;
      painter.setFont(fonts[t->font]);
      painter.setPen(ToColour(t->colour));
      // Without Qt::TextDontClip the text is clipped to its box.
      painter.drawText(box, AlignmentOf(t->align) | Qt::AlignTop | Qt::TextSingleLine,
                       ui::qt::FromCp1252(t->text));
    } else if (const auto* l = std::get_if<LineItem>(&item)) {
      QPen pen(ToColour(l->colour));
      pen.setWidthF(m.Pen(l->width));
      pen.setCapStyle(Qt::FlatCap);
      painter.setPen(pen);
      painter.drawLine(QPointF(m.X(l->x1), m.Y(l->y1)), QPointF(m.X(l->x2), m.Y(l->y2)));
    } else if (const auto* b = std::get_if<BoxItem>(&item)) {
      const QRectF box = m.Box(b->box);
      if (b->fill != kNoColour) painter.fillRect(box, ToColour(b->fill));
      if (b->outline != kNoColour) {
        QPen pen(ToColour(b->outline));
        pen.setWidthF(m.Pen(b->width));
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box);
      }
    }
  }
  painter.restore();
}

void PaintUnreadablePage(QPainter& painter, const QRectF& target, const std::string& message) {
  painter.save();
  painter.fillRect(target, Qt::white);
  painter.setPen(QPen(QColor(0x99, 0x99, 0x99), 0));
  painter.drawRect(target.adjusted(0, 0, -1, -1));
  QFont f = QGuiApplication::font();
  f.setPixelSize(std::max(6, static_cast<int>(target.width() / 40)));
  painter.setFont(f);
  painter.setPen(QColor(0xA0, 0x20, 0x20));
  const QRectF inner = target.adjusted(target.width() / 10, target.height() / 10,
                                       -target.width() / 10, -target.height() / 10);
  painter.drawText(
      inner, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
      QStringLiteral("This page cannot be shown.\n\n") + QString::fromLocal8Bit(message.c_str()));
  painter.restore();
}

int QtFontMetrics::TextWidth(const Font& font, std::string_view text) {
  const QFontMetricsF fm(ReportFont(font), &MeasuringDevice());
  return static_cast<int>(std::ceil(fm.horizontalAdvance(ui::qt::FromCp1252(text))));
}

int QtFontMetrics::LineHeight(const Font& font) {
  const QFontMetricsF fm(ReportFont(font), &MeasuringDevice());
  return static_cast<int>(std::ceil(fm.height()));
}

FontShape QtFontMetrics::Shape(const Font& font) {
  // At 72 points on the thousand-dot device an em is a thousand dots.
  Font em = font;
  em.size = 72;
  const QFontMetricsF fm(ReportFont(em), &MeasuringDevice());
  FontShape shape;
  for (int c = 0; c < 256; ++c) {
    const char byte = static_cast<char>(c);
    shape.widths[c] =
        static_cast<int>(std::lround(fm.horizontalAdvance(ui::qt::FromCp1252({&byte, 1}))));
  }
  shape.ascent = static_cast<int>(std::lround(fm.ascent()));
  shape.descent = static_cast<int>(std::lround(fm.descent()));
  return shape;
}

namespace {

// A device Qt writes to that is a file of the program's own (through the
// runtime's file interface), so every failed write is known with the
// system's reason, which Qt's own file device does not keep.
class HandleDevice final : public QIODevice {
 public:
  explicit HandleDevice(std::unique_ptr<FileHandle> file) : file_(std::move(file)) {}

  // The first failure, or ok.
  const IoStatus& status() const { return status_; }
  // Makes what was written durable and closes the file.
  void Finish() {
    if (status_.ok()) status_ = file_->Sync();
    const IoStatus closed = file_->Close();
    if (status_.ok()) status_ = closed;
    QIODevice::close();
  }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    if (!status_.ok()) return -1;
    status_ = file_->WriteAt(at_, std::string_view(data, static_cast<size_t>(size)));
    if (!status_.ok()) return -1;
    at_ += size;
    return size;
  }

 private:
  std::unique_ptr<FileHandle> file_;
  IoStatus status_;
  int64_t at_ = 0;
};

// A file written by Qt: the temporary file beside `path` that becomes it only
// once every step has succeeded.
class PageOutputFile {
 public:
  explicit PageOutputFile(std::string path) : path_(std::move(path)) {}

  // Opens the temporary file; false (failure() says why) when it cannot.
  bool Open() {
    IoStatus s = OutputFile::Begin(path_, &output_);
    std::unique_ptr<FileHandle> file;
    if (s.ok()) s = output_->OpenForWriting(&file);
    if (!s.ok()) {
      if (output_) output_->Abandon();
      failure_ = IoStatusText(s);
      return false;
    }
    device_ = std::make_unique<HandleDevice>(std::move(file));
    device_->open(QIODevice::WriteOnly);
    return true;
  }
  QIODevice& device() { return *device_; }
  // Why a write failed so far ("File too large"); empty when none did.
  std::string write_failure() const {
    return device_->status().ok() ? std::string() : IoStatusText(device_->status());
  }

  // Flushes and closes what Qt wrote, then gives it the target's name.
  bool Commit() {
    device_->Finish();
    IoStatus s = device_->status();
    if (s.ok()) s = output_->Commit();
    if (!s.ok()) {
      output_->Abandon();
      failure_ = IoStatusText(s);
      return false;
    }
    return true;
  }
  // Drops the file; whatever was at the target stays.
  void Abandon() {
    if (device_ && device_->isOpen()) device_->Finish();
    if (output_) output_->Abandon();
  }

  const std::string& failure() const { return failure_; }

 private:
  std::string path_;
  std::unique_ptr<OutputFile> output_;
  std::unique_ptr<HandleDevice> device_;
  std::string failure_;
};

Status CannotWrite(const char* what, const std::string& path, const std::string& why) {
  return Status(StatusCode::kPrintFailed,
                std::string("The ") + what + " " + path + " cannot be written: " + why + ".");
}

}  // namespace

namespace {

// Qt's PNG "quality": 100 is no compression, 0 the most.
constexpr int kPngQuality = 80;

void PutBigEndian(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char type[4], const std::string& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.append(type, 4);
  out += data;
  const auto* bytes = reinterpret_cast<const Bytef*>(out.data() + start);
  PutBigEndian(out, static_cast<uint32_t>(crc32(0, bytes, static_cast<uInt>(out.size() - start))));
}

// An 8-bit grey picture as a PNG file's bytes.  Each row is stored as its
// difference from the row above (PNG's "Up" filter): a page is mostly rows
// equal to the one above, which become zeros, and runs of zeros are what
// zlib's run-length mode packs fastest.  The general encoder spent most of
// a page's time choosing filters and searching for matches, for pictures a
// few per cent smaller.
bool EncodeGreyPng(const QImage& img, QByteArray* png) {
  const int w = img.width(), h = img.height();
  std::string ihdr;
  PutBigEndian(ihdr, static_cast<uint32_t>(w));
  PutBigEndian(ihdr, static_cast<uint32_t>(h));
  ihdr += std::string("\x08\x00\x00\x00\x00", 5);  // 8 bits, grey, deflate, filters, no interlace
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK) return false;
  std::string idat;
  unsigned char packed[65536];
  std::vector<unsigned char> row(static_cast<size_t>(w) + 1);
  row[0] = 2;  // Up
  int rc = Z_OK;
  for (int y = 0; y < h && rc == Z_OK; ++y) {
    const uchar* line = img.constScanLine(y);
    if (y == 0) {
      std::copy(line, line + w, row.begin() + 1);
    } else {
      const uchar* above = img.constScanLine(y - 1);
      for (int x = 0; x < w; ++x) row[x + 1] = static_cast<unsigned char>(line[x] - above[x]);
    }
    z.next_in = row.data();
    z.avail_in = static_cast<uInt>(row.size());
    const int flush = y + 1 == h ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = packed;
      z.avail_out = sizeof packed;
      rc = deflate(&z, flush);
      idat.append(reinterpret_cast<const char*>(packed), sizeof packed - z.avail_out);
    } while (rc == Z_OK && z.avail_out == 0);
    if (rc == Z_BUF_ERROR) rc = Z_OK;  // the last call found nothing more to write
  }
  deflateEnd(&z);
  if (rc != Z_STREAM_END) return false;
  std::string out("\x89PNG\r\n\x1A\n", 8);
  PutChunk(out, "IHDR", ihdr);
  PutChunk(out, "IDAT", idat);
  PutChunk(out, "IEND", std::string());
  *png = QByteArray(out.data(), static_cast<qsizetype>(out.size()));
  return true;
}

bool Grey(Colour c) {
  return c == kNoColour ||
         (((c >> 16) & 0xFF) == ((c >> 8) & 0xFF) && ((c >> 8) & 0xFF) == (c & 0xFF));
}

bool HasColour(const PageImage& page) {
  for (const PageItem& item : page.items) {
    if (const auto* t = std::get_if<TextRun>(&item); t && !Grey(t->colour)) return true;
    if (const auto* l = std::get_if<LineItem>(&item); l && !Grey(l->colour)) return true;
    if (const auto* b = std::get_if<BoxItem>(&item); b && (!Grey(b->outline) || !Grey(b->fill))) {
      return true;
    }
  }
  return false;
}

}  // namespace

Status WritePng(const std::string& name, const std::string& path, int dpi) {
  PageImage page;
  if (Status s = ReadPageFile(name, &page); !s.ok()) return s;
  const QSize px(static_cast<int>(std::lround(page.width * dpi / 1000.0)),
                 static_cast<int>(std::lround(page.height * dpi / 1000.0)));
  const bool grey = !HasColour(page);
  QImage img(px, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  const int dpm = static_cast<int>(std::lround(dpi / 0.0254));
  img.setDotsPerMeterX(dpm);
  img.setDotsPerMeterY(dpm);
  {
    QPainter p(&img);
    PaintPage(p, page, QRectF(QPointF(0, 0), QSizeF(px)));
  }
  // A page without colour (the reports' black, white and greys) is saved as
  // a grey picture: a third of the bytes to compress, the same pixels.  The
  // picture is made in memory and written by us: a full disk fails our
  // write, not the PNG encoder half-way (which would leave its own buffers).
  QByteArray bytes;
  bool made = false;
  if (grey) {
    made = EncodeGreyPng(img, &bytes);
  } else {
    QBuffer buffer(&bytes);
    made = buffer.open(QIODevice::WriteOnly) && img.save(&buffer, "PNG", kPngQuality);
  }
  if (!made) return CannotWrite("picture", path, "the picture could not be made");
  PageOutputFile out(path);
  if (!out.Open()) return CannotWrite("picture", path, out.failure());
  if (out.device().write(bytes) != bytes.size() || !out.write_failure().empty()) {
    const std::string why = out.write_failure();
    out.Abandon();
    return CannotWrite("picture", path, why);
  }
  if (!out.Commit()) return CannotWrite("picture", path, out.failure());
  return Status::Ok();
}

void RegisterPageImagePainter() {
  static QtFontMetrics metrics;
  SetReportFontMetrics(&metrics);
  ui::qt::RegisterImageLoader(
      "page-image", [](const std::string& name) { return std::make_unique<PageImageFile>(name); });
}

}  // namespace mirabo::report::qt
