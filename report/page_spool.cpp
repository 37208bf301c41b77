#include "report/page_spool.h"

#include <charconv>

#include "runtime/output_file.h"

namespace mirabo::report {
namespace {

constexpr char kSpoolExtension[] = ".SPL";
// "@", an offset of up to twelve digits, "+" and a length of up to eight.
constexpr size_t kPlaceLength = 1 + 12 + 1 + 8;

bool ParseNumber(std::string_view text, int64_t* value) {
  if (text.empty() || text.size() > 12) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), *value);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

}  // namespace

Status PageSpool::Append(const PageImage& page, const std::string& folder,
                         const std::string& prefix, std::string* name) {
  const std::string bytes = EncodePageImage(page);
  if (!file_) {
    const size_t spool = folder.size() + 1 + prefix.size() + 6 + sizeof(kSpoolExtension) - 1;
    const std::string where = spool + kPlaceLength <= kPageNameLimit ? folder : "/tmp";
    if (Status s = CreatePageFile(where, prefix, kSpoolExtension, &file_, &path_); !s.ok()) {
      return s;
    }
    end_ = 0;
  }
  const IoStatus wrote = file_->WriteAt(end_, bytes);
  if (!wrote.ok()) {
    // The pages before stay readable; a partial page past them is never named.
    (void)file_->Truncate(end_);
    return Status(StatusCode::kWriteFailed, "Page " + std::to_string(page.number) +
                                                " could not be written to " + path_ + " (" +
                                                IoStatusText(wrote) + ").");
  }
  *name = path_ + "@" + std::to_string(end_) + "+" + std::to_string(bytes.size());
  end_ += static_cast<int64_t>(bytes.size());
  return Status::Ok();
}

void PageSpool::Remove() {
  if (!file_) return;
  (void)file_->Close();
  (void)CurrentFileSystem().Remove(path_);
  file_.reset();
  path_.clear();
  end_ = 0;
}

Status ListSpooledPages(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  std::unique_ptr<FileHandle> file;
  IoStatus s = CurrentFileSystem().Open(path, OpenOptions{}, &file);
  int64_t size = 0;
  if (s.ok()) s = file->Size(&size);
  for (int64_t at = 0; s.ok() && at < size;) {
    std::string header;
    s = file->ReadAt(at, kPageHeaderSize, &header);
    if (!s.ok()) break;
    int width = 0, height = 0;
    if (header.size() < kPageHeaderSize || !DecodePageSize(header, &width, &height).ok()) {
      return Status(StatusCode::kDamaged, "The spool " + path + " is damaged at byte " +
                                              std::to_string(at) + ".");
    }
    uint32_t body = 0;
    for (int i = 3; i >= 0; --i) body = body << 8 | static_cast<unsigned char>(header[20 + i]);
    const int64_t length = static_cast<int64_t>(kPageHeaderSize) + body;
    names->push_back(path + "@" + std::to_string(at) + "+" + std::to_string(length));
    at += length;
  }
  if (file) (void)file->Close();
  if (!s.ok()) {
    return Status(StatusCode::kDamaged,
                  "The spool " + path + " cannot be read (" + IoStatusText(s) + ").");
  }
  return Status::Ok();
}

bool ParseSpooledPage(std::string_view name, SpooledPage* page) {
  const size_t at = name.rfind('@');
  if (at == std::string_view::npos) return false;
  const size_t plus = name.find('+', at);
  if (plus == std::string_view::npos) return false;
  const std::string_view path = name.substr(0, at);
  if (path.size() < sizeof(kSpoolExtension) ||
      path.substr(path.size() - (sizeof(kSpoolExtension) - 1)) != kSpoolExtension) {
    return false;
  }
  SpooledPage p;
  if (!ParseNumber(name.substr(at + 1, plus - at - 1), &p.offset) ||
      !ParseNumber(name.substr(plus + 1), &p.length)) {
    return false;
  }
  p.path = std::string(path);
  *page = std::move(p);
  return true;
}

}  // namespace mirabo::report
