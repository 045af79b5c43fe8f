// The window's controls as varnelo-cli keeps them: an address box that gives
// back exactly the text set, a status line that the display reads, a fixed
// check box and twenty bar positions. Safe to call from any thread.
#pragma once

#include <array>
#include <atomic>
#include <mutex>

#include "app/control_ops.h"

namespace varnelo::cli {

class CliControls : public ControlOps {
 public:
  // `overwriteChecked`: what the check box reads (true: existing folders are skipped).
  CliControls(Text addressBox, bool overwriteChecked);

  Text readAddressBox() override;
  void replaceAddressBox(const Text& text) override;
  void setStatusCaption(const Text& caption) override;
  int readOverwriteCheckBox() override;
  void setBarPosition(int slot, int value) override;

  // The last caption set, in code page 936; "就绪" before any.
  Text statusCaption() const;
  // The last position set for `slot` (1 to 20), 0 when none or out of range.
  int barPosition(int slot) const;

 private:
  mutable std::mutex mutex_;
  Text addressBox_;
  Text status_;
  const bool overwriteChecked_;
  std::array<std::atomic<int>, 20> bars_{};
};

}  // namespace varnelo::cli
