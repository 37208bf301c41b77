#include "runtime/memory_file_system.h"

#include <algorithm>
#include <cerrno>

#include "runtime/error.h"

namespace mirabo {
namespace {

// Two opens of one file conflict when either wants what the other denies.
bool Conflicts(const OpenOptions& a, const OpenOptions& b) {
  return (a.read && b.deny_read) || (a.write && b.deny_write) || (b.read && a.deny_read) ||
         (b.write && a.deny_write);
}

}  // namespace

struct MemoryFileSystem::Node {
  struct Range {
    const void* owner;  // the handle holding the lock
    int64_t offset;
    int64_t length;
  };
  std::string data;
  std::vector<const OpenOptions*> opens;  // options of the handles still open
  std::vector<Range> locks;
};

class MemoryFileSystem::Handle final : public FileHandle {
 public:
  Handle(std::shared_ptr<Node> node, const OpenOptions& o) : node_(std::move(node)), options_(o) {
    node_->opens.push_back(&options_);
  }
  ~Handle() override { Release(); }

  IoStatus Size(int64_t* size) override {
    if (!node_) return IoStatus::NotOpen();
    *size = static_cast<int64_t>(node_->data.size());
    return IoStatus::Ok();
  }

  IoStatus ReadAt(int64_t offset, size_t n, std::string* out) override {
    out->clear();
    if (!node_) return IoStatus::NotOpen();
    if (!options_.read) return IoStatus::WrongAccess();
    if (offset < 0) return IoStatus::FromErrno(EINVAL);
    const std::string& data = node_->data;
    if (static_cast<size_t>(offset) < data.size()) *out = data.substr(offset, n);
    return IoStatus::Ok();
  }

  IoStatus WriteAt(int64_t offset, std::string_view bytes, size_t* written) override {
    if (written) *written = 0;
    if (!node_) return IoStatus::NotOpen();
    if (!options_.write) return IoStatus::WrongAccess();
    if (offset < 0) return IoStatus::FromErrno(EINVAL);
    std::string& data = node_->data;
    const size_t end = static_cast<size_t>(offset) + bytes.size();
    if (data.size() < end) data.resize(end, '\0');
    std::copy(bytes.begin(), bytes.end(), data.begin() + offset);
    if (written) *written = bytes.size();
    return IoStatus::Ok();
  }

  IoStatus Truncate(int64_t size) override {
    if (!node_) return IoStatus::NotOpen();
    if (!options_.write) return IoStatus::WrongAccess();
    if (size < 0) return IoStatus::FromErrno(EINVAL);
    node_->data.resize(static_cast<size_t>(size), '\0');
    return IoStatus::Ok();
  }

  IoStatus Sync() override { return node_ ? IoStatus::Ok() : IoStatus::NotOpen(); }

  IoStatus Lock(int64_t offset, int64_t length) override {
    if (!node_) return IoStatus::NotOpen();
    for (const Node::Range& r : node_->locks) {
      const bool overlaps = r.offset < offset + length && offset < r.offset + r.length;
      // Two shared locks do not exclude each other.
      const bool both_shared =
          !options_.write && !static_cast<const Handle*>(r.owner)->options_.write;
      if (r.owner != this && overlaps && !both_shared) {
        return IoStatus::Code(kFileIsAlreadyLocked, EAGAIN);
      }
    }
    node_->locks.push_back({this, offset, length});
    return IoStatus::Ok();
  }

  IoStatus Unlock(int64_t offset, int64_t length) override {
    if (!node_) return IoStatus::NotOpen();
    std::erase_if(node_->locks, [&](const Node::Range& r) {
      return r.owner == this && r.offset >= offset && r.offset + r.length <= offset + length;
    });
    return IoStatus::Ok();
  }

  IoStatus Close() override {
    if (!node_) return IoStatus::NotOpen();
    Release();
    return IoStatus::Ok();
  }

 private:
  void Release() {
    if (!node_) return;
    std::erase(node_->opens, &options_);
    std::erase_if(node_->locks, [this](const Node::Range& r) { return r.owner == this; });
    node_.reset();
  }

  std::shared_ptr<Node> node_;
  OpenOptions options_;
};

bool MemoryFileSystem::FolderExists(const std::string& path) const {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return true;
  const std::string folder = path.substr(0, slash);
  return folder.empty() || std::find(folders_.begin(), folders_.end(), folder) != folders_.end();
}

IoStatus MemoryFileSystem::Open(const std::string& path, const OpenOptions& o,
                                std::unique_ptr<FileHandle>* file) {
  file->reset();
  if (std::find(folders_.begin(), folders_.end(), path) != folders_.end()) {
    return IoStatus::FromErrno(EISDIR);
  }
  if (path.empty() || !FolderExists(path)) return IoStatus::Code(kPathNotFound, ENOENT);
  auto it = files_.find(path);
  if (it == files_.end()) {
    if (!o.create) return IoStatus::Code(kFileNotFound, ENOENT);
    it = files_.emplace(path, std::make_shared<Node>()).first;
  } else if (o.create && o.exclusive) {
    return IoStatus::FromErrno(EEXIST);
  }
  Node& node = *it->second;
  for (const OpenOptions* other : node.opens) {
    if (Conflicts(*other, o)) return IoStatus::SharingViolation();
  }
  if (o.truncate) node.data.clear();
  *file = std::make_unique<Handle>(it->second, o);
  return IoStatus::Ok();
}

IoStatus MemoryFileSystem::Remove(const std::string& path) {
  if (!FolderExists(path)) return IoStatus::Code(kPathNotFound, ENOENT);
  if (files_.erase(path) == 0) return IoStatus::Code(kFileNotFound, ENOENT);
  return IoStatus::Ok();
}

IoStatus MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  if (!FolderExists(from) || !FolderExists(to)) return IoStatus::Code(kPathNotFound, ENOENT);
  auto it = files_.find(from);
  if (it == files_.end()) return IoStatus::Code(kFileNotFound, ENOENT);
  if (from == to) return IoStatus::Ok();
  std::shared_ptr<Node> node = it->second;
  files_.erase(it);
  files_[to] = std::move(node);
  return IoStatus::Ok();
}

void MemoryFileSystem::AddFolder(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // Its parents come into being with it.
  for (size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    folders_.push_back(folder.substr(0, slash));
  }
  folders_.push_back(std::move(folder));
}

void MemoryFileSystem::SetContents(const std::string& path, std::string bytes) {
  auto& node = files_[path];
  if (!node) node = std::make_shared<Node>();
  node->data = std::move(bytes);
}

bool MemoryFileSystem::GetContents(const std::string& path, std::string* bytes) const {
  auto it = files_.find(path);
  if (it == files_.end()) return false;
  *bytes = it->second->data;
  return true;
}

int MemoryFileSystem::OpenCount(const std::string& path) const {
  auto it = files_.find(path);
  return it == files_.end() ? 0 : static_cast<int>(it->second->opens.size());
}

}  // namespace mirabo
