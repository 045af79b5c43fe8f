// A temporary directory that removes itself, and a scope that makes it the
// current working directory.
#pragma once

#include <filesystem>
#include <string>

namespace varnelo::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Changes the current directory for its lifetime.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::filesystem::path& dir);
  ~ScopedCurrentDir();
  ScopedCurrentDir(const ScopedCurrentDir&) = delete;
  ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

 private:
  std::filesystem::path previous_;
};

// The whole content of a file, or empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

}  // namespace varnelo::testing
