// The one window of the program: the address box, the thread-pool bars, the
// status line, the overwrite check box, the start button and the timer.
#pragma once

#include <array>
#include <functional>

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace varnelo {
class Engine;
}

namespace varnelo::gui {

class WindowControls;

// What the window's events run. Empty functions are skipped.
struct WindowHandlers {
  std::function<void()> created;       // once, when the window and its controls exist
  std::function<void()> startPressed;  // a click on the start button
  std::function<void()> timerTick;     // every tick of the 100 ms timer
};

// The window's events wired to `engine`, as the program runs them: created
// clears the slot handles, the start button starts a download, the timer
// refreshes the bars. `engine` must outlive the window.
WindowHandlers engineHandlers(Engine& engine);

class MainWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kBarCount = 20;
  static constexpr int kClientWidth = 680;
  static constexpr int kClientHeight = 456;
  // The outer size the window is centred by, frame included.
  static constexpr int kOuterWidth = 684;
  static constexpr int kOuterHeight = 482;
  static constexpr int kTimerIntervalMs = 100;

  // Builds the controls, centres the window on the primary screen, attaches
  // `controls` to it, starts the timer and runs `handlers.created`.
  MainWindow(WindowHandlers handlers, WindowControls& controls);
  ~MainWindow() override;

  QPlainTextEdit* addressBox() const { return addressBox_; }
  QLabel* statusLabel() const { return statusLabel_; }
  QCheckBox* overwriteCheckBox() const { return overwriteCheckBox_; }
  QPushButton* startButton() const { return startButton_; }
  // Bar `slot` (1 to kBarCount); null outside that range.
  QProgressBar* bar(int slot) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  void centreOnScreen();

  WindowHandlers handlers_;
  WindowControls& controls_;
  QPlainTextEdit* addressBox_ = nullptr;
  QGroupBox* poolBox_ = nullptr;
  std::array<QProgressBar*, kBarCount> bars_{};
  QLabel* statusLabel_ = nullptr;
  QCheckBox* overwriteCheckBox_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace varnelo::gui
