// The file-system stand-ins and the list-file line reader, on real files in
// a temporary directory.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <chrono>
#include <algorithm>
#include <string>
#include <vector>

#include "app/job_intake.h"
#include "app/page_worker.h"
#include "app/slot_dispatcher.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace varnelo {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;

void writeRaw(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::vector<std::string> namesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

struct LineCase {
  const char* label;
  std::string file;
  std::vector<Text> lines;  // read in this order; one more read past them
};

TEST(ReadListLine, FollowsTheListFileRules) {
  const LineCase cases[] = {
      {"CR LF lines", "a\r\nb", {"a", "b", ""}},
      {"bare LF first", "\na\r\nb", {"", "a", "b"}},
      {"bare CR at the end dropped", "a\r\nb\r", {"a", "b", ""}},
      {"only one final CR dropped", "a\r\r\nb", {"a\r", "b"}},
      {"CR inside kept", "a\rb\nc", {"a\rb", "c"}},
      {"empty file", "", {"", ""}},
      {"blank lines", "a\n\n\nb", {"a", "", "", "b"}},
      {"spaces are a line", "  \r\nx", {"  ", "x"}},
      {"NUL ends for good", std::string("ab\0cd\nef", 8), {"ab", "", "", ""}},
      {"0x1A ends for good", "ab\x1a" "cd\nef", {"ab", "", ""}},
      {"0x1A at a line start", "a\n\x1a\nb", {"a", "", ""}},
      // A second byte of LF belongs to its character and ends no line.
      {"two-byte character with LF second byte", "\x81\nb\nc", {"\x81\nb", "c"}},
      {"two-byte character with CR second byte", "a\x81\r\nb", {"a\x81\r", "b"}},
      {"second byte 0x5C", "\xb5\\\r\n\xd6\xd0", {"\xb5\\", "\xd6\xd0"}},
      {"first byte at the very end", "a\x81", {"a\x81", ""}},
      {"first byte before a NUL", std::string("a\x81\0b", 4), {"a\x81", ""}},
  };
  for (const LineCase& c : cases) {
    TempDir dir;
    const fs::path path = dir.path() / "url.txt";
    writeRaw(path, c.file);
    platform::SharedFile file(path.string());
    ASSERT_TRUE(file.isOpen()) << c.label;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      EXPECT_EQ(readListLine(file), c.lines[i]) << c.label << ", line " << i + 1;
    }
    EXPECT_EQ(readListLine(file), "") << c.label << ", after the last line";
  }
}

TEST(ReadListLine, MissingFileGivesEmptyLines) {
  TempDir dir;
  platform::SharedFile file((dir.path() / "missing.txt").string());
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(readListLine(file), "");
  EXPECT_EQ(readListLine(file), "");
  EXPECT_FALSE(fs::exists(dir.path() / "missing.txt")) << "opening must not create the file";
}

TEST(ReadListLine, LongLinesSpanTheReadBuffer) {
  TempDir dir;
  const fs::path path = dir.path() / "url.txt";
  // A two-byte character straddles the 65536-byte buffer boundary.
  const std::string first = std::string(65535, 'a') + "\xd6\n";
  writeRaw(path, first + "tail\r\n");
  platform::SharedFile file(path.string());
  EXPECT_EQ(readListLine(file), std::string(65535, 'a') + "\xd6\ntail");
  EXPECT_EQ(readListLine(file), "");
}

TEST(FileSizeKb, RoundsUpAndTellsMissingFiles) {
  TempDir dir;
  testing::ScopedCurrentDir here(dir.path());
  struct Case {
    std::size_t bytes;
    std::int64_t expected;
  };
  const Case cases[] = {{0, 0}, {1, 1}, {1023, 1}, {1024, 1}, {1025, 2}, {4096, 4}, {4097, 5}};
  for (const Case& c : cases) {
    writeRaw("f.bin", std::string(c.bytes, 'x'));
    EXPECT_EQ(fileSizeKb("./f.bin"), c.expected) << c.bytes << " bytes";
  }
  EXPECT_EQ(fileSizeKb("./missing.bin"), -1);
  fs::create_directory("folder");
  EXPECT_EQ(fileSizeKb("./folder"), -1);
  EXPECT_EQ(fileSizeKb(""), -1);
}

TEST(Directories, TestAndCreateEveryMissingPart) {
  TempDir dir;
  testing::ScopedCurrentDir here(dir.path());
  EXPECT_TRUE(isDirectory("."));
  EXPECT_TRUE(isDirectory("./"));
  EXPECT_FALSE(isDirectory(""));
  EXPECT_FALSE(isDirectory("./a"));
  EXPECT_TRUE(ensureDirectory("./a/b//c/"));
  EXPECT_TRUE(isDirectory("./a/b/c"));
  EXPECT_TRUE(ensureDirectory("./a/b/c")) << "an existing directory is success";
  EXPECT_FALSE(ensureDirectory(""));
  writeRaw("file", "x");
  EXPECT_FALSE(isDirectory("./file"));
  EXPECT_FALSE(ensureDirectory("./file/sub"));
}

