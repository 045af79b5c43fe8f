#include "platform/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace varnelo::platform {

namespace {

// Closes `fd` when it goes out of scope.
class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return fd_; }
  // Closes now; false when close reports an error (a late write failure).
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

// The directory part of `path` with its trailing separator ("./" when the
// path has none), to which a file name can be appended.
std::string directoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// A name for a temporary file, unique within this process and (by the
// process id) among processes.
std::string temporaryNameBeside(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  return directoryOf(path) + ".varnelo-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1)) + ".tmp";
}

// Writes all `size` bytes to `fd`; false on any error.
bool writeAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Takes `operation` (flock) on `fd`, retrying when a signal interrupts it.
bool lockFile(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

bool isDirectoryPath(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool createDirectories(const std::string& path) {
  if (path.empty()) return false;
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string part = path.substr(0, end);
    if (!part.empty() && part.back() != '/' && !isDirectoryPath(part)) {
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    if (end == std::string::npos) break;
  }
  return isDirectoryPath(path);
}

namespace {

// Writes the file as an unnamed inode in the target's directory and gives it
// a temporary name only once every byte is in, so a process killed while
// writing leaves nothing behind. -1 when the file system cannot do this (the
// caller then writes a named temporary file), 0 on failure, 1 on success;
// `temporary` receives the name to rename from.
int writeUnnamedThenLink(const std::string& path, const void* data, std::size_t size,
                         std::string& temporary) {
#ifdef O_TMPFILE
  FdGuard file(::open(directoryOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (file.get() < 0) return -1;
  if (!writeAll(file.get(), static_cast<const unsigned char*>(data), size)) return 0;
  const std::string self = "/proc/self/fd/" + std::to_string(file.get());
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary = temporaryNameBeside(path);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return file.close() ? 1 : (::unlink(temporary.c_str()), 0);
    }
    if (errno != EEXIST) return errno == ENOENT ? -1 : 0;
  }
  return 0;
#else
  (void)path, (void)data, (void)size, (void)temporary;
  return -1;
#endif
}

}  // namespace

bool writeFileWhole(const std::string& path, const void* data, std::size_t size) {
  if (path.empty() || path.back() == '/') return false;
  std::string temporary;
  const int unnamed = writeUnnamedThenLink(path, data, size, temporary);
  if (unnamed == 0) return false;
  if (unnamed > 0) {
    if (::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
  }
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = temporaryNameBeside(path);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  FdGuard file(fd);
  bool ok = writeAll(file.get(), static_cast<const unsigned char*>(data), size);
  ok = file.close() && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

bool writeFileExclusive(const std::string& path, const void* data, std::size_t size) {
  // Only an existing file can be held open by a reader; a missing one is
  // simply written. The lock sits on the old file, which the rename replaces,
  // so a reader that opened the old file re-checks which file it holds.
  FdGuard existing(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (existing.get() < 0 && errno != ENOENT) return false;
  if (existing.get() >= 0 && !lockFile(existing.get(), LOCK_EX | LOCK_NB)) return false;
  return writeFileWhole(path, data, size);
}

std::int64_t fileSize(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

bool deleteFile(const std::string& path) { return !path.empty() && ::unlink(path.c_str()) == 0; }

SharedFile::SharedFile(const std::string& path) : buffer_(65536) {
  // An exclusive writer replaces the file by rename while holding a lock on
  // the old one: after the shared lock is granted, make sure the file held
  // is still the one the path names, else open the new one.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return;
    struct stat held {};
    struct stat named {};
    if (lockFile(fd, LOCK_SH) && ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      fd_ = fd;
      return;
    }
    ::close(fd);
  }
}

SharedFile::~SharedFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool SharedFile::fill() {
  if (begin_ < end_) return true;
  if (fd_ < 0 || atEnd_) return false;
  for (;;) {
    ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      atEnd_ = true;
      return false;
    }
    begin_ = 0;
    end_ = static_cast<std::size_t>(got);
    return true;
  }
}

int SharedFile::peekByte() { return fill() ? buffer_[begin_] : -1; }

int SharedFile::readByte() { return fill() ? buffer_[begin_++] : -1; }

namespace {

// Appends everything readable from `fd` to `content`; 0, or the errno value
// of a failing read.
int readAll(int fd, std::string& content) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      content.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      return 0;
    } else if (errno != EINTR) {
      return errno;
    }
  }
}

}  // namespace

int readWholeFile(const std::string& path, std::string& content) {
  content.clear();
  FdGuard file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return file.get() < 0 ? errno : readAll(file.get(), content);
}

int readStandardInput(std::string& content) {
  content.clear();
  return readAll(STDIN_FILENO, content);
}

}  // namespace varnelo::platform
