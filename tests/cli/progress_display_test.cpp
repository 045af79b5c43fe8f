#include "cli/progress_display.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "cli/job_counters.h"

namespace varnelo::cli {
namespace {

const std::string kChinese = "\xE5\xBD\x93\xE5\x89\x8D\xEF\xBC\x9A";  // 当前： (3 wide characters)

TEST(DisplayWidth, WideCharactersTakeTwoColumns) {
  EXPECT_EQ(displayWidth(""), 0);
  EXPECT_EQ(displayWidth("http://a/"), 9);
  EXPECT_EQ(displayWidth(kChinese), 6);
  EXPECT_EQ(displayWidth(kChinese + "http"), 10);
  EXPECT_EQ(displayWidth("\xE2\x96\x88"), 1);  // a block glyph
  EXPECT_EQ(displayWidth("\xFF\xFE"), 2);      // stray bytes count one each
}

TEST(FitToColumns, CutsAtCharacterBoundariesAndDisarmsControls) {
  const struct {
    std::string in;
    int columns;
    std::string out;
  } cases[] = {
      {"http://a/b", 80, "http://a/b"},
      {"http://a/b", 10, "http://a/b"},
      {"http://a/bc", 10, "http://..."},
      {"abcdef", 3, "abc"},
      {"abcdef", 0, ""},
      {"abcdef", -4, ""},
      // A wide character that would straddle the edge is left out whole.
      {kChinese + "http://host/", 8, "\xE5\xBD\x93\xE5\x89\x8D..."},
      {kChinese + "http://host/", 9, kChinese + "..."},
      {kChinese, 6, kChinese},
      // Nothing from a list may steer the terminal.
      {"a\x1b[2Jb\tc\r", 80, "a?[2Jb?c?"},
      {"a\xC2\x9B" "b", 80, "a?b"},  // C1 control (CSI)
      {"a\xFF" "b", 80, "a?b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in) + " in " + std::to_string(c.columns));
    const std::string fitted = fitToColumns(c.in, c.columns);
    EXPECT_EQ(fitted, c.out);
    EXPECT_LE(displayWidth(fitted), std::max(c.columns, 0));
  }
}

TEST(BarGlyph, EmptyOnlyAtZeroFullOnlyAtHundred) {
  EXPECT_EQ(barGlyph(0), " ");
  EXPECT_EQ(barGlyph(-7), " ");
  EXPECT_EQ(barGlyph(1), "\xE2\x96\x81");
  EXPECT_EQ(barGlyph(12), "\xE2\x96\x81");
  EXPECT_EQ(barGlyph(13), "\xE2\x96\x82");
  EXPECT_EQ(barGlyph(99), "\xE2\x96\x88");
  EXPECT_EQ(barGlyph(100), "\xE2\x96\x88");
  EXPECT_EQ(barGlyph(250), "\xE2\x96\x88");
  EXPECT_NE(barGlyph(87), barGlyph(88));
}

TEST(LiveFrame, ThreeLinesThatFitTheTerminal) {
  DisplayState state;
  for (int i = 0; i < 20; ++i) state.bars[i] = i * 5;
  state.status = kChinese + "http://127.0.0.1:8080/a/very/long/path/that/goes/on/and/on.html";
  state.tally.pagesWithPictures = 12;
  state.tally.pagesFailed = 1;
  state.tally.picturesSaved = 240;
  state.tally.pictureBytes = 7 * 1024 * 1024 + 512 * 1024;
  state.elapsedSeconds = 75.4;
  for (int columns : {30, 60, 200}) {
    SCOPED_TRACE(columns);
    const std::vector<std::string> lines = liveFrame(state, columns);
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
      EXPECT_LE(displayWidth(line), columns) << line;
      EXPECT_EQ(line.find('\n'), std::string::npos);
    }
  }
  const std::vector<std::string> wide = liveFrame(state, 200);
  EXPECT_EQ(wide[1], state.status);
  EXPECT_NE(wide[2].find("pages 12 saved"), std::string::npos) << wide[2];
  EXPECT_NE(wide[2].find("1 failed"), std::string::npos) << wide[2];
  EXPECT_NE(wide[2].find("pictures 240 saved"), std::string::npos) << wide[2];
  EXPECT_NE(wide[2].find("7.50 MiB"), std::string::npos) << wide[2];
  EXPECT_NE(wide[2].find("1:15"), std::string::npos) << wide[2];
}

TEST(ClockAndBytes, Formats) {
  EXPECT_EQ(clockText(0), "0:00");
  EXPECT_EQ(clockText(-3), "0:00");
  EXPECT_EQ(clockText(59.9), "0:59");
  EXPECT_EQ(clockText(61), "1:01");
  EXPECT_EQ(clockText(3600 + 62), "1:01:02");
  EXPECT_EQ(humanBytes(0), "0 B");
  EXPECT_EQ(humanBytes(1023), "1023 B");
  EXPECT_EQ(humanBytes(1024), "1.00 KiB");
  EXPECT_EQ(humanBytes(32 * 1024 * 20), "640 KiB");
  EXPECT_EQ(humanBytes(1536ull * 1024 * 1024), "1.50 GiB");
}

// Reads what `fd` holds once the writer side is closed.
std::string drain(int fd) {
  std::string all;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) all.append(buffer, got);
  return all;
}

TEST(ProgressDisplay, PlainModeWritesWholeLinesAndNoEscapes) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int samples = 0;
  {
    ProgressDisplay display(ProgressDisplay::Mode::plain, fds[1], [&] {
      DisplayState s;
      s.status = "http://x/" + std::to_string(++samples);
      return s;
    }, std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    display.stop();
  }
  ::close(fds[1]);
  const std::string out = drain(fds[0]);
  ::close(fds[0]);
  EXPECT_GE(samples, 2);
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
  EXPECT_EQ(out.find('\r'), std::string::npos);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back(), '\n');
  EXPECT_NE(out.find("http://x/1\n"), std::string::npos) << out;
}

