// Helpers for the window tests: one QApplication per test process (on the
// offscreen platform unless the environment names another), and waiting for
// a condition while the GUI thread keeps handling events.
#pragma once

#include <chrono>
#include <functional>

#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>

namespace varnelo::testing {

// The process's QApplication, created on first use and kept until the end.
inline QApplication& guiApplication() {
  static QApplication* application = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *application;
}

// A member to put first in a fixture, so that the application exists before
// any widget member is built.
struct ApplicationReady {
  ApplicationReady() { guiApplication(); }
};

// Handles GUI events until `done` gives true (then true) or `limit` has
// passed (then false). The limit is a watchdog against hangs, not a measure.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

// Handles GUI events for `span`.
inline void pumpFor(std::chrono::milliseconds span) {
  pumpUntil([] { return false; }, span);
}

}  // namespace varnelo::testing
