// varnelo-cli end to end: the built binary in a temporary directory against a
// local site.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/run_cli.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"

namespace varnelo::cli {
namespace {

namespace fs = std::filesystem;
using varnelo::testing::ScriptedResponse;
using varnelo::testing::ScriptedServer;
using varnelo::testing::TempDir;
using varnelo::testing::readFile;
using testing::runCli;
using testing::runCliOnTerminal;
using testing::summaryFigures;

// 中文 in UTF-8 and in code page 936; the Chinese page's title 中文页 in 936.
const std::string kChineseUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kChineseGbk = "\xD6\xD0\xCE\xC4";
const std::string kChineseTitleGbk = "\xD6\xD0\xCE\xC4\xD2\xB3";
const std::string kChineseTitleUtf8 = "\xE4\xB8\xAD\xE6\x96\x87\xE9\xA1\xB5";

// "127.0.0.1:PORT" from the request's Host line.
std::string hostOf(const varnelo::testing::RecordedRequest& request) {
  const std::string& h = request.headerBlock;
  auto at = h.find("Host: ");
  if (at == std::string::npos) at = h.find("host: ");
  if (at == std::string::npos) return "";
  at += 6;
  return h.substr(at, h.find("\r\n", at) - at);
}

// The test site: a page with three pictures and an empty one, a page
// without pictures, a GBK page at an address written in Chinese, a slow page.
ScriptedResponse serveSite(const varnelo::testing::RecordedRequest& request) {
  const std::string base = "http://" + hostOf(request);
  const std::string& target = request.target;
  if (target == "/a.html") {
    return ScriptedResponse::ok("<html><head><title>Alpha</title></head><body>\n<img src=\"" + base +
                                "/img/1.jpg\"><img src=\"" + base + "/img/2.jpg\">\n<img src=\"" +
                                base + "/img/empty.jpg\"><img src=\"" + base +
                                "/img/3.gif\"></body></html>");
  }
  if (target == "/b.html") return ScriptedResponse::ok("<title>Beta</title>no pictures here");
  if (target == "/slow.html") {
    ScriptedResponse slow = ScriptedResponse::ok("<title>Slow</title>nothing");
    slow.delayBeforeMs = 600;
    return slow;
  }
  // However the request layer spells the Chinese path on the wire.
  const std::string percentGbk = "%D6%D0%CE%C4";
  const std::string percentUtf8 = "%E4%B8%AD%E6%96%87";
  for (const std::string& spelled : {kChineseGbk, kChineseUtf8, percentGbk, percentUtf8}) {
    if (target == "/" + spelled + ".html") {
      return ScriptedResponse::ok("<html><head><title>" + kChineseTitleGbk + "</title></head></html>",
                                  "text/html; charset=gbk");
    }
  }
  if (target == "/img/1.jpg") return ScriptedResponse::ok(std::string(1000, 'j'), "image/jpeg");
  if (target == "/img/2.jpg") return ScriptedResponse::ok(std::string(2000, 'k'), "image/jpeg");
  if (target == "/img/3.gif") return ScriptedResponse::ok(std::string(3000, 'g'), "image/gif");
  if (target == "/img/empty.jpg") return ScriptedResponse::ok("", "image/jpeg");
  return ScriptedResponse::status(404, "Not Found", "Not Found");
}

// Size of the file at `path`, -1 when there is none.
long long sizeOf(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? -1 : static_cast<long long>(size);
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class CliJob : public ::testing::Test {
 protected:
  ScriptedServer server{serveSite};
  TempDir dir;
  std::string page(const std::string& path) const { return server.baseUrl() + path; }
  fs::path at(const std::string& relative) const { return dir.path() / fs::u8path(relative); }
};

TEST_F(CliJob, CleansTheListLikeAPasteAndCountsWhatTheWorkersDid) {
  // Blank lines, LF, CR LF and lone CR breaks, a leading and a trailing
  // break, and an address written in Chinese; the last page cannot be fetched.
  const std::string list = "\r\n" + page("/a.html") + "\r\n\r\n" + page("/b.html") + "\n\n" +
                           page("/" + kChineseUtf8 + ".html") + "\rhttp://127.0.0.1:1/down.html\n";
  writeFile(at("list.txt"), list);

  const auto run = runCli(dir.path(), {"list.txt"});

  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(readFile(at("data/url.txt")), page("/a.html") + "\r\n" + page("/b.html") + "\r\n" +
                                              page("/" + kChineseGbk + ".html") +
                                              "\r\nhttp://127.0.0.1:1/down.html");
  EXPECT_EQ(summaryFigures(run.out),
            "pages: 3 saved (1 with pictures, 2 without), 0 skipped, 1 failed; "
            "pictures: 3 saved, 1 empty, 0 failed; 6000 bytes (5.86 KiB)");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;

  EXPECT_EQ(sizeOf(at("data/pic/Alpha/1.jpg")), 1000);
  EXPECT_EQ(sizeOf(at("data/pic/Alpha/2.jpg")), 2000);
  EXPECT_EQ(sizeOf(at("data/pic/Alpha/3.jpg")), -1);
  EXPECT_EQ(sizeOf(at("data/pic/Alpha/1.gif")), 3000);
  EXPECT_TRUE(fs::exists(at("data/no_pic/Beta/index.html")));
  EXPECT_TRUE(fs::exists(at("data/no_pic/" + kChineseTitleUtf8 + "/index.html")));

  // Standard error is a file here: nothing that redraws.
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos) << run.err;
}

TEST_F(CliJob, ReadsTheListFromStandardInput) {
  const std::string list = page("/a.html") + "\n" + page("/b.html") + "\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"-"}, {"--no-skip"}, {"--no-skip", "-"}, {"--", "-"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    TempDir job;
    const auto run = runCli(job.path(), args, list);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(summaryFigures(run.out),
              "pages: 2 saved (1 with pictures, 1 without), 0 skipped, 0 failed; "
              "pictures: 3 saved, 1 empty, 0 failed; 6000 bytes (5.86 KiB)");
    EXPECT_EQ(readFile(job.path() / "data/url.txt"), page("/a.html") + "\r\n" + page("/b.html"));
  }
}

TEST_F(CliJob, SkipsPagesWhoseFolderExistsUnlessNoSkip) {
  const struct {
    std::vector<std::string> args;
    std::string figures;
    bool alphaSaved;
  } cases[] = {
      {{"list.txt"},
       "pages: 1 saved (0 with pictures, 1 without), 1 skipped, 0 failed; "
       "pictures: 0 saved, 0 empty, 0 failed; 0 bytes (0 B)",
       false},
      {{"--no-skip", "list.txt"},
       "pages: 2 saved (1 with pictures, 1 without), 0 skipped, 0 failed; "
       "pictures: 3 saved, 1 empty, 0 failed; 6000 bytes (5.86 KiB)",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    TempDir job;
    // ./data/Alpha makes the page named Alpha count as done already.
    fs::create_directories(job.path() / "data/Alpha");
    writeFile(job.path() / "list.txt", page("/a.html") + "\n" + page("/b.html"));
    const auto run = runCli(job.path(), c.args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(summaryFigures(run.out), c.figures);
    EXPECT_EQ(fs::exists(job.path() / "data/pic/Alpha/index.html"), c.alphaSaved);
    EXPECT_TRUE(fs::exists(job.path() / "data/no_pic/Beta/index.html"));
  }
}

TEST_F(CliJob, ShowsALiveDisplayOnATerminal) {
  writeFile(at("list.txt"), page("/slow.html") + "\n" + page("/a.html"));
  const auto run = runCliOnTerminal(dir.path(), {"list.txt"}, 72);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("\x1b[?25l"), std::string::npos);  // cursor hidden while drawing
  EXPECT_NE(run.err.find("\x1b[3F"), std::string::npos);    // frames redrawn in place
  EXPECT_NE(run.err.rfind("\x1b[?25h"), std::string::npos);  // and shown again at the end
  // The last frame stands: the twenty bars, "就绪" and the final counts.
  const std::string lastFrame = run.err.substr(run.err.rfind("\x1b[3F"));
  EXPECT_NE(lastFrame.find("\xE7\xBA\xBF\xE7\xA8\x8B\xE6\xB1\xA0"), std::string::npos);
  EXPECT_NE(lastFrame.find("\xE5\xB0\xB1\xE7\xBB\xAA"), std::string::npos) << lastFrame;
  EXPECT_NE(lastFrame.find("pages 2 saved"), std::string::npos) << lastFrame;
  // The summary still goes to standard output alone.
  EXPECT_EQ(summaryFigures(run.out),
            "pages: 2 saved (1 with pictures, 1 without), 0 skipped, 0 failed; "
            "pictures: 3 saved, 1 empty, 0 failed; 6000 bytes (5.86 KiB)");
}

TEST(CliExit, UsageErrorsAndUnreadableListsExitTwoAndTouchNothing) {
  const struct {
    std::vector<std::string> args;
    std::string messagePart;
  } cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-n", "list.txt"}, "unknown option '-n'"},
      {{"list.txt", "other.txt"}, "more than one list file"},
      {{"missing.txt"}, "cannot read list file 'missing.txt': No such file or directory"},
      {{"folder"}, "cannot read list file 'folder': Is a directory"},
      {{"gbk.txt"}, "list file 'gbk.txt' is not UTF-8 text (line 2)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    TempDir job;
    writeFile(job.path() / "list.txt", "http://127.0.0.1:1/a.html\n");
    writeFile(job.path() / "gbk.txt", "http://127.0.0.1:1/a.html\nhttp://127.0.0.1:1/" + kChineseGbk);
    fs::create_directories(job.path() / "folder");
    const auto run = runCli(job.path(), c.args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("varnelo-cli: " + c.messagePart), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(job.path() / "data"));
  }
}

TEST(CliExit, AnEmptyListIsNotAnError) {
  const char* const zeros =
      "pages: 0 saved (0 with pictures, 0 without), 0 skipped, 0 failed; "
      "pictures: 0 saved, 0 empty, 0 failed; 0 bytes (0 B)";
  for (const std::string& list : {std::string(), std::string("\n\n\n"), std::string("\r\n"),
                                  std::string("\r\r\n\n"), std::string("\xEF\xBB\xBF")}) {
    SCOPED_TRACE(::testing::PrintToString(list));
    for (bool fromStdin : {false, true}) {
      TempDir job;
      writeFile(job.path() / "list.txt", list);
      const auto run = fromStdin ? runCli(job.path(), {}, list) : runCli(job.path(), {"list.txt"});
      EXPECT_EQ(run.exitCode, 0) << run.err;
      EXPECT_EQ(summaryFigures(run.out), zeros);
      EXPECT_TRUE(fs::is_directory(job.path() / "data/pic"));
      EXPECT_TRUE(fs::is_directory(job.path() / "data/no_pic"));
      EXPECT_TRUE(fs::exists(job.path() / "data/url.txt"));
    }
  }
}

TEST(CliExit, HelpAndVersionGoToStandardOutput) {
  TempDir job;
  const auto help = runCli(job.path(), {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: varnelo-cli [--no-skip] [FILE|-]"), std::string::npos);
  const auto version = runCli(job.path(), {"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("varnelo-cli ", 0), 0u) << version.out;
  EXPECT_FALSE(fs::exists(job.path() / "data"));
}

}  // namespace
}  // namespace varnelo::cli
