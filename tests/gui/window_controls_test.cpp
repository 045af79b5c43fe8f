// The control operations the engine uses: what they show and give back, and
// that they run on the GUI thread when called from worker threads.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextCursor>

#include <atomic>
#include <climits>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "gui/box_text.h"
#include "gui/main_window.h"
#include "gui/window_controls.h"
#include "gui_support.h"

namespace varnelo::gui {
namespace {

using testing::pumpUntil;

// "你好" and "世界" in code page 936.
const Text kHello = "\xC4\xE3\xBA\xC3";
const Text kWorld = "\xCA\xC0\xBD\xE7";
// "当前：" in code page 936.
const Text kCurrent = "\xB5\xB1\xC7\xB0\xA3\xBA";

class WindowControlsTest : public ::testing::Test {
 protected:
  testing::ApplicationReady ready;
  WindowControls controls;
  MainWindow window{WindowHandlers{}, controls};
};

TEST_F(WindowControlsTest, BarShowsTheValueKeptWithinZeroToHundred) {
  struct Case {
    int value;
    int shown;
  };
  const Case cases[] = {{0, 0},     {1, 1},     {57, 57},       {100, 100},
                        {101, 100}, {-1, 0},    {INT_MAX, 100}, {INT_MIN, 0}};
  for (int slot : {1, 13, 20}) {
    for (const Case& c : cases) {
      controls.setBarPosition(slot, c.value);
      EXPECT_EQ(window.bar(slot)->value(), c.shown) << "slot " << slot << " value " << c.value;
    }
  }
  // Slot numbers outside 1 to 20 name no bar and change none.
  controls.setBarPosition(5, 42);
  for (int slot : {0, -1, 21, 32}) controls.setBarPosition(slot, 9);
  for (int k = 1; k <= 20; ++k) EXPECT_EQ(window.bar(k)->value(), k == 5 ? 42 : 0);
}

// What the job intake replaces the box with must read back byte for byte,
// bare CR and LF included; the box shows every kind of break as a new line.
TEST_F(WindowControlsTest, ReplacedTextReadsBackExactly) {
  struct Case {
    Text text;
    QString shown;
  };
  const Case cases[] = {
      {"", ""},
      {"a\r\nb", "a\nb"},
      {"\na\r\nb", "\na\nb"},
      {"a\r\nb\r", "a\nb\n"},
      {"a\nb", "a\nb"},
      {"a\r\r\nb\n\n", "a\n\nb\n\n"},
      {"  a \t\r\nb", "  a \t\nb"},
      {kHello + "\r\n" + kWorld, QStringLiteral("你好\n世界")},
  };
  for (const Case& c : cases) {
    controls.replaceAddressBox(c.text);
    EXPECT_EQ(window.addressBox()->toPlainText(), c.shown) << ::testing::PrintToString(c.text);
    EXPECT_EQ(controls.readAddressBox(), c.text);
    EXPECT_EQ(controls.readAddressBox(), c.text) << "a second read gives the same";
  }
}

TEST_F(WindowControlsTest, WhatTheUserTypedReadsWithCrLfBreaksInCodePage936) {
  EXPECT_EQ(controls.readAddressBox(), "");
  window.addressBox()->setPlainText(QStringLiteral("http://a/1\nhttp://a/你好\n\n世界"));
  EXPECT_EQ(controls.readAddressBox(),
            "http://a/1\r\nhttp://a/" + kHello + "\r\n\r\n" + kWorld);

  // After a replace, an edit ends the exact read-back: the box is read as shown.
  controls.replaceAddressBox("\na\r\nb\r");
  QTextCursor cursor(window.addressBox()->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QStringLiteral("c"));
  EXPECT_EQ(controls.readAddressBox(), "\r\na\r\nb\r\nc");
}

TEST_F(WindowControlsTest, StatusCaptionAndCheckBox) {
  controls.setStatusCaption(kCurrent + "http://127.0.0.1/x");
  EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("当前：http://127.0.0.1/x"));
  controls.setStatusCaption("<b>not markup</b>");
  EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("<b>not markup</b>"));
  EXPECT_EQ(window.statusLabel()->textFormat(), Qt::PlainText);

