#include "runtime/faulty_file_system.h"

namespace mirabo {

class FaultyFileSystem::Handle final : public FileHandle {
 public:
  Handle(FaultyFileSystem& fs, std::unique_ptr<FileHandle> base, bool on_disk)
      : fs_(fs), base_(std::move(base)), on_disk_(on_disk) {}

  IoStatus Size(int64_t* size) override { return base_->Size(size); }
  IoStatus ReadAt(int64_t offset, size_t n, std::string* out) override {
    ++fs_.reads_;
    if (fs_.fail_read_at_ != 0 && fs_.reads_ == fs_.fail_read_at_) {
      fs_.fail_read_at_ = 0;
      out->clear();
      return IoStatus::FromErrno(fs_.fail_read_err_);
    }
    return base_->ReadAt(offset, n, out);
  }
  IoStatus Truncate(int64_t size) override {
    if (fs_.fail_truncate_err_ != 0) return IoStatus::FromErrno(fs_.fail_truncate_err_);
    return base_->Truncate(size);
  }
  IoStatus Lock(int64_t offset, int64_t length) override { return base_->Lock(offset, length); }
  IoStatus Unlock(int64_t offset, int64_t length) override { return base_->Unlock(offset, length); }

  IoStatus WriteAt(int64_t offset, std::string_view data, size_t* written) override {
    if (written) *written = 0;
    ++fs_.writes_;
    if (fs_.fail_write_at_ != 0 && fs_.writes_ == fs_.fail_write_at_) {
      fs_.fail_write_at_ = 0;
      return IoStatus::FromErrno(fs_.fail_write_err_);
    }
    if (!on_disk_ || fs_.disk_left_ < 0 ||
        static_cast<int64_t>(data.size()) <= fs_.disk_left_) {
      size_t done = 0;
      IoStatus s = base_->WriteAt(offset, data, &done);
      if (on_disk_ && fs_.disk_left_ >= 0) fs_.disk_left_ -= static_cast<int64_t>(done);
      if (written) *written = done;
      return s;
    }
    const size_t fits = static_cast<size_t>(fs_.disk_left_);
    size_t done = 0;
    if (fits > 0) {
      if (IoStatus s = base_->WriteAt(offset, data.substr(0, fits), &done); !s.ok()) {
        if (written) *written = done;
        return s;
      }
    }
    fs_.disk_left_ -= static_cast<int64_t>(done);
    if (written) *written = done;
    return IoStatus::FromErrno(ENOSPC);
  }

  IoStatus Sync() override {
    IoStatus s = base_->Sync();
    if (s.ok() && fs_.fail_sync_err_ != 0) return IoStatus::FromErrno(fs_.fail_sync_err_);
    return s;
  }

  IoStatus Close() override {
    IoStatus s = base_->Close();
    if (s.ok() && fs_.fail_close_err_ != 0) return IoStatus::FromErrno(fs_.fail_close_err_);
    return s;
  }

 private:
  FaultyFileSystem& fs_;
  std::unique_ptr<FileHandle> base_;
  const bool on_disk_;
};

IoStatus FaultyFileSystem::Open(const std::string& path, const OpenOptions& options,
                                std::unique_ptr<FileHandle>* file) {
  file->reset();
  if (fail_open_err_ != 0 && (options.create || !fail_open_creating_only_)) {
    const int err = fail_open_err_;
    fail_open_err_ = 0;
    return IoStatus::FromErrno(err);
  }
  std::unique_ptr<FileHandle> base;
  IoStatus s = base_.Open(path, options, &base);
  const bool on_disk = disk_folder_.empty() || path.starts_with(disk_folder_);
  if (s.ok()) *file = std::make_unique<Handle>(*this, std::move(base), on_disk);
  return s;
}

void FaultyFileSystem::FailWrite(int nth, int err) {
  fail_write_at_ = writes_ + nth;
  fail_write_err_ = err;
}

void FaultyFileSystem::FailRead(int nth, int err) {
  fail_read_at_ = reads_ + nth;
  fail_read_err_ = err;
}

void FaultyFileSystem::FillDiskAfter(int64_t bytes, std::string folder) {
  disk_left_ = bytes;
  disk_folder_ = std::move(folder);
}
void FaultyFileSystem::FailClose(int err) { fail_close_err_ = err; }
void FaultyFileSystem::FailSync(int err) { fail_sync_err_ = err; }
void FaultyFileSystem::FailTruncate(int err) { fail_truncate_err_ = err; }

void FaultyFileSystem::FailOpen(int err, bool creating_only) {
  fail_open_err_ = err;
  fail_open_creating_only_ = creating_only;
}

void FaultyFileSystem::Clear() {
  fail_write_at_ = 0;
  fail_read_at_ = 0;
  disk_left_ = -1;
  disk_folder_.clear();
  fail_close_err_ = 0;
  fail_sync_err_ = 0;
  fail_truncate_err_ = 0;
  fail_open_err_ = 0;
}

}  // namespace mirabo
