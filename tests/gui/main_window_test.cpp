// The window as the user first sees it: where every control sits, what it
// says, how it is set up, and what its events run.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <atomic>
#include <thread>

#include "app/engine.h"
#include "gui/main_window.h"
#include "gui/window_controls.h"
#include "gui_support.h"

namespace varnelo::gui {
namespace {

using testing::guiApplication;
using testing::pumpUntil;

struct Counts {
  int created = 0;
  int startPressed = 0;
  int ticks = 0;
};

WindowHandlers countingHandlers(Counts& counts) {
  return {
      .created = [&counts] { ++counts.created; },
      .startPressed = [&counts] { ++counts.startPressed; },
      .timerTick = [&counts] { ++counts.ticks; },
  };
}

class MainWindowTest : public ::testing::Test {
 protected:
  template <typename Widget>
  Widget* control(const char* name) {
    auto* found = window.findChild<Widget*>(QString::fromUtf8(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  testing::ApplicationReady ready;
  Counts counts;
  WindowControls controls;
  MainWindow window{countingHandlers(counts), controls};
};

TEST_F(MainWindowTest, EveryControlSitsAtItsPlaceInTheClientArea) {
  struct Place {
    QString name;
    QRect rect;
  };
  std::vector<Place> places = {
      {"编辑框1", {8, 8, 664, 264}},   {"分组框1", {8, 280, 664, 128}},
      {"标签1", {8, 408, 400, 40}},    {"选择框1", {416, 424, 80, 24}},
      {"按钮1", {512, 416, 160, 32}},
  };
  for (int k = 1; k <= 20; ++k) {
    places.push_back({QStringLiteral("进度条%1").arg(k), {24 + 32 * (k - 1), 296, 24, 104}});
  }
  for (const Place& place : places) {
    auto* widget = window.findChild<QWidget*>(place.name);
    ASSERT_NE(widget, nullptr) << place.name.toStdString();
    const QRect inWindow(widget->mapTo(&window, QPoint(0, 0)), widget->size());
    EXPECT_EQ(inWindow, place.rect) << place.name.toStdString();
    EXPECT_TRUE(window.rect().contains(inWindow)) << place.name.toStdString();
  }
  // The bars are framed by the group box, 16 pixels in from its corner.
  auto* firstBar = control<QProgressBar>("进度条1");
  EXPECT_EQ(firstBar->parentWidget(), control<QGroupBox>("分组框1"));
  EXPECT_EQ(firstBar->pos(), QPoint(16, 16));
}

TEST_F(MainWindowTest, CaptionsAndInitialStates) {
  EXPECT_EQ(window.windowTitle(),
            QStringLiteral("Varnelo 多线程专版-专注性能情况下使用（各个网页内使用单线程）"));
  EXPECT_EQ(control<QGroupBox>("分组框1")->title(), QStringLiteral("线程池"));
  EXPECT_EQ(control<QLabel>("标签1")->text(), QStringLiteral("就绪"));
  EXPECT_EQ(control<QLabel>("标签1")->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(control<QCheckBox>("选择框1")->text(), QStringLiteral("覆盖目录"));
  EXPECT_TRUE(control<QCheckBox>("选择框1")->isChecked());
  EXPECT_EQ(control<QPushButton>("按钮1")->text(), QStringLiteral("开始下载"));

  auto* box = control<QPlainTextEdit>("编辑框1");
  EXPECT_TRUE(box->toPlainText().isEmpty());
  EXPECT_FALSE(box->isReadOnly());
  EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_NE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(box->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(box->palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_EQ(box->maximumBlockCount(), 0);  // no length limit

  for (int k = 1; k <= 20; ++k) {
    SCOPED_TRACE(k);
    QProgressBar* bar = window.bar(k);
    ASSERT_EQ(bar, window.findChild<QProgressBar*>(QStringLiteral("进度条%1").arg(k)));
    EXPECT_EQ(bar->orientation(), Qt::Vertical);
    EXPECT_FALSE(bar->invertedAppearance());  // fills from the bottom up
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
  }
  EXPECT_EQ(window.bar(0), nullptr);
  EXPECT_EQ(window.bar(21), nullptr);

  for (QWidget* widget : window.findChildren<QWidget*>()) {
    EXPECT_TRUE(widget->isEnabled()) << widget->objectName().toStdString();
  }
}

TEST_F(MainWindowTest, FixedSizeMinimisableCentredWithItsIcon) {
  EXPECT_EQ(window.size(), QSize(680, 456));
  EXPECT_EQ(window.minimumSize(), QSize(680, 456));
  EXPECT_EQ(window.maximumSize(), QSize(680, 456));
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowStaysOnTopHint));

  const QIcon icon = window.windowIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));

  window.show();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window.frameGeometry().topLeft(),
            QPoint(screen.x() + (screen.width() - 684) / 2, screen.y() + (screen.height() - 482) / 2));
}

TEST_F(MainWindowTest, CreatedRunsOnceAndEveryClickStartsADownload) {
  EXPECT_EQ(counts.created, 1);
  EXPECT_EQ(counts.startPressed, 0);
  window.show();
  window.startButton()->click();
  window.startButton()->click();
  EXPECT_EQ(counts.startPressed, 2);
  EXPECT_EQ(counts.created, 1);
}

TEST_F(MainWindowTest, TimerTicksEvery100MillisecondsUntilTheWindowCloses) {
  auto* timer = window.findChild<QTimer*>(QStringLiteral("时钟1"));
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 100);
  EXPECT_FALSE(timer->isSingleShot());
  EXPECT_TRUE(timer->isActive());  // from creation, before the window shows
  window.show();
  EXPECT_TRUE(pumpUntil([&] { return counts.ticks >= 3; }));
  window.close();
  EXPECT_FALSE(timer->isActive());
}

// With the program's own wiring: every tick copies every slot's progress
// into its bar, so a bar moved by anything else falls back to its slot's
// value (0 for a slot that never had a worker).
TEST(MainWindowEngineTest, EveryTickRewritesAllTwentyBarsFromTheSlots) {
  guiApplication();
  WindowControls controls;
  Engine engine(controls);
  MainWindow window(engineHandlers(engine), controls);
  window.show();
  for (int k = 1; k <= 20; ++k) controls.setBarPosition(k, 40 + k);
  EXPECT_EQ(window.bar(20)->value(), 60);
  EXPECT_TRUE(pumpUntil([&] {
    for (int k = 1; k <= 20; ++k) {
      if (window.bar(k)->value() != 0) return false;
    }
    return true;
  }));
  // And again with no job running: the rewriting never stops.
  controls.setBarPosition(7, 99);
  EXPECT_TRUE(pumpUntil([&] { return window.bar(7)->value() == 0; }));
}

}  // namespace
}  // namespace varnelo::gui