  EXPECT_EQ(controls.readOverwriteCheckBox(), 1);
  window.overwriteCheckBox()->setChecked(false);
  EXPECT_EQ(controls.readOverwriteCheckBox(), 0);
  window.overwriteCheckBox()->click();
  EXPECT_EQ(controls.readOverwriteCheckBox(), 1);
}

// Twenty worker threads call every operation while the GUI thread handles
// events: nothing hangs, every change happens on the GUI thread, and every
// read sees a consistent value.
TEST_F(WindowControlsTest, OperationsFromWorkerThreadsRunOnTheGuiThread) {
  std::mutex mutex;
  std::set<QThread*> changingThreads;
  auto recordThread = [&] {
    std::lock_guard<std::mutex> guard(mutex);
    changingThreads.insert(QThread::currentThread());
  };
  QObject::connect(window.addressBox(), &QPlainTextEdit::textChanged, recordThread);
  for (int k = 1; k <= 20; ++k) {
    QObject::connect(window.bar(k), &QProgressBar::valueChanged, recordThread);
  }

  constexpr int kThreads = 20;
  constexpr int kRounds = 50;
  std::atomic<int> finished{0};
  std::atomic<int> badReads{0};
  std::vector<std::thread> threads;
  for (int t = 1; t <= kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 1; round <= kRounds; ++round) {
        controls.setBarPosition(t, round * 3);
        controls.setStatusCaption(kCurrent + "t" + std::to_string(t));
        if (controls.readOverwriteCheckBox() != 1) ++badReads;
        const Text box = controls.readAddressBox();
        if (box.size() > 0 && box.rfind("\nline ", 0) != 0) ++badReads;
        controls.replaceAddressBox("\nline " + std::to_string(t) + "\r");
      }
      ++finished;
    });
  }
  const bool allDone = pumpUntil([&] { return finished.load() == kThreads; });
  EXPECT_TRUE(allDone) << "worker threads hung in a control operation";
  if (!allDone) pumpUntil([&] { return finished.load() == kThreads; }, std::chrono::hours(1));
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(badReads.load(), 0);
  EXPECT_EQ(changingThreads, std::set<QThread*>{QThread::currentThread()});
  for (int k = 1; k <= 20; ++k) EXPECT_EQ(window.bar(k)->value(), 100) << k;  // 150 kept at 100
  EXPECT_TRUE(window.statusLabel()->text().startsWith(QStringLiteral("当前：t")));
  const Text last = controls.readAddressBox();
  EXPECT_EQ(last.rfind("\nline ", 0), 0u);
  EXPECT_EQ(last.back(), '\r');
}

// Operations that reach no window do nothing and give empty text and 0,
// from the GUI thread and from any other.
TEST(DetachedWindowControlsTest, GiveNothingAndChangeNothing) {
  testing::guiApplication();
  WindowControls controls;
  {
    MainWindow window(WindowHandlers{}, controls);
    controls.replaceAddressBox("a");
  }
  std::atomic<bool> done{false};
  Text read = "unset";
  int checked = -1;
  std::thread worker([&] {
    controls.setStatusCaption("x");
    controls.setBarPosition(1, 50);
    controls.replaceAddressBox("b");
    read = controls.readAddressBox();
    checked = controls.readOverwriteCheckBox();
    done = true;
  });
  EXPECT_TRUE(pumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(read, "");
  EXPECT_EQ(checked, 0);
  EXPECT_EQ(controls.readAddressBox(), "");
}

TEST(BoxTextTest, EveryLineBreakOfTheBoxIsReadAsCrLf) {
  struct Case {
    QString shown;
    Text text;
  };
  const Case cases[] = {
      {"", ""},
      {"a", "a"},
      {"a\nb", "a\r\nb"},
      {"a\r\nb", "a\r\nb"},
      {"a\rb", "a\r\nb"},
      {"\n\n", "\r\n\r\n"},
      {QStringLiteral("你好"), kHello},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(textFromBoxText(c.shown), c.text) << c.shown.toStdString();
  }
}

}  // namespace
}  // namespace varnelo::gui