TEST(Directories, CodePage936PathsReachTheFileSystemAsUtf8) {
  TempDir dir;
  testing::ScopedCurrentDir here(dir.path());
  // "中文" in code page 936.
  ASSERT_TRUE(ensureDirectory("./\xd6\xd0\xce\xc4"));
  EXPECT_TRUE(fs::is_directory(dir.path() / "\xe4\xb8\xad\xe6\x96\x87"));
  EXPECT_TRUE(isDirectory("./\xd6\xd0\xce\xc4"));
}

TEST(WriteFileWhole, ReplacesTheTargetAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string target = (dir.path() / "x.jpg").string();
  const std::string body("a\0b\xff", 4);
  ASSERT_TRUE(platform::writeFileWhole(target, body.data(), body.size()));
  EXPECT_EQ(readFile(target), body);
  ASSERT_TRUE(platform::writeFileWhole(target, "new", 3));
  EXPECT_EQ(readFile(target), "new");
  ASSERT_TRUE(platform::writeFileWhole(target, "", 0));
  EXPECT_EQ(readFile(target), "");
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"x.jpg"});
}

// A writer killed at any moment leaves the old or the new content, whole.
TEST(WriteFileWhole, AKilledWriterNeverLeavesAPartialFile) {
  TempDir dir;
  const std::string target = (dir.path() / "1.jpg").string();
  const std::string oldContent(4 << 20, 'A');
  const std::string newContent(4 << 20, 'B');
  ASSERT_TRUE(platform::writeFileWhole(target, oldContent.data(), oldContent.size()));
  for (int delayMs : {0, 5, 20, 60}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        platform::writeFileWhole(target, newContent.data(), newContent.size());
        platform::writeFileWhole(target, oldContent.data(), oldContent.size());
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const std::string found = readFile(target);
    EXPECT_TRUE(found == oldContent || found == newContent)
        << "after " << delayMs << " ms: " << found.size() << " bytes";
  }
}

TEST(WriteFileWhole, FailsCleanlyWhereTheTargetCannotBe) {
  TempDir dir;
  fs::create_directory(dir.path() / "taken");
  EXPECT_FALSE(platform::writeFileWhole((dir.path() / "taken").string(), "x", 1));
  EXPECT_FALSE(platform::writeFileWhole((dir.path() / "no/such/dir/f").string(), "x", 1));
  EXPECT_FALSE(platform::writeFileWhole("", "x", 1));
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"taken"}) << "no temporary file left";
}

TEST(WriteFileExclusive, FailsWhileTheListIsOpenAndSucceedsAfter) {
  TempDir dir;
  const std::string path = (dir.path() / "url.txt").string();
  ASSERT_TRUE(platform::writeFileExclusive(path, "old", 3)) << "a missing file is created";
  {
    platform::SharedFile reader(path);
    ASSERT_TRUE(reader.isOpen());
    EXPECT_FALSE(platform::writeFileExclusive(path, "new", 3));
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(reader.readByte(), 'o');
  }
  EXPECT_TRUE(platform::writeFileExclusive(path, "new", 3));
  EXPECT_EQ(readFile(path), "new");
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"url.txt"});
}

// The lock is a real file lock: another process sees it, and ours sees the
// other process's.
TEST(WriteFileExclusive, LockHoldsBetweenProcesses) {
  TempDir dir;
  const std::string path = (dir.path() / "url.txt").string();
  ASSERT_TRUE(platform::writeFileExclusive(path, "old", 3));
  {
    platform::SharedFile reader(path);
    const std::string tryExclusive = "flock --exclusive --nonblock '" + path + "' true";
    const int status = std::system(tryExclusive.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0) << "another process got the file exclusively";
  }
  // Another process holds the file shared for a moment; it says so once it
  // has the lock.
  const std::string holdShared =
      "flock --shared '" + path + "' sh -c 'echo locked; sleep 2'";
  FILE* other = ::popen(holdShared.c_str(), "r");
  ASSERT_NE(other, nullptr);
  char line[32] = {};
  ASSERT_NE(std::fgets(line, sizeof line, other), nullptr);
  EXPECT_FALSE(platform::writeFileExclusive(path, "new", 3));
  EXPECT_EQ(readFile(path), "old");
  ::pclose(other);
}

}  // namespace
}  // namespace varnelo