TEST(ProgressDisplay, LiveModeRedrawsInPlaceAndShowsTheCursorAtTheEnd) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    ProgressDisplay display(ProgressDisplay::Mode::live, fds[1], [] {
      DisplayState s;
      s.status = "\xE5\xB0\xB1\xE7\xBB\xAA";  // 就绪
      return s;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
  }  // the destructor stops it
  ::close(fds[1]);
  const std::string out = drain(fds[0]);
  ::close(fds[0]);
  EXPECT_EQ(out.rfind("\x1b[?25l", 0), 0u);              // cursor hidden first
  EXPECT_NE(out.find("\x1b[3F"), std::string::npos);     // back over the 3 lines of a frame
  EXPECT_EQ(out.size() - out.rfind("\x1b[?25h"), 6u);    // cursor shown last
  EXPECT_NE(out.find("\xE5\xB0\xB1\xE7\xBB\xAA\n"), std::string::npos);
}

TEST(JobCounters, CountsEveryReportFromManyThreads) {
  JobCounters counters;
  std::vector<std::thread> workers;
  for (int slot = 1; slot <= 20; ++slot) {
    workers.emplace_back([&counters, slot] {
      for (int i = 0; i < 1000; ++i) {
        counters.pictureDone(slot, "a", JobObserver::PictureOutcome::saved, 3);
        counters.pictureDone(slot, "a", JobObserver::PictureOutcome::empty, 0);
      }
      counters.pageDone(slot, "p", slot % 2 ? JobObserver::PageOutcome::savedWithPictures
                                            : JobObserver::PageOutcome::failed);
    });
  }
  for (auto& w : workers) w.join();
  const JobTally t = counters.tally();
  EXPECT_EQ(t.picturesSaved, 20000u);
  EXPECT_EQ(t.picturesEmpty, 20000u);
  EXPECT_EQ(t.pictureBytes, 60000u);
  EXPECT_EQ(t.pagesWithPictures, 10u);
  EXPECT_EQ(t.pagesFailed, 10u);
  EXPECT_EQ(summaryLine(t, 1.5),
            "pages: 10 saved (10 with pictures, 0 without), 0 skipped, 10 failed; "
            "pictures: 20000 saved, 20000 empty, 0 failed; 60000 bytes (58.6 KiB); 1.50 s");
}

}  // namespace
}  // namespace varnelo::cli
