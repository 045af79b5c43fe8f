// The control operations the engine asks of the window, callable from any
// thread: each one runs on the GUI thread while the calling thread waits.
#pragma once

#include <optional>

#include <QObject>
#include <QPointer>

#include "app/control_ops.h"

namespace varnelo::gui {

class MainWindow;

class WindowControls final : public ControlOps {
 public:
  // Must be constructed on the GUI thread; until a window attaches, reads
  // give empty text and 0 and writes do nothing.
  WindowControls();
  ~WindowControls() override;
  WindowControls(const WindowControls&) = delete;
  WindowControls& operator=(const WindowControls&) = delete;

  // Connects the operations to `window` (null detaches). GUI thread only.
  void attach(MainWindow* window);

  Text readAddressBox() override;
  void replaceAddressBox(const Text& text) override;
  void setStatusCaption(const Text& caption) override;
  int readOverwriteCheckBox() override;
  void setBarPosition(int slot, int value) override;

 private:
  template <typename Operation>
  void runOnGuiThread(Operation&& operation);

  // Lives on the GUI thread; the calls of other threads are queued to it.
  QObject guiThreadContext_;
  // The two members below are touched on the GUI thread only.
  QPointer<MainWindow> window_;
  // The text last given to replaceAddressBox, while the box still shows it
  // unedited: the box cannot hold a bare CR or LF apart from a CR LF pair.
  std::optional<Text> lastReplacedText_;
};

}  // namespace varnelo::gui
