#include "gui/window_controls.h"

#include <algorithm>

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QThread>

#include "gui/box_text.h"
#include "gui/main_window.h"

namespace varnelo::gui {

WindowControls::WindowControls() = default;
WindowControls::~WindowControls() = default;

void WindowControls::attach(MainWindow* window) {
  window_ = window;
  lastReplacedText_.reset();
}

// The thread hop. On the GUI thread the operation runs at once. From any
// other thread it is queued to the GUI thread and the caller blocks until it
// has run; this cannot deadlock because the GUI thread never waits for a
// worker. Should the context go away first, Qt drops the queued call and
// releases the caller, so a caller never hangs on a torn-down window.
template <typename Operation>
void WindowControls::runOnGuiThread(Operation&& operation) {
  if (QThread::currentThread() == guiThreadContext_.thread()) {
    operation();
    return;
  }
  QMetaObject::invokeMethod(&guiThreadContext_, std::forward<Operation>(operation),
                            Qt::BlockingQueuedConnection);
}

Text WindowControls::readAddressBox() {
  Text result;
  runOnGuiThread([this, &result] {
    if (!window_) return;
    QPlainTextEdit* box = window_->addressBox();
    if (lastReplacedText_ && !box->document()->isModified()) {
      result = *lastReplacedText_;
      return;
    }
    result = textFromBoxText(box->toPlainText());
  });
  return result;
}

void WindowControls::replaceAddressBox(const Text& text) {
  runOnGuiThread([this, &text] {
    if (!window_) return;
    QPlainTextEdit* box = window_->addressBox();
    box->setPlainText(boxTextFromText(text));
    // Any edit from here on marks the document modified and so ends the
    // time in which reading gives back `text` byte for byte.
    box->document()->setModified(false);
    lastReplacedText_ = text;
  });
}

void WindowControls::setStatusCaption(const Text& caption) {
  runOnGuiThread([this, &caption] {
    if (!window_) return;
    window_->statusLabel()->setText(boxTextFromText(caption));
  });
}

int WindowControls::readOverwriteCheckBox() {
  int checked = 0;
  runOnGuiThread([this, &checked] {
    if (!window_) return;
    checked = window_->overwriteCheckBox()->isChecked() ? 1 : 0;
  });
  return checked;
}

void WindowControls::setBarPosition(int slot, int value) {
  runOnGuiThread([this, slot, value] {
    if (!window_ || slot < 1 || slot > MainWindow::kBarCount) return;
    window_->bar(slot)->setValue(std::clamp(value, 0, 100));
  });
}

}  // namespace varnelo::gui
