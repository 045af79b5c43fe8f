// Start-up and shut-down of the window program.
#include <cstdio>
#include <cstdlib>

#include <QApplication>

#include "app/engine.h"
#include "gui/main_window.h"
#include "gui/window_controls.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);

  // The engine holds the slot tables and lives until the process ends: the
  // workers may still be running when the window closes, and they use the
  // tables until the process takes them down, so the tables are released by
  // the end of the process rather than by a destructor that would wait.
  auto* controls = new varnelo::gui::WindowControls;
  auto* engine = new varnelo::Engine(*controls);

  varnelo::gui::MainWindow window(varnelo::gui::engineHandlers(*engine), *controls);
  window.show();
  QApplication::exec();

  // Closing the window ends the program at once, whatever the dispatcher and
  // the workers are doing: their files are written to temporary names and
  // renamed when whole, so nothing half-written is left behind.
  std::fflush(nullptr);
  std::_Exit(0);
}
