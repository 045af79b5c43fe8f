// Files and directories. Paths here are file-system paths in UTF-8; callers
// holding code-page-936 paths convert them first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varnelo::platform {

// True when `path` names an existing directory (symbolic links followed);
// false for anything else, the empty path included.
bool isDirectoryPath(const std::string& path);

// Creates every missing directory of `path` (separators "/", repeated ones
// allowed). True when the whole path is a directory afterwards; false for the
// empty path or when a part cannot be made.
bool createDirectories(const std::string& path);

// Writes `size` bytes to a new temporary file beside `path` and renames it
// over `path`, so `path` holds either its old content or all the new bytes,
// never a part of them, even when the process dies mid-write. False when any
// step fails; the temporary file is then removed.
bool writeFileWhole(const std::string& path, const void* data, std::size_t size);

// Like writeFileWhole, but fails without writing while any SharedFile (of
// this or another process) holds `path` open: the existing file is first
// locked exclusively without waiting.
bool writeFileExclusive(const std::string& path, const void* data, std::size_t size);

// Size in bytes of the regular file `path`; -1 when there is none.
std::int64_t fileSize(const std::string& path);

// Removes the file `path`; false when it could not be removed.
bool deleteFile(const std::string& path);

// Reads the whole file `path` into `content` (replacing it); 0 on success,
// else the errno value of the failing open or read.
int readWholeFile(const std::string& path, std::string& content);

// Reads standard input to its end into `content` (replacing it); 0 on
// success, else the errno value of the failing read.
int readStandardInput(std::string& content);

// A file opened for reading and writing that others may read and write at
// the same time, read byte by byte through a buffer. While it is open it
// holds a shared lock that makes writeFileExclusive of the same file fail.
class SharedFile {
 public:
  // Opens an existing `path`; the file is never created. isOpen() tells.
  explicit SharedFile(const std::string& path);
  ~SharedFile();
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  // The next byte without consuming it; -1 at the end, on a read error and
  // when the file is not open.
  int peekByte();
  // The next byte, consumed; -1 as for peekByte.
  int readByte();

 private:
  bool fill();

  int fd_ = -1;
  std::vector<unsigned char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool atEnd_ = false;
};

}  // namespace varnelo::platform
