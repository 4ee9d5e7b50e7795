#include "platform/posix_file_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tsmerge {
namespace {

std::string reasonOf(int error) { return std::strerror(error); }

FileIdentity identityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// Owns one descriptor; closing twice is harmless.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { close(); }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  int close() {
    if (fd_ < 0) return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

class PosixSourceFile final : public SourceFile {
 public:
  PosixSourceFile(int fd, FileIdentity identity) : fd_(fd), identity_(identity) {}
  FileIdentity identity() const override { return identity_; }
  ReadResult read(std::span<std::uint8_t> buffer) override {
    for (;;) {
      const ssize_t n = ::read(fd_.get(), buffer.data(), buffer.size());
      if (n >= 0) return {static_cast<std::size_t>(n), {}};
      if (errno != EINTR) return {0, reasonOf(errno)};
    }
  }

 private:
  Descriptor fd_;
  FileIdentity identity_;
};

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(int fd, FileIdentity identity) : fd_(fd), identity_(identity) {}
  FileIdentity identity() const override { return identity_; }
  std::string write(std::span<const std::uint8_t> data) override {
    while (!data.empty()) {
      const ssize_t n = ::write(fd_.get(), data.data(), data.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return reasonOf(errno);
      }
      data = data.subspan(static_cast<std::size_t>(n));
    }
    return {};
  }
  std::string truncate(std::uint64_t size) override {
    const auto length = static_cast<off_t>(size);
    if (::ftruncate(fd_.get(), length) != 0) return reasonOf(errno);
    if (::lseek(fd_.get(), length, SEEK_SET) < 0) return reasonOf(errno);
    return {};
  }
  std::string close() override {
    if (fd_.get() < 0) return {};
    if (fd_.close() != 0 && errno != EINTR) return reasonOf(errno);
    return {};
  }

 private:
  Descriptor fd_;
  FileIdentity identity_;
};

struct RegularFile {
  int fd = -1;
  FileIdentity identity;
  std::string error;
};

// Opens a regular file, and nothing else. O_NONBLOCK keeps the open of a FIFO or device from
// waiting (a FIFO without a writer or reader would block the merge); such files are refused, and
// reads and writes of the regular file block as usual.
RegularFile openRegular(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return {-1, {}, reasonOf(errno)};
  Descriptor guard(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return {-1, {}, reasonOf(errno)};
  if (!S_ISREG(info.st_mode)) return {-1, {}, "not a regular file"};
  const int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) return {-1, {}, reasonOf(errno)};
  return {guard.release(), identityOf(info), {}};
}

}  // namespace

std::vector<std::string> PosixFileAccess::listFolder(const std::string& pattern) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(pattern.c_str());
  if (dir == nullptr) return names;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      // A link counts as what it points to; a broken link is listed and fails when opened.
      struct stat info {};
      isFolder = ::fstatat(dirFd, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    }
    if (!isFolder) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

Opened<SourceFile> PosixFileAccess::openSource(const std::string& path) {
  RegularFile opened = openRegular(path, O_RDONLY);
  if (opened.fd < 0) return {nullptr, opened.error};
  ::posix_fadvise(opened.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return {std::make_unique<PosixSourceFile>(opened.fd, opened.identity), {}};
}

Opened<OutputFile> PosixFileAccess::createOutput(const std::string& path) {
  RegularFile opened = openRegular(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (opened.fd < 0) return {nullptr, opened.error};
  return {std::make_unique<PosixOutputFile>(opened.fd, opened.identity), {}};
}

void PosixFileAccess::removeFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace tsmerge
